// Single instance across real processes: who is first, the box of a second start, its exit
// code, and starts after a first instance was killed.
#include "common/testmain.h"

#include <QProcess>
#include <QSharedMemory>
#include <QSystemSemaphore>

#include <memory>
#include <vector>

namespace
{

const int kStartTimeoutMs = 30000;

QStringList xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start("xdotool", arguments);
    if (!process.waitForFinished(10000))
        return {};
    return QString::fromLatin1(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// Only windows of the given process count: other tests may share the X server.
QStringList visibleWindowsNamed(qint64 pid, const QString &pattern)
{
    return xdotool({"search", "--all", "--onlyvisible", "--pid", QString::number(pid), "--name", pattern});
}

const QString kMainWindow = "^ToneTuningTool$";
const QString kBox = "^prompt$";

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT

    QString m_baseTemp;
    QTemporaryDir m_programDir;
    QString m_program;
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::vector<std::unique_ptr<QProcess>> m_processes;

    struct Started {
        QProcess *process;
        qint64 pid;
    };

    Started start()
    {
        m_processes.push_back(std::make_unique<QProcess>());
        QProcess *process = m_processes.back().get();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(m_program, QStringList());
        if (!process->waitForStarted(kStartTimeoutMs))
            return {process, -1};
        return {process, process->processId()};
    }

    // Answers the box of a second start with Enter, as a user would.
    static bool acceptBox(const QString &box)
    {
        QProcess process;
        process.start("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
        return process.waitForFinished(10000) && process.exitCode() == 0;
    }

    static QString focusedWindow()
    {
        const QStringList focus = xdotool({"getwindowfocus"});
        return focus.isEmpty() ? QString() : focus.first();
    }

  private slots:
    void initTestCase()
    {
        QVERIFY2(!qgetenv("DISPLAY").isEmpty(), "needs an X server (scripts/test runs this under xvfb-run)");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is missing (scripts/deps)");
        // A copy of the program in a folder of its own: nothing else is next to it, in
        // particular no application font file, so it must start with the default font.
        m_program = m_programDir.filePath("ToneTuningTool");
        QVERIFY(QFile::copy(qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool", m_program));
        QVERIFY(!QFile::exists(m_programDir.filePath("font/SourceHanSansCN-Normal.ttf")));
        m_baseTemp = QDir::tempPath();
    }

    // The instance semaphore, the marker and the activation socket are all keyed by files in
    // the temporary folder, so a folder of our own per test keeps them apart from any
    // other run on this machine.
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>(m_baseTemp + "/ttt-instance-XXXXXX");
        QVERIFY(m_tmp->isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tmp->path()));
    }

    void cleanup()
    {
        for (auto &process : m_processes) {
            process->kill();
            process->waitForFinished(10000);
        }
        m_processes.clear();
        // Killed instances leave their system objects behind; remove them.
        {
            QSharedMemory marker("bardfgkk");
            if (marker.attach())
                marker.detach();
        }
        for (const char *key : {"adsfgdjjh", "bardfgkk"})
            QSystemSemaphore(key, 1, QSystemSemaphore::Create);
        qputenv("TMPDIR", QFile::encodeName(m_baseTemp));
        m_tmp.reset();
    }

    void secondStartShowsTheBoxAndRaisesTheRunningWindow()
    {
        const Started first = start();
        QTRY_VERIFY_WITH_TIMEOUT(!visibleWindowsNamed(first.pid, kMainWindow).isEmpty(), kStartTimeoutMs);
        const QStringList firstWindows = visibleWindowsNamed(first.pid, kMainWindow);

        const Started second = start();
        QStringList boxes;
        QTRY_VERIFY_WITH_TIMEOUT(!(boxes = visibleWindowsNamed(second.pid, kBox)).isEmpty(), kStartTimeoutMs);
        QCOMPARE(second.process->state(), QProcess::Running); // waits for the box to be answered
        QVERIFY(visibleWindowsNamed(second.pid, kMainWindow).isEmpty());
        QVERIFY(acceptBox(boxes.first()));

        QVERIFY(second.process->waitForFinished(kStartTimeoutMs));
        QCOMPARE(second.process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process->exitCode(), 0);
        QCOMPARE(first.process->state(), QProcess::Running);
        // The running instance's window took the focus.
        QTRY_VERIFY_WITH_TIMEOUT(firstWindows.contains(focusedWindow()), 10000);
    }

    void markerWithoutAnAnsweringInstanceExitsMinusOne()
    {
        // An instance that holds the marker but has no window yet, so it cannot answer.
        QSharedMemory holder("bardfgkk");
        QVERIFY2(holder.create(1), qPrintable(holder.errorString()));

        // The third start is not blocked by the second one's semaphore.
        for (const char *which : {"second start", "third start"}) {
            const Started started = start();
            QStringList boxes;
            QTRY_VERIFY2_WITH_TIMEOUT(!(boxes = visibleWindowsNamed(started.pid, kBox)).isEmpty(), which,
                                      kStartTimeoutMs);
            QVERIFY(visibleWindowsNamed(started.pid, kMainWindow).isEmpty());
            QVERIFY(acceptBox(boxes.first()));
            QVERIFY2(started.process->waitForFinished(kStartTimeoutMs), which);
            QCOMPARE(started.process->exitStatus(), QProcess::NormalExit);
            QCOMPARE(started.process->exitCode(), 255); // -1
        }
    }

    void startAfterTheFirstWasKilledRunsAsFirst()
    {
        const Started first = start();
        QTRY_VERIFY_WITH_TIMEOUT(!visibleWindowsNamed(first.pid, kMainWindow).isEmpty(), kStartTimeoutMs);
        first.process->kill(); // SIGKILL: no chance to remove its marker
        QVERIFY(first.process->waitForFinished(kStartTimeoutMs));
        {
            QSharedMemory probe("bardfgkk");
            QVERIFY(!probe.create(1));
            QCOMPARE(probe.error(), QSharedMemory::AlreadyExists); // the marker outlived its process
        }

        const Started next = start();
        QTRY_VERIFY_WITH_TIMEOUT(!visibleWindowsNamed(next.pid, kMainWindow).isEmpty(), kStartTimeoutMs);
        QVERIFY(visibleWindowsNamed(next.pid, kBox).isEmpty());
        QCOMPARE(next.process->state(), QProcess::Running);

        // And it is a proper first instance: a start after it is a second start.
        const Started second = start();
        QStringList boxes;
        QTRY_VERIFY_WITH_TIMEOUT(!(boxes = visibleWindowsNamed(second.pid, kBox)).isEmpty(), kStartTimeoutMs);
        QVERIFY(acceptBox(boxes.first()));
        QVERIFY(second.process->waitForFinished(kStartTimeoutMs));
        QCOMPARE(second.process->exitCode(), 0);
    }
};

TTT_TEST_MAIN(SingleInstanceTest)
#include "test_singleinstance.moc"
