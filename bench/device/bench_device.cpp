// Device-link benchmarks, through the headset emulator (see README.md):
//   flood:   the receive path under 1000 valid spectrum reports per second (the most a
//            full-speed USB interrupt endpoint delivers): reports handled per second, reports
//            dropped, CPU time of the receive thread;
//   latency: the time from a sender call to its report reaching the emulator, and the round
//            trip from a ReadStatus call to the reply's signal on the user-interface thread;
//   close:   how long the close sequence waits for the receive thread.
//
//   build/bench/bench_device [--seconds N] [--calls N]

#include "device/MyThread.h"
#include "device/UsbHidOperation.h"
#include "device/hidlibrary.h"
#include "diagnostics/debuglog.h"
#include "tools/headset-emulator/controlclient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <pthread.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

QTemporaryDir *workDir;

QString socketPath()
{
    return workDir->filePath("control.sock");
}
QString wirePath()
{
    return workDir->filePath("wire.log");
}

void control(const char *command)
{
    const std::string answer = emulator::sendControlCommand(socketPath().toStdString(), command);
    if (answer != "ok")
        std::fprintf(stderr, "emulator: %s -> %s\n", command, answer.c_str());
}

struct WireLine {
    bool out;
    double ms;
    int command;
};

QList<WireLine> readWire()
{
    QList<WireLine> lines;
    QFile file(wirePath());
    file.open(QIODevice::ReadOnly);
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() > 6)
            lines.append({words[1] == "OUT", words[0].toDouble(), words[6].toInt(nullptr, 16)});
    }
    return lines;
}

void runFor(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

double threadCpuSeconds(pthread_t thread)
{
    clockid_t clock;
    timespec now{};
    if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &now) != 0)
        return -1;
    return now.tv_sec + now.tv_nsec / 1e9;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * (values.size() - 1) + 0.5))];
}

class Counter : public QObject
{
  public:
    int spectrum = 0;
    int pace = 0;
    int status = 0;
    void record(int code)
    {
        spectrum += code == ReplySpectrumFrame;
        pace += code == SpectrumPace;
        status += code == ReplyReadStatus;
    }
};

void flood(int seconds)
{
    MyThread thread;
    std::atomic<int> handled{0};
    std::atomic<bool> haveThread{false};
    pthread_t threadId{};
    // Runs on the receive thread: counts what the thread handled and learns its id.
    QObject::connect(
        &thread, &MyThread::sendReadAudio, &thread,
        [&](int code) {
            if (!haveThread) {
                threadId = pthread_self();
                haveThread = true;
            }
            handled += code == ReplySpectrumFrame;
        },
        Qt::DirectConnection);
    Counter window; // what reaches the user-interface thread, as the window receives it
    QObject::connect(&thread, &MyThread::sendReadAudio, &window, &Counter::record, Qt::QueuedConnection);
    thread.runFlag = 1;
    thread.start();
    spectrumEnabled = 1;

    control("spectrum rate 1000");
    usbHidSend_SpectrumSwitch(1);
    while (!haveThread)
        runFor(10);
    runFor(200); // settle
    const int handledBefore = handled;
    const double cpuBefore = threadCpuSeconds(threadId);
    const auto start = Clock::now();
    runFor(seconds * 1000);
    const double cpu = threadCpuSeconds(threadId) - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const int handledInWindow = handled - handledBefore;
    usbHidSend_SpectrumSwitch(0);
    runFor(300); // what was on its way
    usbHidCloseDevice(&thread);
    spectrumEnabled = 0;
    runFor(50);

    int sent = 0;
    for (const WireLine &line : readWire())
        sent += !line.out && line.command == 0x99;
    std::printf("flood: %d s at 1000 reports/s\n", seconds);
    std::printf("  reports handled per second: %.1f\n", handledInWindow / wall);
    std::printf("  reports sent by the emulator: %d, handled by the receive thread: %d, dropped: %d\n", sent,
                int(handled), sent - int(handled));
    std::printf("  signals delivered to the user-interface thread: %d spectrum (99), %d pace (999)\n",
                window.spectrum, window.pace);
    std::printf("  receive thread CPU: %.1f %% of one core (%.3f s in %.2f s)\n", 100 * cpu / wall, cpu,
                wall);
}

// The emulator stamps its wire log in milliseconds since it was loaded. Writes of our own,
// timed on both sides, pin that origin down on this process's clock.
double emulatorOrigin(hid_device *device)
{
    const HidLibrary *hid = hidLibrary();
    const Report probe = buildRequest(report::kShortRequestId, 0x7E, nullptr, 0); // unknown: no reply
    std::vector<std::pair<double, double>> windows;
    const int before = readWire().size();
    for (int i = 0; i < 200; ++i) {
        const double t0 = std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
        hid->write(device, probe.data(), report::kShortReportSize);
        const double t1 = std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
        windows.emplace_back(t0, t1);
    }
    const QList<WireLine> lines = readWire().mid(before);
    double low = -1e300, high = 1e300;
    for (int i = 0; i < lines.size() && i < int(windows.size()); ++i) {
        low = std::max(low, windows[i].first - lines[i].ms - 0.0005); // the log rounds to 1 us
        high = std::min(high, windows[i].second - lines[i].ms + 0.0005);
    }
    std::printf("  emulator clock pinned to within %.1f us\n", (high - low) * 1000);
    return (low + high) / 2;
}

