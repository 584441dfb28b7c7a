// The headset emulator as the program and the tests rely on it: its configuration, its
// answers to the command set, the wire log, the control commands and hot-plug.

#include "common/headsetemulator.h"
#include "common/testmain.h"

#include "device/hidlibrary.h"
#include "device/reportformat.h"

#include <QRegularExpression>
#include <QTemporaryFile>

#include <mutex>

#include <unistd.h>

namespace
{

struct Interface {
    QString path;
    int vendorId, productId, usagePage, interfaceNumber;
    QString serial;
};

QList<Interface> enumerate(unsigned short vendor = 0, unsigned short product = 0)
{
    const HidLibrary *hid = hidLibrary();
    QList<Interface> found;
    hid_device_info *list = hid->enumerate(vendor, product);
    for (hid_device_info *info = list; info; info = info->next)
        found.append({QString::fromLatin1(info->path), info->vendor_id, info->product_id, info->usage_page,
                      info->interface_number, QString::fromWCharArray(info->serial_number)});
    hid->freeEnumeration(list);
    return found;
}

QByteArray request(int reportId, int command, const QByteArray &payload)
{
    QByteArray frame(reportId == 0x4E ? 32 : 64, '\0');
    const QByteArray head = QByteArray::fromHex("00308018") + char(command) + char(payload.size()) + payload;
    frame.replace(0, head.size(), head);
    frame[0] = char(reportId);
    unsigned sum = 0;
    for (int i = 0; i < 6 + payload.size(); ++i)
        sum += quint8(frame[i]);
    frame[6 + payload.size()] = char(sum);
    return frame;
}

// Everything written to standard error while it exists.
class StderrCapture
{
  public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = dup(2);
        dup2(m_file.handle(), 2);
    }
    QString take()
    {
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_file.seek(0);
        return QString::fromUtf8(m_file.readAll());
    }

  private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

struct HotplugEvent {
    int event;
    QString path;
    int productId;
};

struct HotplugLog {
    std::mutex mutex;
    QList<HotplugEvent> events;
    int keepAfter = -1; // after this many events the callback asks to be deregistered

    QList<HotplugEvent> take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
};

int recordHotplug(hid_hotplug_callback_handle, hid_device_info *device, hid_hotplug_event event, void *data)
{
    auto *log = static_cast<HotplugLog *>(data);
    std::lock_guard<std::mutex> lock(log->mutex);
    log->events.append({int(event), QString::fromLatin1(device->path), device->product_id});
    return log->keepAfter >= 0 && log->events.size() >= log->keepAfter ? 1 : 0;
}

} // namespace

class EmulatorTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HeadsetEmulator> m_emulator;

    hid_device *open(const char *path = "emulator/headset")
    {
        hid_device *device = hidLibrary()->openPath(path);
        return device;
    }

    // The next report read from `device` within `ms`, or an empty array.
    QByteArray readReport(hid_device *device, int ms = 2000)
    {
        unsigned char buffer[64] = {};
        const int count = hidLibrary()->readTimeout(device, buffer, sizeof buffer, ms);
        return count > 0 ? QByteArray(reinterpret_cast<char *>(buffer), count) : QByteArray();
    }

    int write(hid_device *device, const QByteArray &report)
    {
        return hidLibrary()->write(device, reinterpret_cast<const unsigned char *>(report.constData()),
                                   size_t(report.size()));
    }

  private slots:
    void initTestCase() { m_emulator = std::make_unique<HeadsetEmulator>(); }
    void init() { m_emulator->reload(); }
    void cleanupTestCase() { m_emulator.reset(); }

    void enumeration_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QStringList>("interfaces"); // path, ids, usage page, interface, serial
        QTest::newRow("built-in: the headset and its consumer interface")
            << QByteArray()
            << QStringList{"emulator/headset 3508:4151 ff00 3 001ab2ff",
                           "emulator/headset-consumer 3508:4151 000c 0 001ab2ff"};
        QTest::newRow("from a file, one unplugged, one all defaults")
            << QByteArray(R"({"devices": [
                {"id": "left", "vendorId": "1234", "productId": "abcd", "interface": 1, "usagePage": "ff42",
                 "identity": "0a0b0c0d", "surround": 0},
                {"id": "away", "plugged": false},
                {}]})")
            << QStringList{"emulator/left 1234:abcd ff42 1 0a0b0c0d",
                           "emulator/headset 3508:4151 ff00 3 001ab2ff"};
    }

    void enumeration()
    {
        QFETCH(QByteArray, config);
        QFETCH(QStringList, interfaces);
        m_emulator->reload(config);
        QStringList found;
        for (const Interface &i : enumerate())
            found.append(QString::asprintf("%s %04x:%04x %04x %d %s", qPrintable(i.path), i.vendorId,
                                           i.productId, i.usagePage, i.interfaceNumber,
                                           qPrintable(i.serial)));
        QCOMPARE(found, interfaces);
        QCOMPARE(enumerate(0x3508, 0x4152).size(), 0);
        QCOMPARE(enumerate(0x3508, 0x4151).size(), interfaces.filter("3508:4151").size());
        QCOMPARE(m_emulator->command("plug"), QString("ok"));
        QCOMPARE(enumerate().size(), config.contains("away") ? 3 : 2);
    }

    void malformedConfigIsRefused_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QByteArray("{\"devices\": [") << "line 1";
        QTest::newRow("top level is an array") << QByteArray("[]") << "expected an object";
        QTest::newRow("devices is an object")
            << QByteArray(R"({"devices": {}})") << "devices: expected an array";
        QTest::newRow("vendor id as a number") << QByteArray(R"({"devices": [{"vendorId": 13576}]})")
                                               << "devices[0].vendorId: expected a string";
        QTest::newRow("vendor id not hexadecimal")
            << QByteArray(R"({"devices": [{"vendorId": "35g8"}]})") << "devices[0].vendorId";
        QTest::newRow("usage page too long")
            << QByteArray(R"({"devices": [{"usagePage": "fff00"}]})") << "devices[0].usagePage";
        QTest::newRow("identity of 6 digits")
            << QByteArray(R"({"devices": [{"identity": "001ab2"}]})") << "devices[0].identity";
        QTest::newRow("surround 2") << QByteArray(R"({"devices": [{"surround": 2}]})")
                                    << "devices[0].surround";
        QTest::newRow("plugged as text")
            << QByteArray(R"({"devices": [{"plugged": "yes"}]})") << "devices[0].plugged: expected a boolean";
        QTest::newRow("misspelt key")
            << QByteArray(R"({"devices": [{"pluged": false}]})") << "devices[0].pluged: unknown key";
        QTest::newRow("same id twice")
            << QByteArray(R"({"devices": [{}, {"usagePage": "ff01"}]})") << "used twice";
    }

    void malformedConfigIsRefused()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, reason);
        StderrCapture errors;
        m_emulator->reload(config);
        const QList<Interface> found = enumerate();
        const QString message = errors.take();
        QVERIFY2(message.contains("config file") && message.contains(reason), qPrintable(message));
        QVERIFY(found.isEmpty());
    }

    void answersTheCommandSet_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("reply"); // the reply up to its checksum; empty: no reply
        QTest::addColumn<int>("replySize");

        QTest::newRow("ReadVersion") << request(0x4E, 0x01, {})
                                     << QByteArray::fromHex("23301880011501") + "HSEMU-1.0.0" << 32;
        QTest::newRow("ReadAudio") << request(0x4F, 0x20, QByteArray(1, '\0'))
                                   << QByteArray::fromHex("24301880200400030001") << 64;
        QTest::newRow("SetPEQ acknowledges its bands") << request(0x4F, 0x21, QByteArray::fromHex("01050900"))
                                                       << QByteArray::fromHex("243018802103000509") << 64;
        QTest::newRow("SetVol") << request(0x4E, 0x30, QByteArray::fromHex("010000000000"))
                                << QByteArray::fromHex("23301880300100") << 32;
        QTest::newRow("SetAlgorithmSwitch") << request(0x4F, 0x31, QByteArray::fromHex("010000000100"))
                                            << QByteArray::fromHex("24301880310100") << 64;
        QTest::newRow("ReadStatus") << request(0x4F, 0x32, QByteArray(1, '\0'))
                                    << QByteArray::fromHex("24301880320700000000 1ab2ff") << 64;
        QByteArray badChecksum = request(0x4F, 0x20, QByteArray(1, '\0'));
        badChecksum[7] = char(badChecksum[7] + 1);
        QTest::newRow("wrong checksum") << badChecksum << QByteArray() << 0;
        QByteArray badHeader = request(0x4F, 0x20, QByteArray(1, '\0'));
        badHeader[2] = 0x18;
        badHeader[3] = char(0x80);
        QTest::newRow("reply header in a request") << badHeader << QByteArray() << 0;
        QByteArray badLength = request(0x4E, 0x01, {});
        badLength[5] = 40; // checksum would be past the report
        QTest::newRow("length past the report") << badLength << QByteArray() << 0;
        QTest::newRow("priming report without checksum")
            << QByteArray::fromHex("4e3080180100").leftJustified(32, '\0') << QByteArray() << 0;
        QTest::newRow("long id in a short report")
            << request(0x4F, 0x20, QByteArray(1, '\0')).left(32) << QByteArray() << 0;
        QTest::newRow("unknown command") << request(0x4F, 0x02, QByteArray(1, '\0')) << QByteArray() << 0;
    }

    void answersTheCommandSet()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, reply);
        QFETCH(int, replySize);
        hid_device *device = open();
        QVERIFY(device);
        QCOMPARE(write(device, sent), sent.size());
        const QByteArray got = readReport(device, reply.isEmpty() ? 100 : 2000);
        hidLibrary()->close(device);
        if (reply.isEmpty()) {
            QVERIFY2(got.isEmpty(), got.toHex(' ').constData());
            return;
        }
        QCOMPARE(got.size(), replySize);
        QCOMPARE(got.left(reply.size()).toHex(' '), reply.toHex(' '));
        const int checksumAt = 6 + quint8(got[5]);
        unsigned sum = 0;
        for (int i = 0; i < checksumAt; ++i)
            sum += quint8(got[i]);
        QCOMPARE(quint8(got[checksumAt]), quint8(sum));
    }

    void wireLogLines()
    {
        hid_device *device = open();
        const QByteArray sent = request(0x4F, 0x32, QByteArray(1, '\0'));
        write(device, sent);
        const QByteArray got = readReport(device);
        hidLibrary()->close(device);

        QFile file(m_emulator->wireLogPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.takeLast(), QByteArray()); // every line ends with a line feed
        QCOMPARE(lines.size(), 2);                // the file starts afresh with the emulator
        const QRegularExpression format("^(\\d+\\.\\d{3}) (OUT|IN)((?: [0-9a-f]{2})+)$");
        const auto out = format.match(QString::fromLatin1(lines[0]));
        const auto in = format.match(QString::fromLatin1(lines[1]));
        QVERIFY2(out.hasMatch(), lines[0].constData());
        QVERIFY2(in.hasMatch(), lines[1].constData());
        QCOMPARE(out.captured(2), QString("OUT"));
        QCOMPARE(QByteArray::fromHex(out.captured(3).toLatin1()), sent);
        QCOMPARE(in.captured(2), QString("IN"));
        QCOMPARE(QByteArray::fromHex(in.captured(3).toLatin1()), got);
        // About a millisecond between a request and its reply.
        QVERIFY(in.captured(1).toDouble() - out.captured(1).toDouble() >= 0.9);
    }

    void controlCommands_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("answer");
        QTest::newRow("unplug one") << "unplug headset-consumer"
                                    << "ok";
        QTest::newRow("unplug all") << "unplug"
                                    << "ok";
        QTest::newRow("plug unknown") << "plug nobody"
                                      << "error: no device \"nobody\" (usage: plug [id])";
        QTest::newRow("spectrum rate") << "spectrum rate 1000"
                                       << "ok";
        QTest::newRow("spectrum rate 0") << "spectrum rate 0"
                                         << "error: usage: spectrum on|off|rate <1..1000>";
        QTest::newRow("spectrum maybe") << "spectrum maybe"
                                        << "error: usage: spectrum on|off|rate <1..1000>";
        QTest::newRow("garbage") << "garbage 1000"
                                 << "ok";
        QTest::newRow("garbage off") << "garbage off"
                                     << "ok";
        QTest::newRow("garbage beyond the limit") << "garbage 10001"
                                                  << "error: usage: garbage <1..10000>|off";
        QTest::newRow("garbage without rate") << "garbage"
                                              << "error: usage: garbage <1..10000>|off";
        QTest::newRow("replies") << "replies off"
                                 << "ok";
        QTest::newRow("fail-writes") << "fail-writes on"
                                     << "ok";
        QTest::newRow("fail-writes without value") << "fail-writes"
                                                   << "error: usage: fail-writes on|off";
        QTest::newRow("reply-status") << "reply-status 0x21 1"
                                      << "ok";
        QTest::newRow("reply-status of the spectrum") << "reply-status 99 1"
                                                      << "error: replies to command 99 carry no status byte";
        QTest::newRow("reply-status of an unknown command") << "reply-status 02 1"
                                                            << "error: unknown command 02";
        QTest::newRow("identity") << "identity 0A0B0c0d"
                                  << "ok";
        QTest::newRow("identity of one device") << "identity 0a0b0c0d headset"
                                                << "ok";
        QTest::newRow("short identity") << "identity 0a0b0c"
                                        << "error: usage: identity <8 hex digits> [id]";
        QTest::newRow("surround") << "surround 0"
                                  << "ok";
        QTest::newRow("surround 3") << "surround 3"
                                    << "error: usage: surround 0|1 [id]";
        QTest::newRow("unknown verb") << "explode"
                                      << "error: unknown command \"explode\" (plug, unplug, "
                                         "spectrum, garbage, replies, reply-status, fail-writes, identity, "
                                         "surround, inject)";
        QTest::newRow("inject an odd number of digits") << "inject 243"
                                                        << "error: usage: inject <hex bytes, 1 to 1024> [id]";
        QTest::newRow("inject what is not hexadecimal") << "inject 24zz"
                                                        << "error: usage: inject <hex bytes, 1 to 1024> [id]";
        QTest::newRow("inject to an unknown device") << "inject 24 nobody"
                                                     << "error: no device \"nobody\"";
    }

    // `inject` hands the host exactly the bytes given, whatever they are, even from a
    // headset told to stay silent: frames the command table never produces.
    void injectReachesTheHostAsIs_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::newRow("shorter than any reply") << QByteArray::fromHex("2430188020040003000114");
        QTest::newRow("a report id the headset never sends")
            << QByteArray::fromHex("2530188020040003000115") + QByteArray(53, '\0');
        QTest::newRow("a single byte") << QByteArray::fromHex("24");
        QTest::newRow("a whole ReadAudio reply")
            << QByteArray::fromHex("2430188020040003000114") + QByteArray(53, '\0');
    }

    void injectReachesTheHostAsIs()
    {
        QFETCH(QByteArray, report);
        hid_device *device = open();
        QCOMPARE(m_emulator->command("replies off"), QString("ok"));
        QCOMPARE(m_emulator->command("inject " + QString(report.toHex()) + " headset"), QString("ok"));
        QCOMPARE(readReport(device), report);
        QVERIFY(readReport(device, 50).isEmpty());
        const QList<HeadsetEmulator::WireReport> wire = m_emulator->wireSince();
        QVERIFY(!wire.isEmpty());
        QVERIFY(!wire.last().out);
        QCOMPARE(wire.last().bytes, report);
        hidLibrary()->close(device);
    }

    void controlCommands()
    {
        QFETCH(QString, line);
        QFETCH(QString, answer);
        QCOMPARE(m_emulator->command(line), answer);
    }

    void controlCommandsChangeReplies()
    {
        hid_device *device = open();
        QCOMPARE(m_emulator->command("identity 01020aff"), QString("ok"));
        QCOMPARE(m_emulator->command("surround 0"), QString("ok"));
        QCOMPARE(m_emulator->command("reply-status 32 1"), QString("ok"));
        write(device, request(0x4F, 0x32, QByteArray(1, '\0')));
        QCOMPARE(readReport(device).mid(6, 7).toHex(), QByteArray("01000001020aff"));
        write(device, request(0x4F, 0x20, QByteArray(1, '\0')));
        QCOMPARE(readReport(device).mid(6, 4).toHex(), QByteArray("00030000"));

        QCOMPARE(m_emulator->command("replies off"), QString("ok"));
        write(device, request(0x4F, 0x20, QByteArray(1, '\0')));
        QVERIFY(readReport(device, 100).isEmpty());

        QCOMPARE(m_emulator->command("fail-writes on"), QString("ok"));
        QCOMPARE(write(device, request(0x4F, 0x20, QByteArray(1, '\0'))), -1);
        hidLibrary()->close(device);
    }

    void spectrumStream()
    {
        hid_device *device = open();
        QCOMPARE(m_emulator->command("spectrum rate 200"), QString("ok"));
        write(device, request(0x4F, 0x99, QByteArray(1, '\1')));
        QList<QByteArray> frames;
        while (frames.size() < 20) {
            const QByteArray frame = readReport(device);
            QVERIFY(!frame.isEmpty());
            frames.append(frame);
        }
        write(device, request(0x4F, 0x99, QByteArray(1, '\0')));
        while (!readReport(device, 100).isEmpty()) {
        } // what was on its way
        QVERIFY(readReport(device, 100).isEmpty());
        hidLibrary()->close(device);

        QSet<QByteArray> distinct;
        for (const QByteArray &frame : frames) {
            QCOMPARE(frame.size(), 64);
            QCOMPARE(frame.left(6).toHex(), QByteArray("243018809939"));
            for (int band = 0; band < 57; ++band)
                QVERIFY(quint8(frame[6 + band]) <= 100);
            distinct.insert(frame.mid(6, 57));
        }
        QVERIFY(distinct.size() >= 15); // levels move
    }

    // Every kind of garbage shows up, none of it passes as a reply, and a real reply
    // still gets through the flood.
    void garbageFlood()
    {
        hid_device *device = open();
        QCOMPARE(m_emulator->command("garbage 2000"), QString("ok"));
        QSet<int> sizes;
        int goodHeads = 0;
        for (int i = 0; i < 400; ++i) {
            unsigned char buffer[64] = {};
            const int count = hidLibrary()->readTimeout(device, buffer, sizeof buffer, 2000);
            QVERIFY(count > 0);
            sizes.insert(count);
            QVERIFY2(!validateReply(buffer, count), qPrintable(QByteArray((char *)buffer, count).toHex(' ')));
            goodHeads += count >= 6 && buffer[1] == 0x30 && buffer[2] == 0x18 && buffer[3] == 0x80 ? 1 : 0;
        }
        QVERIFY(sizes.contains(32) && sizes.contains(64) && sizes.size() > 10);
        QVERIFY(goodHeads > 40); // near misses, not only noise

        write(device, request(0x4F, 0x32, QByteArray(1, '\0')));
        QByteArray reply;
        for (int i = 0; i < 1000 && reply.isEmpty(); ++i) {
            const QByteArray report = readReport(device);
            QVERIFY(!report.isEmpty());
            if (validateReply(reinterpret_cast<const unsigned char *>(report.constData()), report.size()))
                reply = report;
        }
        QCOMPARE(reply.left(5).toHex(), QByteArray("2430188032"));
        QCOMPARE(m_emulator->command("garbage off"), QString("ok"));
        while (!readReport(device, 100).isEmpty()) {
        } // what was on its way
        QVERIFY(readReport(device, 100).isEmpty());
        hidLibrary()->close(device);
    }

    void unplugAndPlug()
    {
        const HidLibrary *hid = hidLibrary();
        QVERIFY(hid->hotplugRegister && hid->hotplugDeregister);
        HotplugLog log;
        hid_hotplug_callback_handle handle = 0;
        QCOMPARE(hid->hotplugRegister(
                     0x3508, 0x4151, HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED | HID_API_HOTPLUG_EVENT_DEVICE_LEFT,
                     0, recordHotplug, &log, &handle),
                 0);
        QVERIFY(handle > 0);

        hid_device *device = open();
        unsigned char buffer[64];
        QCOMPARE(m_emulator->command("unplug headset"), QString("ok"));
        // As a vanished hidraw device: at once, not after the time-out.
        QCOMPARE(hid->readTimeout(device, buffer, sizeof buffer, 10000), -1);
        QCOMPARE(write(device, request(0x4F, 0x20, QByteArray(1, '\0'))), -1);
        QCOMPARE(enumerate().size(), 1);
        QVERIFY(!open());

        QCOMPARE(m_emulator->command("plug"), QString("ok"));
        QCOMPARE(enumerate().size(), 2);
        QCOMPARE(hid->readTimeout(device, buffer, sizeof buffer, 0), -1); // the old handle stays dead
        hid->close(device);
        device = open();
        QVERIFY(device);
        QCOMPARE(write(device, request(0x4F, 0x20, QByteArray(1, '\0'))), 64);
        hid->close(device);

        // Callbacks ran before the answer came; the consumer interface has other ids.
        const QList<HotplugEvent> events = log.take();
        QCOMPARE(events.size(), 2);
        QCOMPARE(events[0].event, int(HID_API_HOTPLUG_EVENT_DEVICE_LEFT));
        QCOMPARE(events[0].path, QString("emulator/headset"));
        QCOMPARE(events[1].event, int(HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED));
        QCOMPARE(events[1].productId, 0x4151);

        QCOMPARE(hid->hotplugDeregister(handle), 0);
        QCOMPARE(hid->hotplugDeregister(handle), -1);
        QCOMPARE(m_emulator->command("unplug"), QString("ok"));
        QCOMPARE(log.take().size(), 2);
    }

    void hotplugRegistration()
    {
        const HidLibrary *hid = hidLibrary();
        // ENUMERATE reports what is present at once; 0 ids match every device.
        HotplugLog all;
        hid_hotplug_callback_handle handle = 0;
        QCOMPARE(hid->hotplugRegister(0, 0, HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED, HID_API_HOTPLUG_ENUMERATE,
                                      recordHotplug, &all, &handle),
                 0);
        QCOMPARE(all.take().size(), 2);

        // A callback that returns non-zero is deregistered.
        HotplugLog once;
        once.keepAfter = 1;
        hid_hotplug_callback_handle onceHandle = 0;
        QCOMPARE(hid->hotplugRegister(0, 0, HID_API_HOTPLUG_EVENT_DEVICE_LEFT, 0, recordHotplug, &once,
                                      &onceHandle),
                 0);
        QCOMPARE(m_emulator->command("unplug"), QString("ok"));
        QCOMPARE(once.take().size(), 1);
        QCOMPARE(hid->hotplugDeregister(onceHandle), -1);
        QCOMPARE(all.take().size(), 2); // it listens to arrivals only
        QCOMPARE(m_emulator->command("plug"), QString("ok"));
        QCOMPARE(all.take().size(), 4);
        QCOMPARE(hid->hotplugDeregister(handle), 0);

        // Invalid registrations.
        QCOMPARE(hid->hotplugRegister(0, 0, 0, 0, recordHotplug, &all, nullptr), -1);
        QCOMPARE(hid->hotplugRegister(0, 0, HID_API_HOTPLUG_EVENT_DEVICE_LEFT, 0, nullptr, &all, nullptr),
                 -1);
        QCOMPARE(hid->hotplugRegister(0, 0, 8, 0, recordHotplug, &all, nullptr), -1);
    }
};

TTT_TEST_MAIN(EmulatorTest)
#include "test_emulator.moc"
