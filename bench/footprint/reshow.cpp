// From a show request to the first complete frame of the window, after the window spent
// long enough in the tray for its pictures to be dropped: what the pictures' way back
// costs. The window runs in this process with the emulated headset on the surround tab
// (every large picture on screen); the frame counts as complete when Qt flushes the
// window's backing store (its "qt.widgets.painting" trace).
//
//   build-bench/bench/footprint-reshow/bench-footprint-reshow [shows, default 5]
//
// Goal: under 100 ms for every show (exit status 1 when missed). Under Xvfb (run.sh) or
// offscreen without DISPLAY.

#include "app/appattributes.h"
#include "device/UsbHidOperation.h"
#include "form/GlobalStyleSheet.h"
#include "form/windowpictures.h"
#include "window/ToneTuningTool.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>

namespace {

constexpr double kGoalMs = 100;
bool flushed = false;
QtMessageHandler previous = nullptr;

void watchFlushes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "qt.widgets.painting") == 0) {
        if (message.startsWith("Flushing"))
            flushed = true;
        return;
    }
    previous(type, context, message);
}

bool runUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// Links a shipped file of the build's program folder into this program's folder.
bool provide(const QString &relative)
{
    const QString source = qEnvironmentVariable("TTT_BIN_DIR", QStringLiteral(TTT_BIN_DIR)) + "/" + relative;
    const QString target = QCoreApplication::applicationDirPath() + "/" + relative;
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    return QFile::link(source, target);
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toLocal8Bit());
    qputenv("TMPDIR", home.path().toLocal8Bit());
    const QString bin = qEnvironmentVariable("TTT_BIN_DIR", QStringLiteral(TTT_BIN_DIR));
    qputenv("TONETUNINGTOOL_HID_LIBRARY", (bin + "/libheadset-emulator.so").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    setApplicationAttributes();
    QApplication app(argc, argv);
    const int shows = argc > 1 ? QByteArray(argv[1]).toInt() : 5;
    QTextStream out(stdout);
    if (!provide("DefaultFile/VID-3508&PID-4151.json")) {
        out << "no preset file in " << bin << "\n";
        return 2;
    }
    previous = qInstallMessageHandler(watchFlushes);
    QLoggingCategory::setFilterRules("qt.widgets.painting=true");
    applyGlobalStyleSheet();

    ToneTuningTool window;
    auto *pictures = window.findChild<WindowPictures *>();
    window.show();
    if (!runUntil([&] { return hidDevice.load() != nullptr && window.m_deviceView == 1; }, 15000)) {
        out << "the emulated headset was not opened\n";
        return 2;
    }
    window.ui.tabWidget->setCurrentIndex(Surround);
    runUntil([] { return false; }, 1000);
    const int onScreen = pictures->heldPictures().size();

    QVector<double> times;
    for (int i = 0; i < shows; ++i) {
        window.hide();
        runUntil([&] { return pictures->heldPictures().isEmpty(); }, WindowPictures::kReleaseDelayMs + 5000);
        const bool dropped = pictures->heldPictures().isEmpty();
        flushed = false;
        QElapsedTimer clock;
        clock.start();
        window.show();
        runUntil([] { return flushed; }, 5000);
        const double ms = clock.nsecsElapsed() / 1e6;
        times << ms;
        out << QString("show %1: %2 ms to the first frame, %3 of %4 large pictures had been dropped\n")
                   .arg(i + 1)
                   .arg(ms, 0, 'f', 1)
                   .arg(dropped ? onScreen : 0)
                   .arg(onScreen);
        out.flush();
        runUntil([] { return false; }, 500);
    }
    std::sort(times.begin(), times.end());
    const double worst = times.isEmpty() ? 0 : times.last();
    out << QString("median %1 ms, worst %2 ms, goal under %3 ms\n")
               .arg(times.value(times.size() / 2), 0, 'f', 1)
               .arg(worst, 0, 'f', 1)
               .arg(kGoalMs, 0, 'f', 0);
    return worst < kGoalMs ? 0 : 1;
}
