// CPU of the whole program while the live spectrum animates: the program starts with the
// headset emulator plugged in, comes up on the stereo tab and asks the headset to
// stream; this tool waits for the stream, then reads the program's processor time (all
// threads, user and system) from /proc over a measuring window.
//
//   build/bench/bench-spectrum-cpu [seconds, default 10] [frames per second, default 30]
//
// Runs build/bin/ToneTuningTool (TTT_BIN_DIR) in a fresh HOME. Measure a build without
// sanitizers (bench/spectrum/run.sh does), on a display (DISPLAY, e.g. under xvfb-run)
// so that every drawing is really painted.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <unistd.h>

namespace {

// User plus system time of every thread of the process, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toLongLong() + fields.value(12).toLongLong(); // utime, stime
    return ticks / sysconf(_SC_CLK_TCK);
}

struct WireCount {
    int switchedOn = 0; // SpectrumSwitch requests with 1
    int frames = 0;     // spectrum frames the headset sent
};

WireCount countWire(const QString &path)
{
    WireCount count;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return count;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        // "<ms> OUT|IN <bytes>": report byte i is word 2 + i; byte 4 the command, byte 6 the switch.
        if (words.size() < 9 || words[6] != "99")
            continue;
        if (words[1] == "OUT" && words[8] == "01")
            ++count.switchedOn;
        else if (words[1] == "IN")
            ++count.frames;
    }
    return count;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 10;
    const int rate = argc > 2 ? QByteArray(argv[2]).toInt() : 30;
    const QString bin = qEnvironmentVariable("TTT_BIN_DIR", QStringLiteral(TTT_BIN_DIR));
    QTextStream out(stdout);

    QTemporaryDir home;
    const QString wireLog = home.filePath("wire.log");
    const QString control = home.filePath("control.sock");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
    env.insert("XDG_DATA_HOME", home.filePath(".local/share"));
    env.insert("TONETUNINGTOOL_HID_LIBRARY", bin + "/libheadset-emulator.so");
    env.insert("HEADSET_EMULATOR_WIRE_LOG", wireLog);
    env.insert("HEADSET_EMULATOR_CONTROL", control);
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    if (!env.contains("DISPLAY") && !env.contains("QT_QPA_PLATFORM"))
        env.insert("QT_QPA_PLATFORM", "offscreen");

    QProcess program;
    program.setProcessEnvironment(env);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(bin + "/ToneTuningTool", QStringList());
    if (!program.waitForStarted()) {
        out << "cannot start " << bin << "/ToneTuningTool\n";
        return 2;
    }
    if (rate != 30) {
        QThread::sleep(1);
        QProcess::execute(bin + "/headset-emulator-ctl", {"--socket", control, "spectrum", "rate", QString::number(rate)});
    }

    // Wait for the stream: the program switched it on and frames come in.
    QElapsedTimer waited;
    waited.start();
    while (countWire(wireLog).frames < rate && waited.elapsed() < 20000)
        QThread::msleep(200);
    if (countWire(wireLog).switchedOn == 0) {
        out << "the program never asked the headset to stream\n";
        program.kill();
        program.waitForFinished();
        return 2;
    }
    QThread::sleep(2); // let the first drawings and the start-up settle

    const qint64 pid = program.processId();
    const WireCount wireBefore = countWire(wireLog);
    const double cpuBefore = cpuSeconds(pid);
    QElapsedTimer clock;
    clock.start();
    QThread::sleep(seconds);
    const double cpuAfter = cpuSeconds(pid);
    const double wall = clock.elapsed() / 1000.0;
    const WireCount wireAfter = countWire(wireLog);
    program.kill();
    program.waitForFinished();

    const double percent = (cpuAfter - cpuBefore) * 100.0 / wall;
    const double frames = (wireAfter.frames - wireBefore.frames) / wall;
    const bool met = percent < 10;
    out << QString("spectrum streaming at %1 frames/s (%2 received/s): program CPU %3% of one core over %4 s"
                   " (goal: under 10%)%5\n")
               .arg(rate)
               .arg(frames, 0, 'f', 1)
               .arg(percent, 0, 'f', 2)
               .arg(wall, 0, 'f', 1)
               .arg(met ? "" : "  over the goal");
    return met ? 0 : 1;
}
