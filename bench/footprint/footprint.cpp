// What the tray program costs all day, beside a bare Qt Widgets window with a tray icon of
// the same size (bench-footprint-bare): proportional and resident set size from
// /proc/<pid>/smaps_rollup hidden in the tray without a headset (10 s after start), shown
// with the emulated headset connected, and 60 s after the window was hidden again; and
// the time from process start to the first shown frame (median of 5 starts).
//
//   bench/footprint/run.sh     (an optimised build without sanitizers, Xvfb, a tray host)
//
// Needs DISPLAY with a tray host: without a tray the program minimises instead of hiding.
// The program is shown by plugging the emulated headset in (a headset seen for the first
// time shows a hidden window) and hidden by a click on its close button (xdotool).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int kHiddenSettleS = 10;
constexpr int kShownSettleS = 3;
constexpr int kHiddenAgainS = 60;
constexpr int kStarts = 5;

struct Memory {
    double pss = 0, rss = 0; // MB
};

Memory memoryOf(qint64 pid)
{
    Memory m;
    QFile rollup(QString("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return m;
    for (const QByteArray &line : rollup.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words[0] == "Pss:")
            m.pss = words[1].toDouble() / 1000.0;
        else if (words.size() >= 2 && words[0] == "Rss:")
            m.rss = words[1].toDouble() / 1000.0;
    }
    return m;
}

QString run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env = {})
{
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    p.start(program, arguments);
    p.waitForFinished(20000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// The X window of a shown top-level with that exact title, or empty.
QString shownWindow(const QString &title)
{
    return run("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}).split('\n').value(0);
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(100);
    }
    return true;
}

struct Subject {
    QString name;
    QString program;
    QString title;
    bool isBare;
};

struct Figures {
    Memory hidden, shown, hiddenAgain;
    double startMs = 0;
    bool ok = true;
};

class Sandbox
{
public:
    Sandbox()
    {
        QFile config(m_home.filePath("emulator.json"));
        config.open(QIODevice::WriteOnly);
        config.write(R"({"devices": [{"id": "headset", "plugged": false}]})");
        config.close();
        const QString bin = qEnvironmentVariable("TTT_BIN_DIR", QStringLiteral(TTT_BIN_DIR));
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert("HOME", m_home.path());
        m_env.insert("XDG_CONFIG_HOME", m_home.filePath(".config"));
        m_env.insert("XDG_DATA_HOME", m_home.filePath(".local/share"));
        m_env.insert("TMPDIR", m_home.path());
        m_env.insert("TONETUNINGTOOL_HID_LIBRARY", bin + "/libheadset-emulator.so");
        m_env.insert("HEADSET_EMULATOR_CONFIG", config.fileName());
        m_env.insert("HEADSET_EMULATOR_CONTROL", m_home.filePath("control.sock"));
        m_ctl = bin + "/headset-emulator-ctl";
    }
    QProcessEnvironment env() const { return m_env; }
    bool plug() const
    {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(m_ctl, {"plug"});
        return p.waitForFinished(10000) && p.exitCode() == 0;
    }

private:
    QTemporaryDir m_home;
    QProcessEnvironment m_env;
    QString m_ctl;
};

void stop(QProcess &process)
{
    process.kill();
    process.waitForFinished(5000);
}

// Hidden, shown, hidden again, in one process.
bool measureMemory(const Subject &s, Figures &f, QTextStream &err)
{
    Sandbox box;
    QProcess process;
    process.setProcessEnvironment(box.env());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(s.program, {"-autorun"});
    if (!process.waitForStarted()) {
        err << "cannot start " << s.program << "\n";
        return false;
    }
    QThread::sleep(kHiddenSettleS);
    if (!shownWindow(s.title).isEmpty()) {
        err << s.name << ": the window did not stay hidden (no tray host?)\n";
        stop(process);
        return false;
    }
    f.hidden = memoryOf(process.processId());

    if (s.isBare) {
        process.write("show\n");
        process.waitForBytesWritten(5000);
    }
    else if (!box.plug())
        err << s.name << ": the emulator did not plug the headset in\n";
    QString window;
    if (!waitFor([&] { return !(window = shownWindow(s.title)).isEmpty(); }, 20000)) {
        err << s.name << ": the window was not shown\n";
        stop(process);
        return false;
    }
    QThread::sleep(kShownSettleS);
    f.shown = memoryOf(process.processId());

    if (s.isBare) {
        process.write("hide\n");
        process.waitForBytesWritten(5000);
    } else // the close button hides the window into the tray
        run("xdotool", {"mousemove", "--window", window, "1160", "15", "click", "1"});
    if (!waitFor([&] { return shownWindow(s.title).isEmpty(); }, 10000)) {
        err << s.name << ": the window did not hide\n";
        stop(process);
        return false;
    }
    QThread::sleep(kHiddenAgainS);
    f.hiddenAgain = memoryOf(process.processId());
    stop(process);
    return true;
}

// From the start of the process to the first frame its window put on screen, as Qt's
// own trace of the first flush of the window's backing store tells.
double startToFirstFrameMs(const Subject &s)
{
    Sandbox box;
    QProcessEnvironment env = box.env();
    env.insert("QT_LOGGING_RULES", "qt.widgets.painting=true");
    env.insert("QT_MESSAGE_PATTERN", "%{category}|%{message}");
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(s.program, QStringList());
    double ms = -1;
    QByteArray pending;
    while (ms < 0 && clock.elapsed() < 30000 && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(100);
        pending += process.readAllStandardError();
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.startsWith("qt.widgets.painting|Flushing")) {
                ms = clock.nsecsElapsed() / 1e6;
                break;
            }
        }
    }
    stop(process);
    return ms;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        err << "needs DISPLAY with a tray host (bench/footprint/run.sh provides both)\n";
        return 2;
    }
    const QString bin = qEnvironmentVariable("TTT_BIN_DIR", QStringLiteral(TTT_BIN_DIR));
    const Subject subjects[] = {
        {"bare tray window", QStringLiteral(TTT_BENCH_DIR) + "/bench-footprint-bare", "bare tray window", true},
        {"ToneTuningTool", bin + "/ToneTuningTool", "ToneTuningTool", false},
    };
    Figures figures[2];
    for (int i = 0; i < 2; ++i) {
        const Subject &s = subjects[i];
        err << "measuring " << s.name << " (about " << kHiddenSettleS + kShownSettleS + kHiddenAgainS + 15
            << " s)\n";
        err.flush();
        figures[i].ok = measureMemory(s, figures[i], err);
        QVector<double> starts;
        for (int n = 0; n < kStarts; ++n)
            starts << startToFirstFrameMs(s);
        figures[i].startMs = median(starts);
    }

    const Figures &bare = figures[0];
    const Figures &ttt = figures[1];
    const auto mem = [](const Memory &m) { return QString("%1 MB PSS (%2 MB RSS)").arg(m.pss, 0, 'f', 1).arg(m.rss, 0, 'f', 1); };
    out << "| state | bare tray window | ToneTuningTool | goal |\n|---|---|---|---|\n";
    out << "| hidden in the tray, no headset (after " << kHiddenSettleS << " s) | " << mem(bare.hidden) << " | "
        << mem(ttt.hidden) << " | at most 1.6 x bare PSS |\n";
    out << "| shown, headset connected | " << mem(bare.shown) << " | " << mem(ttt.shown)
        << " | at most bare PSS + 40 MB |\n";
    out << "| hidden again for " << kHiddenAgainS << " s | " << mem(bare.hiddenAgain) << " | " << mem(ttt.hiddenAgain)
        << " | within 10 % of the first hidden PSS |\n";
    out << "| start to first shown frame (median of " << kStarts << ") | " << QString::number(bare.startMs, 'f', 0)
        << " ms | " << QString::number(ttt.startMs, 'f', 0) << " ms | at most 1.5 x bare |\n";

    QStringList missed;
    if (!bare.ok || !ttt.ok)
        missed << "a state could not be measured";
    if (ttt.hidden.pss > 1.6 * bare.hidden.pss)
        missed << "hidden";
    if (ttt.shown.pss > bare.shown.pss + 40)
        missed << "shown";
    if (std::abs(ttt.hiddenAgain.pss - ttt.hidden.pss) > 0.1 * ttt.hidden.pss)
        missed << "hidden again";
    if (ttt.startMs < 0 || ttt.startMs > 1.5 * bare.startMs)
        missed << "start to first frame";
    out << (missed.isEmpty() ? QString("every goal met\n") : "over the goal: " + missed.join(", ") + "\n");
    return missed.isEmpty() ? 0 : 1;
}
