// Resident memory of the program around 7.1 speaker tests: idle before, the peak while a
// test plays (its recording and eight animations exist), and idle again after it ended,
// for several runs in a row so that anything a run leaves behind adds up visibly.
//
//   build/bench/speakertest-memory/bench-speakertest-memory [runs, default 3] [--preload-media]
//
// The first run also loads the media framework (GStreamer and its plugins), which stays
// loaded for the rest of the process. --preload-media plays the recording muted for a
// moment before idle is measured, so the runs show only what a test itself keeps.
//
// The window runs in this process (so it can press the play button) with the headset
// emulator as its HID library, in a temporary HOME, from a program folder of its own that
// holds the shipped preset file and recording: it opens the headset and starts its
// timing thread as the program does, and each run takes the real 13.9 s timeline. Measure a build without sanitizers (bench/run does): AddressSanitizer
// keeps freed memory in quarantine, so memory would never come back.

#include "window/ToneTuningTool.h"

#include <QApplication>
#include <QMediaPlayer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <memory>

namespace {

// A memory figure of /proc/self/status ("VmRSS:", "RssAnon:") in MiB.
double statusMiB(const QByteArray &key)
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong() / 1024.0;
    return 0;
}

double residentMiB()
{
    return statusMiB("VmRSS:");
}

// The part of the resident memory that is the program's own data, not mapped files
// (libraries and plugins loaded once).
double anonymousMiB()
{
    return statusMiB("RssAnon:");
}

int threadCount()
{
    return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

// Runs the event loop for `ms` milliseconds, sampling the resident memory every 50 ms;
// returns the highest sample.
double runFor(int ms)
{
    double peak = residentMiB();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        peak = std::max(peak, residentMiB());
    }
    return peak;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(".local/share")));
    const QString bin = qEnvironmentVariable("TTT_BIN_DIR", QStringLiteral(TTT_BIN_DIR));
    if (qEnvironmentVariableIsEmpty("TONETUNINGTOOL_HID_LIBRARY"))
        qputenv("TONETUNINGTOOL_HID_LIBRARY", QFile::encodeName(bin + "/libheadset-emulator.so"));
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qSetMessagePattern("%{if-warning}%{message}%{endif}%{if-critical}%{message}%{endif}");

    QApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    const bool preloadMedia = arguments.contains("--preload-media");
    int runs = 3;
    for (const QString &argument : arguments)
        if (argument.toInt() > 0)
            runs = argument.toInt();
    QTextStream out(stdout);

    // The shipped files the window looks for below its program folder.
    const QString folder = QCoreApplication::applicationDirPath();
    for (const char *file : {"DefaultFile/VID-3508&PID-4151.json", "audio/test.wav", "ToneTuningTool-media.so"}) {
        QDir().mkpath(QFileInfo(folder + "/" + file).absolutePath());
        QFile::remove(folder + "/" + file);
        if (!QFile::link(bin + "/" + file, folder + "/" + file)) {
            out << "cannot link " << bin << "/" << file << " (is the program built?)\n";
            return 2;
        }
    }

    auto window = std::make_unique<ToneTuningTool>();
    window->show();
    QElapsedTimer opening;
    opening.start();
    while ((window->m_deviceView != 1 || !window->m_timingThread) && opening.elapsed() < 10000)
        runFor(100);
    if (window->m_deviceView != 1 || !window->m_timingThread) {
        out << "the window did not open the emulated headset\n";
        return 2;
    }
    window->ui.tabWidget->setCurrentIndex(Surround);

    if (preloadMedia) {
        QMediaPlayer player;
        player.setMedia(QUrl::fromLocalFile(folder + "/audio/test.wav"));
        player.setVolume(0);
        player.play();
        runFor(1000);
        player.stop();
    }

    runFor(3000); // start-up settles
    const double idle = residentMiB();
    const double idleAnonymous = anonymousMiB();
    const int idleThreads = threadCount();
    out << QString("idle before the first run%1: %2 MiB, %3 threads\n")
               .arg(preloadMedia ? " (media framework preloaded)" : "")
               .arg(idle, 0, 'f', 1)
               .arg(idleThreads);
    out << QString("%1 %2 %3 %4 %5 %6 %7\n")
               .arg("run", 4)
               .arg("peak-idle", 10)
               .arg("after-idle", 11)
               .arg("anon", 6)
               .arg("growth", 7)
               .arg("threads", 8)
               .arg("run s", 6);
    double previous = idle;

    int failures = 0;
    for (int run = 1; run <= runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        window->ui.pushButton_SurroundTest->click();
        double peak = residentMiB();
        while (window->m_testClicks != 0 && clock.elapsed() < 30000)
            peak = std::max(peak, runFor(100));
        const double runSeconds = clock.elapsed() / 1000.0;
        if (window->m_testClicks != 0) {
            out << "the run did not end within 30 s\n";
            return 2;
        }
        runFor(2000); // what the run released is given back
        const double after = residentMiB();
        const double afterAnonymous = anonymousMiB();
        const bool met = peak - idle < 60 && after - idle < 5;
        failures += met ? 0 : 1;
        out << QString("%1 %2 %3 %4 %5 %6 %7%8\n")
                   .arg(run, 4)
                   .arg(peak - idle, 10, 'f', 1)
                   .arg(after - idle, 11, 'f', 1)
                   .arg(afterAnonymous - idleAnonymous, 6, 'f', 1)
                   .arg(after - previous, 7, 'f', 1)
                   .arg(threadCount(), 8)
                   .arg(runSeconds, 6, 'f', 1)
                   .arg(met ? "" : "  over the goal");
        out.flush();
        previous = after;
    }
    out << "goals: peak under 60 MiB above idle, after each run within 5 MiB of idle\n"
           "(anon: after-idle of the program's own data, without mapped libraries; growth: change\n"
           "since the previous run ended; the first run also loads the media framework)\n";

    window.reset();
    return failures == 0 ? 0 : 1;
}
