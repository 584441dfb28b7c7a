// Ten starts of the program at the same moment: exactly one instance keeps running, every
// other start shows its box, exits with 0 or -1 once the box is answered, and none hangs.

#include "common/testmain.h"

#include <QProcess>
#include <QSharedMemory>
#include <QSystemSemaphore>

#include <algorithm>
#include <memory>
#include <vector>

namespace
{

constexpr int kStarts = 10;
constexpr int kDeadlineMs = 240000;

QStringList xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start("xdotool", arguments);
    if (!process.waitForFinished(10000))
        return {};
    return QString::fromLatin1(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class InstanceRaceTest : public QObject
{
    Q_OBJECT

    QString m_baseTemp;
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::vector<std::unique_ptr<QProcess>> m_processes;

  private slots:
    void initTestCase()
    {
        QVERIFY2(!qgetenv("DISPLAY").isEmpty(), "needs an X server (scripts/test runs this under xvfb-run)");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is missing (scripts/deps)");
        m_baseTemp = QDir::tempPath();
        // The semaphore, the marker and the activation socket are keyed by files in the
        // temporary folder: a folder of our own keeps them apart from any other run.
        m_tmp = std::make_unique<QTemporaryDir>(m_baseTemp + "/ttt-race-XXXXXX");
        QVERIFY(m_tmp->isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tmp->path()));
    }

    void cleanupTestCase()
    {
        for (auto &process : m_processes) {
            process->kill();
            process->waitForFinished(10000);
        }
        {
            QSharedMemory marker("bardfgkk");
            if (marker.attach())
                marker.detach();
        }
        for (const char *key : {"adsfgdjjh", "bardfgkk"})
            QSystemSemaphore(key, 1, QSystemSemaphore::Create);
        qputenv("TMPDIR", QFile::encodeName(m_baseTemp));
    }

    void tenStartsAtOnceLeaveOneInstance()
    {
        // Every start waits at a barrier (a file that does not exist yet), so that all ten
        // reach the instance check together rather than in the order they were spawned.
        const QString barrier = m_tmp->filePath("go");
        const QString program = qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool";
        for (int i = 0; i < kStarts; ++i) {
            m_processes.push_back(std::make_unique<QProcess>());
            QProcess &process = *m_processes.back();
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process.start(
                "sh", {"-c", "while [ ! -e \"$0\" ]; do sleep 0.01; done; exec \"$1\"", barrier, program});
            QVERIFY(process.waitForStarted(30000));
        }
        QFile go(barrier);
        QVERIFY(go.open(QIODevice::WriteOnly));
        go.close();

        // Second starts show their boxes one after the other (each holds the semaphore
        // while its box is open); answer each as it appears, as a user would.
        const auto exited = [this] {
            return int(std::count_if(m_processes.begin(), m_processes.end(),
                                     [](const auto &p) { return p->state() == QProcess::NotRunning; }));
        };
        QElapsedTimer clock;
        clock.start();
        int answered = 0;
        while (exited() < kStarts - 1 && clock.elapsed() < kDeadlineMs) {
            const QStringList boxes = xdotool({"search", "--all", "--onlyvisible", "--name", "^prompt$"});
            for (const QString &box : boxes) {
                QProcess key;
                key.start("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
                if (key.waitForFinished(10000) && key.exitCode() == 0)
                    ++answered;
            }
            QTest::qWait(boxes.isEmpty() ? 100 : 10); // polling the X server, not synchronising
        }
        QVERIFY2(exited() == kStarts - 1,
                 qPrintable(QString("%1 of %2 starts ended within the deadline").arg(exited()).arg(kStarts)));
        QVERIFY2(answered >= kStarts - 1, qPrintable(QString::number(answered)));

        QStringList codes;
        for (const auto &process : m_processes)
            codes << (process->state() == QProcess::NotRunning ? QString::number(process->exitCode())
                                                               : "running");
        qInfo("%d boxes answered in %lld ms; exit codes: %s", answered, clock.elapsed(),
              qPrintable(codes.join(' ')));

        QProcess *survivor = nullptr;
        for (const auto &process : m_processes) {
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
        const QString pid = QString::number(survivor->processId());
        QTRY_VERIFY_WITH_TIMEOUT(
            !xdotool({"search", "--all", "--onlyvisible", "--pid", pid, "--name", "^ToneTuningTool$"})
                 .isEmpty(),
            60000);
        QVERIFY(xdotool({"search", "--all", "--onlyvisible", "--pid", pid, "--name", "^prompt$"}).isEmpty());
        QCOMPARE(survivor->state(), QProcess::Running);
    }
};

TTT_TEST_MAIN(InstanceRaceTest)
#include "test_instancerace.moc"
