// How fast a preset click reaches the headset: the time from the click to the lower half
// of the equaliser upload arriving at the headset emulator, and the gap between the two
// halves. Goals: median latency under 2 ms; gap 20 ms +- 3 ms.
//
//   build/bench/preset-latency/bench-preset-latency [clicks, default 200]
//
// Runs the real window in this process (offscreen unless DISPLAY is set) with the headset
// emulator as its HID library, in a temporary HOME. The emulator stamps each report on
// its own clock; a SetVol request sent right before each click ties that clock to ours
// (within half the duration of that one call, which is printed too).

#include "common/headsetemulator.h"
#include "device/UsbHidOperation.h"
#include "diagnostics/debuglog.h"
#include "profiles/WriteReadJson.h"
#include "tuningfixture.h"
#include "window/ToneTuningTool.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace tuning;

namespace
{

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Runs the event loop undisturbed for `ms`.
void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Reading the wire log back takes time the window's timers should not wait for, so it
// is read every 10 ms only.
bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        runEventLoop(10);
    }
    return true;
}

bool uploadsDone(const Wire &wire)
{
    int lowers = 0, uppers = 0;
    bool switchAfterUpper = false;
    for (const HeadsetEmulator::WireReport &report : wire) {
        if (report.out && commandOf(report) == 0x21) {
            (payloadByte(report, 1) == 0 ? lowers : uppers) += 1;
            switchAfterUpper = false;
        } else if (report.out && commandOf(report) == 0x31) {
            switchAfterUpper = true;
        }
    }
    return lowers == uppers && lowers > 0 && switchAfterUpper;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[i];
}

void printFigures(const char *what, const std::vector<double> &values)
{
    std::printf("%-34s median %7.3f  p95 %7.3f  min %7.3f  max %7.3f ms\n", what, percentile(values, 0.5),
                percentile(values, 0.95), percentile(values, 0), percentile(values, 1));
}

} // namespace

int main(int argc, char *argv[])
{
    const int clicks = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 200;
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toLocal8Bit());
    QDir().mkpath(home.path() + "/Documents");
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("TONETUNINGTOOL_HID_LIBRARY"))
        qputenv("TONETUNINGTOOL_HID_LIBRARY", TTT_BIN_DIR "/libheadset-emulator.so");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });

    QApplication app(argc, argv);
    writePresetFiles(QCoreApplication::applicationDirPath());
    HeadsetEmulator emulator(emulatorConfig());
    if (emulator.command("plug m0") != "ok") {
        std::fprintf(stderr, "the headset emulator did not start\n");
        return 2;
    }

    ToneTuningTool window;
    window.show();
    if (!waitFor([&] { return window.m_deviceView == 1; }, 5000)) {
        std::fprintf(stderr, "the headset view did not come\n");
        return 2;
    }
    QRadioButton *presets[] = {window.ui.radioButton_Stereo_Pop, window.ui.radioButton_Stereo_RockRoll};

    std::vector<double> latency, gap, calibration;
    for (int i = 0; i < clicks; ++i) {
        // The previous upload (or the restore at connection) complete: both halves out and
        // the algorithm switch that follows the upper one's acknowledgement.
        if (!waitFor([&] { return uploadsDone(emulator.wireSince()); }, 2000)) {
            std::fprintf(stderr, "round %d: the previous upload did not complete\n", i);
            return 1;
        }
        emulator.markWire();
        // The slider limiter stays shut, so the click makes exactly one upload.
        window.m_peqSendAllowed = 0;

        const Clock::time_point beforeVol = Clock::now();
        usbHidSend_SetVol(0, 0, 0, 0, 0);
        const Clock::time_point afterVol = Clock::now();
        presets[i % 2]->click();
        // Nothing of the bench runs while the upper half is due.
        runEventLoop(30);
        if (!waitFor([&] { return peqRequests(emulator.wireSince()).size() >= 2; }, 2000)) {
            std::fprintf(stderr, "round %d: the upper half did not come\n", i);
            return 1;
        }
        double volMs = -1;
        for (const HeadsetEmulator::WireReport &report : emulator.wireSince()) {
            if (report.out && commandOf(report) == 0x30 && volMs < 0)
                volMs = report.ms;
        }
        const QVector<PeqHalf> halves = peqRequests(emulator.wireSince());
        // The SetVol write landed somewhere between beforeVol and afterVol; taking the middle,
        // the click (at afterVol) is volMs plus half the call on the emulator's clock, give or
        // take half the call.
        const double clickOnEmulatorClock = volMs + msBetween(beforeVol, afterVol) / 2;
        latency.push_back(halves[0].ms - clickOnEmulatorClock);
        gap.push_back(halves[1].ms - halves[0].ms);
        calibration.push_back(msBetween(beforeVol, afterVol));
    }

    // What a click does before its upload: it saves the settings file and writes debug log
    // entries (three before the lower half goes out).
    std::vector<double> saves, entries;
    for (int i = 0; i < 50; ++i) {
        const Clock::time_point start = Clock::now();
        window.m_writeReadJson->writeConfig();
        saves.push_back(msBetween(start, Clock::now()));
        const Clock::time_point logStart = Clock::now();
        writeDebugLog("bench", "entry", "ToneTuningTool", "main", __LINE__);
        entries.push_back(msBetween(logStart, Clock::now()));
    }

    std::printf("%d preset clicks, headset emulator in process\n", clicks);
    printFigures("click to lower half (goal < 2)", latency);
    printFigures("lower to upper half (goal 20+-3)", gap);
    printFigures("clock tie-in uncertainty", calibration);
    printFigures("settings file save", saves);
    printFigures("debug log entry", entries);
    const bool ok =
        percentile(latency, 0.5) < 2.0 && percentile(gap, 0.5) >= 17 && percentile(gap, 0.5) <= 23;
    emulator.command("unplug");
    waitFor([&] { return window.m_deviceView == 0; }, 5000);
    return ok ? 0 : 1;
}
