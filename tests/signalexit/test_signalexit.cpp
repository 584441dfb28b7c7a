// Log-out (SIGTERM), Ctrl-C (SIGINT) and a closed terminal (SIGHUP) end a running program
// the way the tray's "quit" does: the final switch request reaches the headset, the worker
// threads are joined, the process exits with 0 and leaves nothing that stops the next start.

#include "common/headsetemulator.h"
#include "common/instancesandbox.h"
#include "common/testmain.h"

#include "device/reportformat.h"

#include <csignal>
#include <memory>

using namespace instancetest;

namespace
{

const int kDeadlineMs = 60000;

QByteArray exitSwitchRequest()
{
    const unsigned char payload[] = {1, 0, 2, 0, 2, 2}; // usbHidSend_SetAlgorithmSwitch(1, 2, 2, 2)
    const Report request =
        buildRequest(report::kLongRequestId, CmdSetAlgorithmSwitch, payload, sizeof payload);
    return QByteArray(reinterpret_cast<const char *>(request.data()), report::kLongReportSize);
}

QList<QByteArray> sentReports(const QString &wireLog, int command = -1)
{
    QList<QByteArray> sent;
    for (const HeadsetEmulator::WireReport &report : HeadsetEmulator::readWire(wireLog))
        if (report.out && (command < 0 || (report.bytes.size() > report::kCommandByte &&
                                           quint8(report.bytes[report::kCommandByte]) == command)))
            sent.append(report.bytes);
    return sent;
}

} // namespace

class SignalExitTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstanceSandbox> m_sandbox;

    // The program with the emulated headset plugged in; true once it has opened it.
    bool startWithHeadset(QProcess &program, const QString &home)
    {
        program.setProcessEnvironment(m_sandbox->programEnvironment(home));
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool", QStringList());
        if (!program.waitForStarted(kDeadlineMs))
            return false;
        const QString wire = m_sandbox->filePath(home + "/wire.log");
        QElapsedTimer clock;
        clock.start();
        while (sentReports(wire, CmdReadStatus).isEmpty()) {
            if (program.state() != QProcess::Running || clock.elapsed() > kDeadlineMs)
                return false;
            program.waitForReadyRead(100); // polling the wire log with a deadline
        }
        return true;
    }

  private slots:
    void init()
    {
        m_sandbox = std::make_unique<InstanceSandbox>("ttt-signals");
        QVERIFY(m_sandbox->isValid());
    }
    void cleanup() { m_sandbox.reset(); }

    void signalEndsLikeQuit_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM at log-out ended the process on the spot") << SIGTERM;
        QTest::newRow("SIGINT from Ctrl-C ended the process on the spot") << SIGINT;
        QTest::newRow("SIGHUP from a closed terminal ended the process on the spot") << SIGHUP;
    }

    void signalEndsLikeQuit()
    {
        QFETCH(int, signalNumber);
        QProcess &program = m_sandbox->newProcess();
        QVERIFY(startWithHeadset(program, "first"));

        QCOMPARE(::kill(pid_t(program.processId()), signalNumber), 0);
        QVERIFY(program.waitForFinished(kDeadlineMs));
        const QString output = QString::fromUtf8(program.readAll());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == 0, qPrintable(output));

        // The last thing the program wrote to the headset is the exit's switch request.
        const QList<QByteArray> sent = sentReports(m_sandbox->filePath("first/wire.log"));
        QVERIFY(!sent.isEmpty());
        QCOMPARE(sent.last().toHex(' '), exitSwitchRequest().toHex(' '));
        // Handed over to the event loop, then the threads were joined before the end.
        const int handedOver = output.indexOf(QString("Quit on signal %1").arg(signalNumber));
        QVERIFY2(handedOver >= 0, qPrintable(output));
        QVERIFY2(output.indexOf("Worker threads joined", handedOver) > handedOver, qPrintable(output));

        // Nothing is left that would make the next start a second one: it builds its own
        // window (no "Program is running" box, which would leave it waiting offscreen) and
        // opens the headset.
        QProcess &next = m_sandbox->newProcess();
        QVERIFY2(startWithHeadset(next, "next"), qPrintable(QString::fromUtf8(next.readAll())));
        QVERIFY(::kill(pid_t(next.processId()), SIGTERM) == 0);
        QVERIFY(next.waitForFinished(kDeadlineMs));
        QCOMPARE(next.exitCode(), 0);
    }
};

TTT_TEST_MAIN(SignalExitTest)
#include "test_signalexit.moc"
