// The device link through the headset emulator: what goes out on the wire, what the
// reply handlers store, what the receive and timing threads signal.

#include "common/headsetemulator.h"
#include "common/testmain.h"
#include "common/tracecapture.h"

#include "device/MyThread.h"
#include "device/MyThread_Two.h"
#include "device/UsbHidOperation.h"
#include "device/hidlibrary.h"
#include "device/openfailure.h"
#include "device/reportbacklog.h"
#include "diagnostics/debuglog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <QScopeGuard>
#include <QSemaphore>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

constexpr int kSupportedProduct = 0x4151;

QByteArray hex(const QByteArray &text, int length = 0)
{
    QByteArray bytes = QByteArray::fromHex(text);
    if (length > bytes.size())
        bytes.append(QByteArray(length - bytes.size(), '\0'));
    return bytes;
}

// A reply frame as the headset sends it (64-byte buffer; `size` is the report size).
QByteArray replyFrame(int command, const QByteArray &payload, int size = 64)
{
    QByteArray frame(64, '\0');
    frame[0] = char(size == 32 ? 0x23 : 0x24);
    frame[1] = 0x30;
    frame[2] = 0x18;
    frame[3] = char(0x80);
    frame[4] = char(command);
    frame[5] = char(payload.size());
    frame.replace(6, payload.size(), payload);
    unsigned sum = 0;
    for (int i = 0; i < 6 + payload.size(); ++i)
        sum += quint8(frame[i]);
    frame[6 + payload.size()] = char(sum & 0xFF);
    return frame;
}

int dispatch(const QByteArray &frame, int length = 64)
{
    return usbHidDispatchReply(reinterpret_cast<const unsigned char *>(frame.constData()), length);
}

template <std::size_t N> QByteArray bytesOf(const std::array<unsigned char, N> &array)
{
    return QByteArray(reinterpret_cast<const char *>(array.data()), int(N));
}

// The debug log's lines written since `from` (a byte offset).
QStringList logLinesSince(qint64 from)
{
    QFile file(debugLogPath());
    file.open(QIODevice::ReadOnly);
    file.seek(from);
    QStringList lines = QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    return lines;
}

qint64 logSize()
{
    return QFileInfo(debugLogPath()).size();
}

// "title : value" of each "*Usb Write" / "Usb Hid send Switch" entry, without the source part.
QStringList entries(const QStringList &lines)
{
    QStringList out;
    for (const QString &line : lines)
        out.append(line.section("\t\t", 0, 0));
    return out;
}

// Receives the worker threads' signals the way the window does: queued, on this thread.
class SignalLog : public QObject
{
    Q_OBJECT
  public:
    QList<int> codes;
    int count(int code) const { return codes.count(code); }
  public slots:
    void record(int code) { codes.append(code); }
};

} // namespace

class DeviceTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HeadsetEmulator> m_emulator;
    std::unique_ptr<TraceCapture> m_traces;
    DeviceData m_preset;
    std::map<int, DeviceData *> m_presetDevices;
    std::unique_ptr<MyThread> m_recvThread;
    SignalLog m_replies;
    QByteArray m_emulatorLibrary;

    void command(const QString &line)
    {
        const QString answer = m_emulator->command(line);
        QVERIFY2(answer == "ok", qPrintable(line + " -> " + answer));
    }

    void openHeadset() { QCOMPARE(usbHidOpenDevice(m_presetDevices), 0); }

    // Opens the headset and starts a receive thread connected like the window's.
    void openAndReceive()
    {
        openHeadset();
        m_recvThread = std::make_unique<MyThread>();
        m_recvThread->runFlag = 1;
        m_recvThread->start();
        connect(m_recvThread.get(), &MyThread::sendReadAudio, &m_replies, &SignalLog::record,
                Qt::QueuedConnection);
    }

    void closeHeadset()
    {
        usbHidCloseDevice(m_recvThread.get());
        m_recvThread.reset();
    }

    // Lets the event loop run for a while, for asserting that something does NOT happen.
    static void quietWindow(int milliseconds) { QTest::qWait(milliseconds); }

  private slots:
    void initTestCase()
    {
        m_traces = std::make_unique<TraceCapture>();
        m_emulatorLibrary = qgetenv("TONETUNINGTOOL_HID_LIBRARY");
        m_emulator = std::make_unique<HeadsetEmulator>();
        initDebugLog();
        m_preset.vid = "3508";
        m_preset.pid = "4151";
        m_presetDevices = {{kSupportedProduct, &m_preset}};
    }

    void init()
    {
        for (const char *line : {"plug", "replies on", "fail-writes off", "spectrum off", "spectrum rate 30",
                                 "identity 001ab2ff", "surround 1", "reply-status 20 0", "reply-status 21 0",
                                 "reply-status 32 0"})
            command(line);
        audioReplySeen = 1;
        statusReplySeen = 1;
        audioRetryCount = 0;
        statusRetryCount = 0;
        spectrumEnabled = 0;
        peqAckFirstBand = 0;
        peqAckLastBand = 0;
        m_replies.codes.clear();
        m_emulator->markWire();
        m_traces->clear();
    }

    void cleanup()
    {
        closeHeadset();
        spectrumEnabled = 0;
    }

    void cleanupTestCase()
    {
        m_emulator.reset();
        m_traces.reset();
    }

    // --- Opening and the link state -------------------------------------------------

    void openSendsPrimingThenReadVersion()
    {
        openHeadset();
        QCOMPARE(deviceOpen.load(), 1);
        QCOMPARE(vendorId.load(), 0x3508);
        QCOMPARE(productId.load(), 0x4151);
        QVERIFY(m_traces->count("Open Device Success!") == 1);
        QVERIFY(m_traces->count("[Send - ReadVersion::Write Success!]") == 1);
        // The priming report is a ReadVersion head without its checksum; then the real one.
        const QList<QByteArray> sent = m_emulator->sentSince();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[0].toHex(' '), hex("4e3080180100", 32).toHex(' '));
        QCOMPARE(sent[1].toHex(' '), hex("4e308018010017", 32).toHex(' '));
    }

    void openWhileOpenReusesTheHandle()
    {
        openHeadset();
        hid_device *first = hidDevice;
        m_emulator->markWire();
        openHeadset();
        QCOMPARE(hidDevice.load(), first);
        QCOMPARE(m_emulator->sentSince().size(), 2); // a new priming report and ReadVersion
    }

    void openChoosesTheInterface_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("vidText"); // the device table's vid for 4151; "-" for no entry
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("identity"); // of the interface that got opened

        const QByteArray twoVendorInterfaces =
            R"({"devices": [{"id": "a", "usagePage": "ff00", "identity": "11111111"},
                            {"id": "b", "usagePage": "ffff", "identity": "22222222"}]})";
        QTest::newRow("vendor interface beside a consumer one")
            << QByteArray() << "3508" << 0 << hex("001ab2ff");
        QTest::newRow("two vendor interfaces: the last listed")
            << twoVendorInterfaces << "3508" << 0 << hex("22222222");
        QTest::newRow("usage page just below ff00")
            << QByteArray(R"({"devices": [{"usagePage": "feff"}]})") << "3508" << -2 << QByteArray();
        QTest::newRow("usage page 0001")
            << QByteArray(R"({"devices": [{"usagePage": "0001"}]})") << "3508" << -2 << QByteArray();
        QTest::newRow("other product id")
            << QByteArray(R"({"devices": [{"productId": "4152"}]})") << "3508" << -2 << QByteArray();
        QTest::newRow("headset not plugged in")
            << QByteArray(R"({"devices": [{"plugged": false}]})") << "3508" << -2 << QByteArray();
        QTest::newRow("no devices") << QByteArray(R"({"devices": []})") << "3508" << -2 << QByteArray();
        QTest::newRow("no device-table entry") << QByteArray() << "-" << -2 << QByteArray();
        QTest::newRow("device-table vid of another vendor") << QByteArray() << "3509" << -2 << QByteArray();
        QTest::newRow("device-table vid not hexadecimal") << QByteArray() << "zz" << -2 << QByteArray();
        QTest::newRow("device-table vid read like strtol")
            << QByteArray() << " 0x3508" << 0 << hex("001ab2ff");
    }

    void openChoosesTheInterface()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, vidText);
        QFETCH(int, result);
        QFETCH(QByteArray, identity);

        m_emulator->reload(config);
        DeviceData preset;
        preset.vid = vidText;
        std::map<int, DeviceData *> devices;
        if (vidText != "-")
            devices[kSupportedProduct] = &preset;

        QCOMPARE(usbHidOpenDevice(devices), result);
        if (result != 0) {
            QCOMPARE(deviceOpen.load(), 0);
            QVERIFY(!hidDevice);
            QVERIFY(m_emulator->sentSince().isEmpty());
            QVERIFY(!m_traces->contains("Open Device"));
        } else {
            // Ask the opened interface who it is.
            usbHidSend_ReadStatus(0);
            unsigned char reply[64] = {};
            int code = NoReplySignal;
            QElapsedTimer waited;
            waited.start();
            while (code != ReplyReadStatus && waited.elapsed() < 5000) {
                std::fill(std::begin(reply), std::end(reply), 0);
                const int count = usbHidReadDevice(hidDevice, reply, 64, 50);
                if (count > 0)
                    code = usbHidDispatchReply(reply, count);
            }
            QCOMPARE(code, int(ReplyReadStatus));
            QCOMPARE(bytesOf(deviceIdBytes.load()).toHex(), identity.toHex());
        }
        closeHeadset();
        m_emulator->reload();
    }

    void openRefusedByTheLibrary()
    {
        qputenv("TONETUNINGTOOL_HID_LIBRARY", HID_FIXTURE_REFUSING_PATH);
        unloadHidLibrary();
        const int result = usbHidOpenDevice(m_presetDevices);
        unloadHidLibrary();
        qputenv("TONETUNINGTOOL_HID_LIBRARY", m_emulatorLibrary);
        m_emulator->reload();

        QCOMPARE(result, -1);
        QCOMPARE(m_traces->count("Open Device Fail!"), 1);
        // The user-fixable cause (no udev rule yet) reaches the trace with the node's name.
        QCOMPARE(m_traces->count("Cannot open fixture/headset: Failed to open a device with path "
                                 "'fixture/headset': Permission denied"),
                 1);
        QCOMPARE(deviceOpen.load(), 0);
        QVERIFY(!hidDevice);
        QCOMPARE(vendorId.load(), 0);
    }

    void openFailureNamesTheNodeAndCause_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("libraryError");
        QTest::addColumn<QString>("trace");
        QTest::newRow("node vanished before the open")
            << "/dev/ttt-no-such-hidraw" << "Success" << "Cannot open /dev/ttt-no-such-hidraw: No such file or directory";
        QTest::newRow("not a file: the library's message")
            << "emulator/headset" << "hid_open_path: no such device"
            << "Cannot open emulator/headset: hid_open_path: no such device";
        QTest::newRow("library's placeholder is no reason")
            << "emulator/headset" << "Success" << "Cannot open emulator/headset: the HID library gives no reason";
        QTest::newRow("accessible node: the library's message")
            << QDir::tempPath() << "Device or resource busy" << "Cannot open " + QDir::tempPath() + ": Device or resource busy";
    }
    void openFailureNamesTheNodeAndCause()
    {
        QFETCH(QString, path);
        QFETCH(QString, libraryError);
        QFETCH(QString, trace);
        QCOMPARE(openFailureTrace(path, libraryError), trace);
    }

    void unusableLibraryMeansNoHeadset_data()
    {
        QTest::addColumn<QByteArray>("library");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file")
            << QByteArray("/nonexistent/libhidapi-missing.so.0") << "cannot be loaded";
        QTest::newRow("lacks a function") << QByteArray(HID_FIXTURE_INCOMPLETE_PATH) << "hid_read_timeout";
    }

    void unusableLibraryMeansNoHeadset()
    {
        QFETCH(QByteArray, library);
        QFETCH(QString, reason);
        qputenv("TONETUNINGTOOL_HID_LIBRARY", library);
        unloadHidLibrary();
        const int result = usbHidOpenDevice(m_presetDevices);
        const bool loaded = hidLibrary() != nullptr;
        qputenv("TONETUNINGTOOL_HID_LIBRARY", m_emulatorLibrary);
        m_emulator->reload();

        QCOMPARE(result, -2);
        QVERIFY(!loaded);
        bool traced = false;
        for (const QString &line : m_traces->lines())
            traced = traced || (line.contains(QString::fromLocal8Bit(library)) && line.contains(reason));
        QVERIFY2(traced, qPrintable(m_traces->lines().join('\n')));
        QCOMPARE(deviceOpen.load(), 0);
    }

    // --- Writing -------------------------------------------------------------------

    void writeDevice_data()
    {
        QTest::addColumn<QByteArray>("report"); // empty: a null buffer
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("emulatorCommand");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<int>("bytesOnWire");

        const QByteArray shortReport = hex("4e308018010017", 64);
        const QByteArray longReport = hex("4f30801832010 04a", 64);
        const QStringList ok = {"*Usb Write : start", "*Usb Write : success"};
        const QStringList notOpen = {"*Usb Write : start", "*Usb Write : fail222"};
        QTest::newRow("32-byte report") << shortReport << true << "" << 0 << ok << 32;
        QTest::newRow("64-byte report") << longReport << true << "" << 0 << ok << 64;
        QTest::newRow("null buffer") << QByteArray() << true << "" << 2 << QStringList{"*Usb Write : fail222"}
                                     << 0;
        QTest::newRow("unknown first byte") << hex("00308018010017", 64) << true << "" << 2 << notOpen << 0;
        QTest::newRow("link closed") << shortReport << false << "" << 2 << notOpen << 0;
        QTest::newRow("write fails") << shortReport << true << "fail-writes on" << 1
                                     << QStringList{"*Usb Write : start", "*Usb Write : fail111"} << 0;
        QTest::newRow("headset vanished") << shortReport << true << "unplug" << 1
                                          << QStringList{"*Usb Write : start", "*Usb Write : fail111"} << 0;
    }

    void writeDevice()
    {
        QFETCH(QByteArray, report);
        QFETCH(bool, open);
        QFETCH(QString, emulatorCommand);
        QFETCH(int, result);
        QFETCH(QStringList, log);
        QFETCH(int, bytesOnWire);

        if (open)
            openHeadset();
        if (!emulatorCommand.isEmpty())
            command(emulatorCommand);
        m_emulator->markWire();
        const qint64 logMark = logSize();

        const auto *buffer =
            report.isEmpty() ? nullptr : reinterpret_cast<const unsigned char *>(report.constData());
        QCOMPARE(usbHidWriteDevice(buffer), result);

        const QStringList lines = logLinesSince(logMark);
        QCOMPARE(entries(lines), log);
        for (const QString &line : lines)
            QVERIFY2(line.contains("\t\t(UsbHidOperation - usbHidWriteDevice ... "), qPrintable(line));
        const QList<QByteArray> sent = m_emulator->sentSince();
        QCOMPARE(sent.size(), bytesOnWire ? 1 : 0);
        if (bytesOnWire)
            QCOMPARE(sent[0], report.left(bytesOnWire));
    }

    // --- Requests on the wire -------------------------------------------------------

    void requestsOnTheWire_data()
    {
        QTest::addColumn<int>("request");
        QTest::addColumn<QByteArray>("expected");

        enum {
            ReadVersion,
            ReadAudio,
            ReadStatus,
            PeqFlatLower,
            PeqUpper,
            PeqLowerExtremes,
            PeqIncomplete,
            SetVol,
            SwitchExit,
            SwitchEqStereo,
            SpectrumOn,
            SpectrumOff
        };
        QTest::newRow("ReadVersion") << int(ReadVersion) << hex("4e308018010017", 32);
        QTest::newRow("ReadAudio") << int(ReadAudio) << hex("4f30801820010038", 64);
        QTest::newRow("ReadStatus") << int(ReadStatus) << hex("4f3080183201004a", 64);
        QTest::newRow("SetPEQ lower half, flat, mode 5")
            << int(PeqFlatLower)
            << hex("4f 30 80 18 21 26 01 00 04 00 00 1e 07 d0 00 00 3c 07 d0 00 00 78 07 d0 00 00 fa 07 d0 "
                   "00 "
                   "01 f4 07 d0 00 00 00 00 00 00 00 00 00 05 5c",
                   64);
        QTest::newRow("SetPEQ upper half, -12 and +12") << int(PeqUpper)
                                                        << hex("4f 30 80 18 21 26 01 05 09 00 03 e8 07 d0 f4 "
                                                               "07 d0 07 d0 0c 0f a0 0f a0 f4 1f 40 0f a0 0c "
                                                               "3e 80 0f a0 00 00 00 00 00 00 00 00 00 02 b8",
                                                               64);
        QTest::newRow("SetPEQ lower half, -12 and +12") << int(PeqLowerExtremes)
                                                        << hex("4f 30 80 18 21 26 01 00 04 00 00 1e 07 d0 f4 "
                                                               "00 3c 07 d0 0c 00 78 07 d0 00 00 fa 07 d0 00 "
                                                               "01 f4 07 d0 00 00 00 00 00 00 00 00 00 01 58",
                                                               64);
        QTest::newRow("SetPEQ bands 0 to 3: empty band area")
            << int(PeqIncomplete) << hex("4f308018212601000300" + QByteArray(2 * (25 + 8), '0') + "0567", 64);
        QTest::newRow("SetVol") << int(SetVol) << hex("4e30801830060100020304055b", 32);
        QTest::newRow("SetAlgorithmSwitch at exit")
            << int(SwitchExit) << hex("4f30801831060100020002025 5", 64);
        QTest::newRow("SetAlgorithmSwitch after a stereo upload") << int(SwitchEqStereo)
                                                                  << hex("4f3080183106010000000001"
                                                                         "50",
                                                                         64);
        QTest::newRow("SpectrumSwitch on") << int(SpectrumOn) << hex("4f30801899010 1b2", 64);
        QTest::newRow("SpectrumSwitch off") << int(SpectrumOff) << hex("4f30801899010 0b1", 64);
    }

    void requestsOnTheWire()
    {
        QFETCH(int, request);
        QFETCH(QByteArray, expected);
        openHeadset();
        m_emulator->markWire();
        const std::vector<int> flat(10, 0);
        const std::vector<int> extremes = {-12, 12, 0, 0, 0, -12, 12, -12, 12, 0};
        switch (request) {
        case 0:
            usbHidSend_ReadVersion();
            break;
        case 1:
            usbHidSend_ReadAudio(0);
            break;
        case 2:
            usbHidSend_ReadStatus(0);
            break;
        case 3:
            QCOMPARE(usbHidSend_SetPEQ(1, 0, 4, 5, flat), 0);
            break;
        case 4:
            QCOMPARE(usbHidSend_SetPEQ(1, 5, 9, 2, extremes), 0);
            break;
        case 5:
            QCOMPARE(usbHidSend_SetPEQ(1, 0, 4, 1, extremes), 0);
            break;
        case 6:
            QCOMPARE(usbHidSend_SetPEQ(1, 0, 3, 5, std::vector<int>(10, 3)), 0);
            break;
        case 7:
            usbHidSend_SetVol(1, 2, 3, 4, 5);
            break;
        case 8:
            usbHidSend_SetAlgorithmSwitch(1, 2, 2, 2);
            break;
        case 9:
            usbHidSend_SetAlgorithmSwitch(1, 0, 0, 1);
            break;
        case 10:
            usbHidSend_SpectrumSwitch(1);
            break;
        case 11:
            usbHidSend_SpectrumSwitch(0);
            break;
        }
        const QList<QByteArray> sent = m_emulator->sentSince();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].toHex(' '), expected.toHex(' '));
    }

    void senderTraces_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("emulatorCommand");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("result");
        QTest::newRow("headset open") << true << ""
                                      << "Write Success!" << 0;
        QTest::newRow("write fails") << true << "fail-writes on"
                                     << "Write Fail!" << 1;
        QTest::newRow("not open") << false << ""
                                  << "Device Not Open!" << 2;
    }

    void senderTraces()
    {
        QFETCH(bool, open);
        QFETCH(QString, emulatorCommand);
        QFETCH(QString, outcome);
        QFETCH(int, result);
        if (open)
            openHeadset();
        if (!emulatorCommand.isEmpty())
            command(emulatorCommand);
        m_traces->clear();
        const qint64 logMark = logSize();

        usbHidSend_ReadVersion();
        usbHidSend_SetVol(0, 0, 0, 0, 0);
        usbHidSend_SpectrumSwitch(0);
        usbHidSend_SetAlgorithmSwitch(1, 0, 0, 1);
        QCOMPARE(usbHidSend_SetPEQ(1, 0, 4, 0, std::vector<int>(10, 0)), result);

        const QStringList traces = m_traces->lines();
        QCOMPARE(
            traces,
            QStringList({"[Send - ReadVersion::" + outcome + "]", "[Send - SetVol::" + outcome + "]",
                         "[Send - SpectrumSwitch::" + outcome + "]", "[Send - SetSwitch::" + outcome + "]"}));
        // The switch sender brackets its write with log entries that carry the result.
        const QStringList switchEntries = entries(logLinesSince(logMark)).filter("Usb Hid send Switch");
        QCOMPARE(switchEntries, QStringList({"Usb Hid send Switch : start",
                                             QString("Usb Hid send Switch : end(%1)").arg(result)}));
        for (const QString &line : logLinesSince(logMark).filter("Usb Hid send Switch"))
            QVERIFY(line.contains("\t\t(UsbHidOperation - usbHidSend_SetAlgorithmSwitch ... "));
    }

    // --- Retries of ReadAudio and ReadStatus ----------------------------------------

    void silentHeadsetRetries_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("retryTrace");
        QTest::addColumn<int>("replyCode");
        QTest::newRow("ReadAudio") << 0x20 << "Kelm::usbHidSend_ReadAudio Call Fail" << int(ReplyReadAudio);
        QTest::newRow("ReadStatus") << 0x32 << "Kelm::usbHidSend_ReadStatus Call Fail"
                                    << int(ReplyReadStatus);
    }

    void silentHeadsetRetries()
    {
        QFETCH(int, command);
        QFETCH(QString, retryTrace);
        QFETCH(int, replyCode);
        auto send = [command] { command == 0x20 ? usbHidSend_ReadAudio(0) : usbHidSend_ReadStatus(0); };
        // As after start: no reply has ever come.
        audioReplySeen = 0;
        statusReplySeen = 0;
        openAndReceive();
        this->command("replies off");
        m_emulator->markWire();

        // The first request and ten watchdog re-sends, 50 ms apart; then it gives up.
        send();
        QTRY_COMPARE_WITH_TIMEOUT(m_emulator->sentSince(command).size(), 11, 5000);
        quietWindow(250);
        QCOMPARE(m_emulator->sentSince(command).size(), 11);
        QCOMPARE(m_traces->count(retryTrace), 10);

        // Until some reply comes, a later request gets no re-sends at all.
        send();
        quietWindow(250);
        QCOMPARE(m_emulator->sentSince(command).size(), 12);

        // A reply resets the counter. The watchdog guards a request only when the one
        // before it went unanswered, so the first silent request after a reply is not
        // re-sent, the second one is, ten times again.
        this->command("replies on");
        send();
        QTRY_VERIFY(m_replies.count(replyCode) == 1);
        quietWindow(100); // the answered request's watchdog runs out
        this->command("replies off");
        m_emulator->markWire();
        send();
        quietWindow(250);
        QCOMPARE(m_emulator->sentSince(command).size(), 1);
        send();
        QTRY_COMPARE_WITH_TIMEOUT(m_emulator->sentSince(command).size(), 12, 5000);
    }

    void failedWritesAreRetried()
    {
        openHeadset();
        command("fail-writes on");
        statusRetryCount = 10; // the watchdog has given up already: only the write retries run
        usbHidSend_ReadStatus(0);
        QTRY_COMPARE_WITH_TIMEOUT(m_traces->count("Kelm usbHidSend_ReadStatus:Fail"), 1, 5000);
        quietWindow(150);
        QCOMPARE(m_traces->count("[Send - ReadStatus::Write Fail!]"), 11); // attempts 0 to 10
        QCOMPARE(m_traces->count("Kelm usbHidSend_ReadStatus:Fail"), 1);
    }

    // --- Reply handlers -------------------------------------------------------------

    void readAudioReply_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("surround");
        QTest::newRow("7.1 supported") << hex("00030001") << 1;
        QTest::newRow("no 7.1") << hex("00030000") << 0;
        QTest::newRow("rejected: surround kept") << hex("01030000") << 7;
    }

    void readAudioReply()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, surround);
        surroundSupported = 7;
        audioRetryCount = 9;
        audioReplySeen = 0;
        QCOMPARE(dispatch(replyFrame(0x20, payload)), int(ReplyReadAudio));
        QCOMPARE(surroundSupported.load(), surround);
        QCOMPARE(audioRetryCount.load(), 0);
        QCOMPARE(int(audioReplySeen), 1);
        QCOMPARE(m_traces->count("[Recv - ReadAudio::Error]"), payload.at(0) == 1 ? 1 : 0);
    }

    void readStatusReply_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("identity");
        QTest::newRow("identity") << hex("0000000102 0aff") << hex("01020aff");
        QTest::newRow("rejected: identity kept") << hex("01000001020aff") << hex("01010101");
    }

    void readStatusReply()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, identity);
        deviceIdBytes.store(std::array<unsigned char, 4>{1, 1, 1, 1});
        statusRetryCount = 9;
        statusReplySeen = 0;
        QCOMPARE(dispatch(replyFrame(0x32, payload)), int(ReplyReadStatus));
        QCOMPARE(bytesOf(deviceIdBytes.load()).toHex(), identity.toHex());
        QCOMPARE(statusRetryCount.load(), 0);
        QCOMPARE(int(statusReplySeen), 1);
        QCOMPARE(m_traces->count("[Recv - usbHidRecv_ReadStatus::Error]"), payload.at(0) == 1 ? 1 : 0);
    }

    void setPeqReplyStoresTheAcknowledgedBands()
    {
        QCOMPARE(dispatch(replyFrame(0x21, hex("000509"))), int(ReplySetPEQ));
        QCOMPARE(peqAckFirstBand.load(), 5);
        QCOMPARE(peqAckLastBand.load(), 9);
        QCOMPARE(dispatch(replyFrame(0x21, hex("010004"))), int(ReplySetPEQ));
        QCOMPARE(peqAckFirstBand.load(), 0);
        QCOMPARE(peqAckLastBand.load(), 4);
        QCOMPARE(m_traces->count("[Recv - usbHidRecv_SetPEQ::Error]"), 1);
        QCOMPARE(dispatch(replyFrame(0x31, hex("01"))), int(NoReplySignal));
        QCOMPARE(m_traces->count("[Recv - usbHidRecv_SetAlgorithmSwitch::Error]"), 1);
    }

    void readVersionReply_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("stored");
        QTest::newRow("kind 0: no version") << 0 << false;
        QTest::newRow("kind 1") << 1 << true;
        QTest::newRow("kind 3") << 3 << true;
        QTest::newRow("unknown kind 4") << 4 << false;
    }

    void readVersionReply()
    {
        QFETCH(int, kind);
        QFETCH(bool, stored);
        const QByteArray text = QByteArray("V1.02-abcdefghijklmn").left(20);
        versionInfo.store(std::array<unsigned char, 20>{9, 9, 9});
        versionReceived = 0;
        QCOMPARE(dispatch(replyFrame(0x01, char(kind) + text, 32), 32), int(NoReplySignal));
        QCOMPARE(bytesOf(versionInfo.load()), stored ? text : QByteArray(20, '\0'));
        QCOMPARE(versionReceived.load(), 1);
        QCOMPARE(m_traces->count("No Version."), kind == 0 ? 1 : 0);
        QCOMPARE(m_traces->count("[Recv - ReadVersion::Read Version Successful!]"), 1);
    }

    void spectrumReplyStoresTheBands()
    {
        QByteArray levels;
        for (int band = 0; band < 57; ++band)
            levels.append(char(band * 4));
        QCOMPARE(dispatch(replyFrame(0x99, levels)), int(ReplySpectrumFrame));
        QCOMPARE(bytesOf(spectrumBands.load()), levels);
    }

    void frameValidation_data()
    {
        QTest::addColumn<QByteArray>("frame"); // the 64-byte receive buffer
        QTest::addColumn<int>("length");       // the size of the report read
        QTest::addColumn<bool>("handled");

        const QByteArray ack = hex("000509");
        const QByteArray good = replyFrame(0x21, ack);
        QTest::newRow("good 64-byte reply") << good << 64 << true;
        QTest::newRow("good 32-byte reply") << replyFrame(0x21, ack, 32) << 32 << true;
        QByteArray swapped = good;
        swapped[2] = char(0x80);
        swapped[3] = 0x18;
        QTest::newRow("direction bytes in request order") << swapped << 64 << false;
        QByteArray requestId = good;
        requestId[0] = 0x4F;
        requestId[9] = char(quint8(requestId[9]) + 0x4F - 0x24);
        QTest::newRow("request id") << requestId << 64 << false;
        QByteArray offByOne = good;
        offByOne[9] = char(quint8(offByOne[9]) + 1);
        QTest::newRow("checksum off by one") << offByOne << 64 << false;
        QTest::newRow("odd report size") << good << 48 << false;
        QTest::newRow("unknown command") << replyFrame(0x02, ack) << 64 << false;

        // Checksum in the last byte of the report: still inside.
        QTest::newRow("payload fills a 32-byte report")
            << replyFrame(0x21, ack + QByteArray(22, '\0'), 32) << 32 << true;
        // A length byte that puts the checksum past the report read must not make the
        // check read bytes that did not arrive, even when they would match.
        QTest::newRow("length byte puts the checksum past a 32-byte report")
            << replyFrame(0x21, ack + QByteArray(23, '\0'), 32) << 32 << false;
        QTest::newRow("length byte puts the checksum past a 64-byte report")
            << replyFrame(0x21, ack + QByteArray(55, '\0'), 64).left(64) << 64 << false;
        QByteArray huge = good;
        huge[5] = char(0xFF);
        QTest::newRow("length byte 255") << huge << 64 << false;
    }

    void frameValidation()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, length);
        QFETCH(bool, handled);
        // An exact-size heap buffer, so that a read past it is caught by the address sanitizer.
        std::vector<unsigned char> buffer(frame.begin(), frame.end());
        buffer.resize(64);
        const int code = usbHidDispatchReply(buffer.data(), length);
        QCOMPARE(code, handled ? int(ReplySetPEQ) : int(NoReplySignal));
        QCOMPARE(peqAckLastBand.load(), handled ? 9 : 0);
    }

    // --- The receive thread ---------------------------------------------------------

    void receiveThreadSignalsReplies()
    {
        command("identity 01020aff");
        command("surround 0");
        openAndReceive();
        usbHidSend_ReadAudio(0);
        QTRY_COMPARE(m_replies.codes, QList<int>({20}));
        QCOMPARE(surroundSupported.load(), 0);
        // Replies the window does not hear about come and go silently, in order.
        usbHidSend_SetVol(1, 0, 0, 0, 0);
        usbHidSend_SetAlgorithmSwitch(1, 0, 0, 1);
        QCOMPARE(usbHidSend_SetPEQ(1, 5, 9, 0, std::vector<int>(10, 0)), 0);
        usbHidSend_ReadStatus(0);
        QTRY_COMPARE(m_replies.codes, QList<int>({20, 21, 32}));
        QCOMPARE(bytesOf(deviceIdBytes.load()), hex("01020aff"));
        QCOMPARE(peqAckFirstBand.load(), 5);
        QCOMPARE(peqAckLastBand.load(), 9);
    }

    void spectrumPace()
    {
        openAndReceive();
        spectrumEnabled = 1;
        // Without a spectrum frame in this run there is nothing to animate.
        quietWindow(300);
        QCOMPARE(m_replies.count(SpectrumPace), 0);

        usbHidSend_SpectrumSwitch(1);
        QTRY_VERIFY(m_replies.count(ReplySpectrumFrame) >= 8);
        QVERIFY(m_replies.count(SpectrumPace) >= 1);
        usbHidSend_SpectrumSwitch(0);

        // Every frame on the wire was handled, and the last one is the one stored.
        QList<QByteArray> frames;
        for (const auto &report : m_emulator->wireSince())
            if (!report.out && quint8(report.bytes[4]) == 0x99)
                frames.append(report.bytes);
        QTRY_COMPARE(m_replies.count(ReplySpectrumFrame), frames.size());
        QCOMPARE(bytesOf(spectrumBands.load()), frames.last().mid(6, 57));

        // Time-outs count as passes too: the pace goes on after the stream has stopped.
        const int paces = m_replies.count(SpectrumPace);
        QTRY_VERIFY(m_replies.count(SpectrumPace) >= paces + 2);
        QCOMPARE(m_replies.count(ReplySpectrumFrame), frames.size());

        spectrumEnabled = 0;
        QCoreApplication::processEvents();
        const int stopped = m_replies.count(SpectrumPace);
        quietWindow(300);
        QVERIFY(m_replies.count(SpectrumPace) <= stopped + 1); // one may have been on its way
    }

    // The read-ahead ring: oldest first across its wrap, nothing kept when full or for a
    // length no report has.
    void reportBacklogKeepsOrderAndBounds()
    {
        auto backlog = std::make_unique<ReportBacklog>();
        unsigned char bytes[64] = {};
        unsigned char out[64] = {};
        for (int length : {0, -1, 65})
            QVERIFY(!backlog->put(bytes, length));
        QVERIFY(backlog->empty());
        QCOMPARE(backlog->take(out), 0);

        // Half a ring in and out, so that filling it afterwards runs across the wrap.
        int next = 0, expected = 0;
        auto put = [&] {
            bytes[0] = quint8(next);
            bytes[1] = quint8(next >> 8);
            return backlog->put(bytes, 1 + next++ % 64);
        };
        auto takeInOrder = [&] {
            const int length = backlog->take(out);
            const bool ok = length == 1 + expected % 64 && out[0] == quint8(expected) &&
                            (length < 2 || out[1] == quint8(expected >> 8));
            ++expected;
            return ok;
        };
        for (int i = 0; i < ReportBacklog::kCapacity / 2; ++i)
            QVERIFY(put());
        for (int i = 0; i < ReportBacklog::kCapacity / 2; ++i)
            QVERIFY(takeInOrder());
        for (int i = 0; i < ReportBacklog::kCapacity; ++i)
            QVERIFY(put());
        QVERIFY(backlog->full());
        QVERIFY(!put());
        --next; // the refused one was not kept
        while (!backlog->empty())
            QVERIFY2(takeInOrder(), qPrintable(QString::number(expected - 1)));
        QCOMPARE(expected, next);
    }

    // hidraw (and the emulator) keeps 64 unread reports per reader and drops newer ones.
    // Replies that arrive while the thread is busy with one are taken ahead of handling
    // them, so rounds of 60 arriving during each handling lose nothing.
    void repliesArrivingWhileOneIsHandledAreKept()
    {
        static QSemaphore handling, release;
        static std::atomic<bool> holding{true};
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (holding && text.startsWith("Kelm Log:Audio 7.1 usbHidRecvStart")) {
                handling.release();
                release.acquire();
            }
            previous(type, context, text);
        });
        auto restore = qScopeGuard([] {
            holding = false;
            release.release(1000);
            qInstallMessageHandler(previous);
        });

        const QString reply = "inject " + replyFrame(0x20, hex("00030001")).toHex();
        constexpr int kRounds = 5, kPerRound = 60;
        openAndReceive();
        command(reply);
        QVERIFY(handling.tryAcquire(1, 10000));
        for (int round = 0; round < kRounds; ++round) {
            for (int i = 0; i < kPerRound; ++i)
                command(reply);
            release.release();
            QVERIFY2(handling.tryAcquire(1, 10000), qPrintable(QString("round %1").arg(round)));
        }
        holding = false;
        release.release(1000);
        const int sent = 1 + kRounds * kPerRound;
        QTRY_COMPARE(m_replies.count(ReplyReadAudio), sent);
        QCOMPARE(m_traces->count(QString("Kelm Log:Audio 7.1 usbHidRecvStart %1").arg(kSupportedProduct)), sent);
    }

    void vanishedHeadsetDoesNotSpin()
    {
        openAndReceive();
        spectrumEnabled = 1; // every pass now counts in spectrumTick
        usbHidSend_SpectrumSwitch(1);
        QTRY_VERIFY(m_recvThread->spectrumFrameSeen == 1);
        command("unplug");
        const int before = m_recvThread->spectrumTick;
        quietWindow(500);
        const int passes = m_recvThread->spectrumTick - before;
        // One pass per read time-out of 50 ms; a spinning loop would make thousands.
        QVERIFY2(passes <= 15, qPrintable(QString::number(passes)));
        QVERIFY(passes >= 2);
    }

    void closeSequence()
    {
        openAndReceive();
        spectrumEnabled = 1;
        usbHidSend_SpectrumSwitch(1);
        QTRY_VERIFY(m_recvThread->spectrumFrameSeen == 1);

        QElapsedTimer timer;
        timer.start();
        usbHidCloseDevice(m_recvThread.get());
        const qint64 took = timer.elapsed();
        // One read time-out is 50 ms; the margin is for a loaded machine, not for a missed wake-up.
        QVERIFY2(took < 50 + 450, qPrintable(QString::number(took)));
        QVERIFY(m_recvThread->isFinished());
        QCOMPARE(m_recvThread->spectrumFrameSeen.load(), 0);
        QCOMPARE(m_traces->count("Thread Break... ..."), 1);
        QCOMPARE(deviceOpen.load(), 0);
        QVERIFY(!hidDevice);
        QCOMPARE(vendorId.load(), 0);
        QCOMPARE(productId.load(), 0);

        const qint64 logMark = logSize();
        usbHidSend_ReadVersion();
        QCOMPARE(entries(logLinesSince(logMark)),
                 QStringList({"*Usb Write : start", "*Usb Write : fail222"}));
    }

    void receiveThreadEndsSilentlyWithoutHandle()
    {
        MyThread thread;
        thread.runFlag = 1;
        thread.start();
        QVERIFY(thread.wait(5000));
        QCOMPARE(m_traces->count("Thread Break... ..."), 0);
        QCOMPARE(m_traces->count("thread... ... ... ..."), 1);
    }

    // --- The timing thread ----------------------------------------------------------

    void timingTimelineWithPause()
    {
        MyThread_Two timing;
        timing.setTickPeriod(std::chrono::milliseconds(1)); // the whole timeline in about 1.4 s
        SignalLog indices;
        connect(&timing, &MyThread_Two::sendSetMicTimer, &indices, &SignalLog::record);
        std::mutex mutex;
        QList<int> ticksAtEmission;
        int tickAtPause = -1;
        // Pause at the third channel (tick 450), from the timing thread itself.
        connect(
            &timing, &MyThread_Two::sendSetMicTimer, &timing,
            [&](int index) {
                std::lock_guard<std::mutex> lock(mutex);
                ticksAtEmission.append(timing.tickCount);
                if (index == 3) {
                    timing.pauseFlag = 1;
                    tickAtPause = timing.tickCount;
                }
            },
            Qt::DirectConnection);
        timing.start();
        timing.startFlag = 1;

        QTRY_COMPARE(indices.codes, QList<int>({1, 2, 3}));
        quietWindow(100);
        {
            // Paused: the playing time, and so the tick, does not advance.
            std::lock_guard<std::mutex> lock(mutex);
            QVERIFY2(tickAtPause >= 450, qPrintable(QString::number(tickAtPause)));
            QCOMPARE(timing.tickCount.load(), tickAtPause);
        }
        QCOMPARE(indices.codes.size(), 3);
        timing.pauseFlag = 0;

        QTRY_COMPARE_WITH_TIMEOUT(indices.codes, QList<int>({1, 2, 3, 4, 5, 6, 7, 8}), 10000);
        {
            std::lock_guard<std::mutex> lock(mutex);
            QCOMPARE(ticksAtEmission, QList<int>({100, 260, 450, 620, 810, 980, 1160, 1390}));
        }
        QTRY_COMPARE(int(timing.startFlag), 0);
        QTRY_COMPARE(timing.tickCount.load(), 0);
        QCOMPARE(m_traces->count("-------------------- Start Timer --------------------"), 1);
        const QStringList channels = {"FrontLeft!", "Center!",   "FrontRight!",    "AuxiliaryRight!",
                                      "BackRight!", "BackLeft!", "AuxiliaryLeft!", "Close!"};
        for (const QString &channel : channels)
            QCOMPARE(m_traces->count(channel), 1);

        // The next run starts again from the beginning.
        indices.codes.clear();
        timing.startFlag = 1;
        QTRY_COMPARE_WITH_TIMEOUT(indices.codes, QList<int>({1, 2, 3}), 5000);
        timing.pauseFlag = 0;
        QTRY_COMPARE_WITH_TIMEOUT(indices.codes.size(), 8, 10000);
    }

    // The channels follow the playing time on the clock, not a count of wake-ups: with
    // every core kept busy by other threads each index still comes within 50 ms of its
    // moment, also after a pause (whose length does not count).
    void timingFollowsPlayingTimeUnderLoad_data()
    {
        QTest::addColumn<int>("pauseAtIndex"); // 0: no pause
        QTest::addColumn<int>("pauseMs");
        QTest::newRow("whole timeline while the CPU is loaded") << 0 << 0;
        QTest::newRow("resumed after a pause at the third channel while loaded") << 3 << 300;
    }
    void timingFollowsPlayingTimeUnderLoad()
    {
        QFETCH(int, pauseAtIndex);
        QFETCH(int, pauseMs);
        using Clock = std::chrono::steady_clock;
        // Shortened ticks; a late wake-up costs as much time as with the real 10 ms.
        constexpr auto kTick = std::chrono::milliseconds(2);
        const int kTicks[] = {0, 100, 260, 450, 620, 810, 980, 1160, 1390};

        std::atomic<bool> loading{true};
        std::vector<std::thread> load;
        for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
            load.emplace_back([&loading] {
                volatile unsigned long spin = 0;
                while (loading.load(std::memory_order_relaxed))
                    spin = spin + 1;
            });
        const auto stopLoad = qScopeGuard([&] {
            loading = false;
            for (std::thread &thread : load)
                thread.join();
        });

        MyThread_Two timing;
        timing.setTickPeriod(kTick);
        std::mutex mutex;
        QList<int> indices;
        QVector<Clock::time_point> at;
        Clock::time_point pausedAt;
        connect(
            &timing, &MyThread_Two::sendSetMicTimer, &timing,
            [&](int index) {
                const Clock::time_point now = Clock::now();
                std::lock_guard<std::mutex> lock(mutex);
                indices.append(index);
                at.append(now);
                if (index == pauseAtIndex) {
                    pausedAt = Clock::now();
                    timing.pauseFlag = 1;
                }
            },
            Qt::DirectConnection);
        timing.start();
        const auto count = [&] {
            std::lock_guard<std::mutex> lock(mutex);
            return indices.size();
        };

        const Clock::time_point startedAt = Clock::now();
        timing.startFlag = 1;
        Clock::duration paused{};
        if (pauseAtIndex != 0) {
            QTRY_COMPARE_WITH_TIMEOUT(count(), pauseAtIndex, 10000);
            QTest::qWait(pauseMs); // the length of the pause, not a synchronisation
            const Clock::time_point resumedAt = Clock::now();
            timing.pauseFlag = 0;
            std::lock_guard<std::mutex> lock(mutex);
            paused = resumedAt - pausedAt;
        }
        QTRY_COMPARE_WITH_TIMEOUT(count(), 8, 20000);

        std::lock_guard<std::mutex> lock(mutex);
        QCOMPARE(indices, QList<int>({1, 2, 3, 4, 5, 6, 7, 8}));
        QStringList off;
        for (int i = 0; i < 8; ++i) {
            const int index = i + 1;
            Clock::time_point due = startedAt + kTicks[index] * kTick;
            if (pauseAtIndex != 0 && index > pauseAtIndex)
                due += paused;
            const double ms = std::chrono::duration<double, std::milli>(at[i] - due).count();
            if (ms < -1 || ms > 50)
                off << QString("index %1 %2 ms from its time").arg(index).arg(ms, 0, 'f', 1);
        }
        QVERIFY2(off.isEmpty(), qPrintable(off.join("; ")));
    }

    void timingThreadStops()
    {
        // Idle (asleep on its condition), then running: both end promptly on stop.
        auto idle = std::make_unique<MyThread_Two>();
        idle->start();
        QTRY_COMPARE(m_traces->count("thread Two... ... ... ..."), 1);
        idle->stop();
        QVERIFY(idle->isFinished());

        auto running = std::make_unique<MyThread_Two>();
        running->start();
        running->startFlag = 1;
        QTRY_VERIFY(running->tickCount > 0);
        running.reset(); // the destructor stops it
        idle.reset();

        MyThread_Two neverStarted; // stopping one that never ran must not block
        neverStarted.stop();
    }
};

TTT_TEST_MAIN(DeviceTest)
#include "test_device.moc"
