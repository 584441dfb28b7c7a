// How often the idle program wakes up: voluntary context switches per second of all its
// threads together, read from /proc over a measuring window, in three states. A tray
// program that wakes often keeps a laptop's processor out of its deep sleep states.
//
//   build/bench/bench-idle [seconds per state, default 10]
//
// Runs build/bin/ToneTuningTool with the headset emulator, each state in a fresh HOME.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <cstdio>

namespace {

struct Sample {
    qint64 voluntary = 0;
    int threads = 0;
};

Sample sample(qint64 pid)
{
    Sample s;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(tid + "/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        ++s.threads;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                s.voluntary += line.mid(24).trimmed().toLongLong();
    }
    return s;
}

struct State {
    const char *name;
    QStringList arguments;
    bool headsetPlugged;
    double goal;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 10;
    const QString bin = qEnvironmentVariable("TTT_BIN_DIR", QStringLiteral(TTT_BIN_DIR));
    const QString program = bin + "/ToneTuningTool";
    const QString emulator = bin + "/libheadset-emulator.so";

    const State states[] = {
        {"window hidden, no headset", {"-autorun"}, false, 2},
        {"window shown, no headset", {}, false, 5},
        {"headset connected, idle", {}, true, 25},
    };

    QTextStream out(stdout);
    out << QString("%1 %2 %3 %4\n").arg("state", -28).arg("switches/s", 11).arg("goal", 6).arg("threads", 8);
    int failures = 0;
    for (const State &state : states) {
        QTemporaryDir home;
        QFile config(home.filePath("emulator.json"));
        config.open(QIODevice::WriteOnly);
        config.write(state.headsetPlugged ? R"({"devices": [{"id": "headset", "plugged": true}]})"
                                          : R"({"devices": [{"id": "headset", "plugged": false}]})");
        config.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
        env.insert("XDG_DATA_HOME", home.filePath(".local/share"));
        env.insert("TONETUNINGTOOL_HID_LIBRARY", emulator);
        env.insert("HEADSET_EMULATOR_CONFIG", config.fileName());
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        // The single-instance marker lives in the temporary folder: a private one keeps
        // this program apart from any other instance running on the machine.
        env.insert("TMPDIR", home.path());
        if (!env.contains("DISPLAY") && !env.contains("QT_QPA_PLATFORM"))
            env.insert("QT_QPA_PLATFORM", "offscreen");

        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(program, state.arguments);
        if (!process.waitForStarted()) {
            out << "cannot start " << program << "\n";
            return 2;
        }
        // Start-up work (the open, the 500 ms view switch, the balloon) is not idling.
        QThread::sleep(3);
        const Sample before = sample(process.processId());
        QElapsedTimer clock;
        clock.start();
        QThread::sleep(seconds);
        const Sample after = sample(process.processId());
        const double perSecond = (after.voluntary - before.voluntary) * 1000.0 / clock.elapsed();
        process.kill();
        process.waitForFinished();

        const bool met = perSecond <= state.goal;
        failures += met ? 0 : 1;
        out << QString("%1 %2 %3 %4%5\n")
                   .arg(state.name, -28)
                   .arg(perSecond, 11, 'f', 2)
                   .arg(state.goal, 6, 'f', 0)
                   .arg(after.threads, 8)
                   .arg(met ? "" : "  over the goal");
        out.flush();
    }
    return failures == 0 ? 0 : 1;
}
