// Ten starts of the program at the same moment: exactly one instance keeps running, every
// other start shows its box, exits with 0 or -1 once the box is answered, and none hangs.

#include "common/instancesandbox.h"
#include "common/testmain.h"

#include <algorithm>
#include <memory>

using namespace instancetest;

namespace
{

constexpr int kStarts = 10;
constexpr int kDeadlineMs = 240000;

} // namespace

class InstanceRaceTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstanceSandbox> m_sandbox;

  private slots:
    void initTestCase()
    {
        QVERIFY2(!qgetenv("DISPLAY").isEmpty(), "needs an X server (scripts/test runs this under xvfb-run)");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is missing (scripts/deps)");
        m_sandbox = std::make_unique<InstanceSandbox>("ttt-race");
        QVERIFY(m_sandbox->isValid());
    }

    void cleanupTestCase() { m_sandbox.reset(); }

    void tenStartsAtOnceLeaveOneInstance()
    {
        // Every start waits at a barrier (a file that does not exist yet), so that all ten
        // reach the instance check together rather than in the order they were spawned.
        const QString barrier = m_sandbox->filePath("go");
        const QString program = qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool";
        for (int i = 0; i < kStarts; ++i) {
            QProcess &process = m_sandbox->newProcess();
            process.start(
                "sh", {"-c", "while [ ! -e \"$0\" ]; do sleep 0.01; done; exec \"$1\"", barrier, program});
            QVERIFY(process.waitForStarted(30000));
        }
        QFile go(barrier);
        QVERIFY(go.open(QIODevice::WriteOnly));
        go.close();

        // Second starts show their boxes one after the other (each holds the semaphore
        // while its box is open); answer each as it appears, as a user would.
        const auto &processes = m_sandbox->processes();
        const auto exited = [&processes] {
            return int(std::count_if(processes.begin(), processes.end(),
                                     [](const auto &p) { return p->state() == QProcess::NotRunning; }));
        };
        QElapsedTimer clock;
        clock.start();
        int answered = 0;
        while (exited() < kStarts - 1 && clock.elapsed() < kDeadlineMs) {
            const QStringList boxes = visibleWindowsNamed(kBox);
            for (const QString &box : boxes) {
                if (acceptBox(box))
                    ++answered;
            }
            QTest::qWait(boxes.isEmpty() ? 100 : 10); // polling the X server, not synchronising
        }
        QVERIFY2(exited() == kStarts - 1,
                 qPrintable(QString("%1 of %2 starts ended within the deadline").arg(exited()).arg(kStarts)));
        QVERIFY2(answered >= kStarts - 1, qPrintable(QString::number(answered)));

        QStringList codes;
        for (const auto &process : processes)
            codes << (process->state() == QProcess::NotRunning ? QString::number(process->exitCode())
                                                               : "running");
        qInfo("%d boxes answered in %lld ms; exit codes: %s", answered, clock.elapsed(),
              qPrintable(codes.join(' ')));

        QProcess *survivor = nullptr;
        for (const auto &process : processes) {
            if (process->state() != QProcess::NotRunning) {
                survivor = process.get();
                continue;
            }
            QCOMPARE(process->exitStatus(), QProcess::NormalExit);
            QVERIFY2(process->exitCode() == 0 || process->exitCode() == 255, // 255: -1
                     qPrintable(QString::number(process->exitCode())));
        }
        QVERIFY(survivor);
        // The survivor is a full instance: its window is up and no box of its own is open.
        const qint64 pid = survivor->processId();
        QTRY_VERIFY_WITH_TIMEOUT(!visibleWindowsNamed(kMainWindow, pid).isEmpty(), 60000);
        QVERIFY(visibleWindowsNamed(kBox, pid).isEmpty());
        QCOMPARE(survivor->state(), QProcess::Running);
    }
};

TTT_TEST_MAIN(InstanceRaceTest)
#include "test_instancerace.moc"
