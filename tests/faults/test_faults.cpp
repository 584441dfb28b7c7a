// Faults injected through the headset emulator. The device link first, on its own: a
// flood of garbage reports must neither reach the window nor keep real replies out.

#include "common/headsetemulator.h"
#include "common/testmain.h"
#include "common/tracecapture.h"

#include "device/MyThread.h"
#include "device/UsbHidOperation.h"
#include "diagnostics/debuglog.h"
#include "profiles/jsonfiles.h"

#include <QtTest>

#include <memory>

namespace
{

constexpr int kSupportedProduct = 0x4151;

// Receives the receive thread's signals the way the window does: queued, on this thread.
class SignalLog : public QObject
{
    Q_OBJECT
  public:
    QList<int> codes;
  public slots:
    void record(int code) { codes.append(code); }
};

QString identityText()
{
    const auto bytes = deviceIdBytes.load();
    return bytesToHex(bytes.data(), int(bytes.size()));
}

int inputReportsSince(const HeadsetEmulator &emulator)
{
    int count = 0;
    for (const auto &report : emulator.wireSince())
        count += report.out ? 0 : 1;
    return count;
}

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HeadsetEmulator> m_emulator;
    std::unique_ptr<TraceCapture> m_traces;

    void command(const QString &line)
    {
        const QString answer = m_emulator->command(line);
        QVERIFY2(answer == "ok", qPrintable(line + " -> " + answer));
    }

  private slots:
    void initTestCase()
    {
        m_traces = std::make_unique<TraceCapture>();
        m_emulator = std::make_unique<HeadsetEmulator>();
        initDebugLog();
    }

    void cleanupTestCase()
    {
        m_emulator.reset();
        m_traces.reset();
    }

    // --- The device link on its own -------------------------------------------------

    void garbageFloodNeverReachesTheWindow()
    {
        DeviceData preset;
        preset.vid = "3508";
        preset.pid = "4151";
        QCOMPARE(usbHidOpenDevice({{kSupportedProduct, &preset}}), 0);
        auto recvThread = std::make_unique<MyThread>();
        SignalLog replies;
        connect(recvThread.get(), &MyThread::sendReadAudio, &replies, &SignalLog::record,
                Qt::QueuedConnection);
        recvThread->runFlag = 1;
        recvThread->start();
        QTRY_COMPARE(replies.codes, QList<int>()); // the ReadVersion reply is not signalled

        m_emulator->markWire();
        command("garbage 1000");
        QTRY_VERIFY_WITH_TIMEOUT(inputReportsSince(*m_emulator) >= 300, 20000);
        QCoreApplication::processEvents();
        QCOMPARE(replies.codes, QList<int>());

        // Real replies in the middle of the flood get through, each once.
        command("identity 0badf00d");
        command("surround 0");
        surroundSupported = 1;
        usbHidSend_ReadStatus(0);
        usbHidSend_ReadAudio(0);
        QTRY_VERIFY_WITH_TIMEOUT(replies.codes.contains(20) && replies.codes.contains(32), 20000);
        QCOMPARE(identityText(), QString("0badf00d"));
        QCOMPARE(surroundSupported.load(), 0);
        command("garbage off");
        QCoreApplication::processEvents();
        QCOMPARE(replies.codes.count(20), 1);
        QCOMPARE(replies.codes.count(32), 1);
        QCOMPARE(replies.codes.size(), 2);

        usbHidCloseDevice(recvThread.get());
        command("identity 001ab2ff");
        command("surround 1");
    }
};

TTT_TEST_MAIN(FaultsTest)
#include "test_faults.moc"