void latency(int calls)
{
    hid_device *device = hidDevice;
    const double origin = emulatorOrigin(device);
    control("replies off"); // only the writes are timed here

    struct Sender {
        const char *name;
        int command;
        void (*call)();
    };
    const Sender senders[] = {
        {"ReadVersion", 0x01, [] { usbHidSend_ReadVersion(); }},
        {"SetPEQ", 0x21, [] { usbHidSend_SetPEQ(1, 0, 4, 0, std::vector<int>(10, 3)); }},
        {"SetAlgorithmSwitch", 0x31, [] { usbHidSend_SetAlgorithmSwitch(1, 0, 0, 1); }},
    };
    std::printf("latency: %d calls each, sender call to report in the emulator (median / p99 / max, us)\n",
                calls);
    for (const Sender &sender : senders) {
        std::vector<double> starts, durations;
        const int before = readWire().size();
        for (int i = 0; i < calls; ++i) {
            const auto t0 = Clock::now();
            sender.call();
            const auto t1 = Clock::now();
            starts.push_back(std::chrono::duration<double, std::milli>(t0.time_since_epoch()).count());
            durations.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        }
        std::vector<double> reach;
        const QList<WireLine> lines = readWire().mid(before);
        for (int i = 0; i < lines.size() && i < calls; ++i)
            reach.push_back((origin + lines[i].ms - starts[size_t(i)]) * 1000);
        std::printf("  %-19s reaches the emulator %7.1f / %7.1f / %7.1f; whole call %7.1f / %7.1f\n",
                    sender.name, percentile(reach, 0.5), percentile(reach, 0.99), percentile(reach, 1.0),
                    percentile(durations, 0.5), percentile(durations, 0.99));
    }

    // Round trip: ReadStatus call -> reply -> receive thread -> signal handled on this thread.
    control("replies on");
    MyThread thread;
    Counter window;
    QObject::connect(&thread, &MyThread::sendReadAudio, &window, &Counter::record, Qt::QueuedConnection);
    thread.runFlag = 1;
    thread.start();
    std::vector<double> trips;
    statusReplySeen = 1;
    for (int i = 0; i < 200; ++i) {
        const int seen = window.status;
        const auto t0 = Clock::now();
        usbHidSend_ReadStatus(0);
        while (window.status == seen)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        trips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::printf(
        "  ReadStatus round trip to the window's slot (emulator replies after 1 ms): median %.0f us, p99 "
        "%.0f us\n",
        percentile(trips, 0.5), percentile(trips, 0.99));
    usbHidCloseDevice(&thread);
}

// The close sequence against a receive thread caught at a random point of its 50 ms read.
void closeTime(const std::map<int, DeviceData *> &devices)
{
    std::vector<double> took;
    for (int i = 0; i < 40; ++i) {
        if (usbHidOpenDevice(devices) != 0)
            return;
        MyThread thread;
        thread.runFlag = 1;
        thread.start();
        runFor(5 + (i * 37) % 60);
        const auto t0 = Clock::now();
        usbHidCloseDevice(&thread);
        took.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::printf("close sequence with the receive thread reading: median %.1f ms, max %.1f ms (read time-out "
                "50 ms)\n",
                percentile(took, 0.5), percentile(took, 1.0));
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir dir;
    workDir = &dir;
    // The debug log goes to the documents folder: keep it away from the real user's.
    qputenv("HOME", QFile::encodeName(dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(".config")));
    QDir().mkpath(dir.filePath("Documents"));
    qputenv("HEADSET_EMULATOR_CONTROL", QFile::encodeName(socketPath()));
    qputenv("HEADSET_EMULATOR_WIRE_LOG", QFile::encodeName(wirePath()));
    if (qEnvironmentVariableIsEmpty("TONETUNINGTOOL_HID_LIBRARY"))
        qputenv("TONETUNINGTOOL_HID_LIBRARY", TTT_EMULATOR_LIBRARY);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {}); // traces off

    QCoreApplication app(argc, argv);
    int seconds = 5, calls = 1000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--seconds")
            seconds = args[i + 1].toInt();
        if (args[i] == "--calls")
            calls = args[i + 1].toInt();
    }
    initDebugLog();
    DeviceData preset;
    preset.vid = "3508";
    if (usbHidOpenDevice({{0x4151, &preset}}) != 0) {
        std::fprintf(stderr, "no emulated headset (TONETUNINGTOOL_HID_LIBRARY=%s)\n",
                     qgetenv("TONETUNINGTOOL_HID_LIBRARY").constData());
        return 1;
    }
    latency(calls);
    QFile::remove(wirePath());
    unloadHidLibrary();
    if (usbHidOpenDevice({{0x4151, &preset}}) != 0)
        return 1;
    flood(seconds);
    closeTime({{0x4151, &preset}});
    unloadHidLibrary();
    return 0;
}
