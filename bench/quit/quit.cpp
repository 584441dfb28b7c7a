// How long "quit" takes with a headset connected: from the tray entry being chosen until
// the event loop has returned and the window (and with it both worker threads) is gone.
// The goal is 200 ms.
//
//   TONETUNINGTOOL_HID_LIBRARY=build/bin/libheadset-emulator.so QT_QPA_PLATFORM=offscreen
//   build/bench/quit-program/bench-quit [runs, default 5]
//
// Run it with HOME pointing at a scratch folder: the window writes its log and settings there.

#include "device/UsbHidOperation.h"
#include "window/ToneTuningTool.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules("default.debug=false\nqt.*=false");
    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 5;
    double worst = 0;
    for (int run = 0; run < runs; ++run) {
        auto window = std::make_unique<ToneTuningTool>();
        window->show();
        // Until the headset view is up: both threads run, replies have come.
        QElapsedTimer wait;
        wait.start();
        while (window->m_deviceView != 1 && wait.elapsed() < 10000) {
            QEventLoop loop;
            QTimer::singleShot(20, &loop, &QEventLoop::quit);
            loop.exec();
        }
        if (window->m_deviceView != 1) {
            std::fprintf(stderr, "no headset: set TONETUNINGTOOL_HID_LIBRARY to the emulator\n");
            return 2;
        }
        QElapsedTimer clock;
        QTimer::singleShot(0, [&] {
            clock.start();
            window->m_quitAction->trigger();
        });
        app.exec();
        window.reset();
        const double ms = clock.nsecsElapsed() / 1e6;
        worst = std::max(worst, ms);
        std::printf("quit %d: %.1f ms\n", run + 1, ms);
    }
    std::printf("worst of %d: %.1f ms (goal 200 ms)\n", runs, worst);
    return worst <= 200 ? 0 : 1;
}
