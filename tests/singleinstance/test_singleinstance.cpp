// Single instance across real processes: who is first, the box of a second start, its exit
// code, and starts after a first instance was killed.
#include "common/instancesandbox.h"
#include "common/testmain.h"

#include <memory>

using namespace instancetest;

namespace
{

const int kStartTimeoutMs = 30000;

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_programDir;
    QString m_program;
    std::unique_ptr<InstanceSandbox> m_sandbox;

    struct Started {
        QProcess *process;
        qint64 pid;
    };

    Started start()
    {
        QProcess *process = &m_sandbox->newProcess();
        process->start(m_program, QStringList());
        if (!process->waitForStarted(kStartTimeoutMs))
            return {process, -1};
        return {process, process->processId()};
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
    }

    // A sandbox of its own per test: no test sees what an earlier one left.
    void init()
    {
        m_sandbox = std::make_unique<InstanceSandbox>("ttt-instance");
        QVERIFY(m_sandbox->isValid());
    }

    void cleanup() { m_sandbox.reset(); }

    void secondStartShowsTheBoxAndRaisesTheRunningWindow()
    {
        const Started first = start();
        QTRY_VERIFY_WITH_TIMEOUT(!visibleWindowsNamed(kMainWindow, first.pid).isEmpty(), kStartTimeoutMs);
        const QStringList firstWindows = visibleWindowsNamed(kMainWindow, first.pid);

        const Started second = start();
        QStringList boxes;
        QTRY_VERIFY_WITH_TIMEOUT(!(boxes = visibleWindowsNamed(kBox, second.pid)).isEmpty(), kStartTimeoutMs);
        QCOMPARE(second.process->state(), QProcess::Running); // waits for the box to be answered
        QVERIFY(visibleWindowsNamed(kMainWindow, second.pid).isEmpty());
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
            QTRY_VERIFY2_WITH_TIMEOUT(!(boxes = visibleWindowsNamed(kBox, started.pid)).isEmpty(), which,
                                      kStartTimeoutMs);
            QVERIFY(visibleWindowsNamed(kMainWindow, started.pid).isEmpty());
            QVERIFY(acceptBox(boxes.first()));
            QVERIFY2(started.process->waitForFinished(kStartTimeoutMs), which);
            QCOMPARE(started.process->exitStatus(), QProcess::NormalExit);
            QCOMPARE(started.process->exitCode(), 255); // -1
        }
    }

    void startAfterTheFirstWasKilledRunsAsFirst()
    {
        const Started first = start();
        QTRY_VERIFY_WITH_TIMEOUT(!visibleWindowsNamed(kMainWindow, first.pid).isEmpty(), kStartTimeoutMs);
        first.process->kill(); // SIGKILL: no chance to remove its marker
        QVERIFY(first.process->waitForFinished(kStartTimeoutMs));
        {
            QSharedMemory probe("bardfgkk");
            QVERIFY(!probe.create(1));
            QCOMPARE(probe.error(), QSharedMemory::AlreadyExists); // the marker outlived its process
        }

        const Started next = start();
        QTRY_VERIFY_WITH_TIMEOUT(!visibleWindowsNamed(kMainWindow, next.pid).isEmpty(), kStartTimeoutMs);
        QVERIFY(visibleWindowsNamed(kBox, next.pid).isEmpty());
        QCOMPARE(next.process->state(), QProcess::Running);

        // And it is a proper first instance: a start after it is a second start.
        const Started second = start();
        QStringList boxes;
        QTRY_VERIFY_WITH_TIMEOUT(!(boxes = visibleWindowsNamed(kBox, second.pid)).isEmpty(), kStartTimeoutMs);
        QVERIFY(acceptBox(boxes.first()));
        QVERIFY(second.process->waitForFinished(kStartTimeoutMs));
        QCOMPARE(second.process->exitCode(), 0);
    }
};

TTT_TEST_MAIN(SingleInstanceTest)
#include "test_singleinstance.moc"
