#include "common/testmain.h"
#include "device/hidlibrary.h"
#include "device/hotplug.h"
#include "device/hotplug_hidapi.h"
#include "device/hotplug_polling.h"
#include "device/hotplug_udev.h"

#include <QSignalSpy>
#include <QtTest>


#include <atomic>
#include <thread>

Q_DECLARE_METATYPE(udevhotplug::Change::What)
Q_DECLARE_METATYPE(udevhotplug::Event)

namespace {

// A HID library's hot-plug side that calls back from a thread of its own, as hidapi does.
struct FakeHotplugLibrary {
    static inline hid_hotplug_callback_fn callback = nullptr;
    static inline void *userData = nullptr;
    static inline std::atomic<int> registrations{0};
    static inline std::atomic<int> deregistrations{0};
    static inline int registerResult = 0;

    static int registerCallback(unsigned short, unsigned short, int events, int, hid_hotplug_callback_fn cb,
                                void *user, hid_hotplug_callback_handle *handle)
    {
        if (registerResult != 0)
            return registerResult;
        if (events != (HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED | HID_API_HOTPLUG_EVENT_DEVICE_LEFT))
            return -1;
        callback = cb;
        userData = user;
        *handle = 7;
        ++registrations;
        return 0;
    }
    static int deregisterCallback(hid_hotplug_callback_handle handle)
    {
        if (handle == 7)
            ++deregistrations;
        callback = nullptr;
        return 0;
    }
    static void fire(const char *path, unsigned short vid, unsigned short pid, hid_hotplug_event event)
    {
        std::thread t([=] {
            hid_device_info info{};
            info.path = const_cast<char *>(path);
            info.vendor_id = vid;
            info.product_id = pid;
            callback(7, &info, event, userData);
        });
        t.join();
    }
    static HidLibrary library()
    {
        HidLibrary f;
        f.hotplugRegister = &registerCallback;
        f.hotplugDeregister = &deregisterCallback;
        return f;
    }
};

// An enumeration the test edits between polls.
struct FakeEnumeration {
    struct Entry {
        QByteArray path;
        unsigned short vid, pid;
    };
    static inline std::vector<Entry> present;
    static inline int outstanding = 0; // lists handed out and not yet freed

    static hid_device_info *enumerate(unsigned short, unsigned short)
    {
        hid_device_info *head = nullptr;
        for (auto it = present.rbegin(); it != present.rend(); ++it) {
            auto *info = new hid_device_info{};
            info->path = qstrdup(it->path.constData());
            info->vendor_id = it->vid;
            info->product_id = it->pid;
            info->next = head;
            head = info;
        }
        ++outstanding;
        return head;
    }
    static void freeEnumeration(hid_device_info *list)
    {
        while (list) {
            hid_device_info *next = list->next;
            delete[] list->path;
            delete list;
            list = next;
        }
        --outstanding;
    }
    static HidLibrary library()
    {
        HidLibrary f;
        f.enumerate = &enumerate;
        f.freeEnumeration = &freeEnumeration;
        return f;
    }
};

udevhotplug::Event hidraw(const char *action, const char *node, const char *hidId = "")
{
    udevhotplug::Event e;
    e.action = action;
    e.subsystem = "hidraw";
    e.syspath = QByteArray("/sys/devices/usb1/1-2/1-2:1.3/0003:3508:4151.0007/hidraw/") + node;
    e.devnode = QByteArray("/dev/") + node;
    e.hidId = hidId;
    return e;
}

udevhotplug::Event block(const char *action, const char *bus, const char *fsUsage)
{
    udevhotplug::Event e;
    e.action = action;
    e.subsystem = "block";
    e.syspath = "/sys/devices/usb1/1-4/host6/block/sdb/sdb1";
    e.devnode = "/dev/sdb1";
    e.idBus = bus;
    e.idFsUsage = fsUsage;
    return e;
}

} // namespace

class TestHotplug : public QObject
{
    Q_OBJECT

private slots:
    void hidIdParsing_data()
    {
        QTest::addColumn<QByteArray>("hidId");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("vendorId");
        QTest::addColumn<int>("productId");
        QTest::newRow("usb headset") << QByteArray("0003:00003508:00004151") << true << 0x3508 << 0x4151;
        QTest::newRow("upper-case hex") << QByteArray("0003:0000ABCD:0000EF01") << true << 0xABCD << 0xEF01;
        QTest::newRow("bluetooth bus") << QByteArray("0005:0000046D:0000B01A") << true << 0x046D << 0xB01A;
        QTest::newRow("empty") << QByteArray() << false << 0 << 0;
        QTest::newRow("two fields") << QByteArray("0003:00003508") << false << 0 << 0;
        QTest::newRow("not hex") << QByteArray("0003:0000zz08:00004151") << false << 0 << 0;
        QTest::newRow("wider than 16 bits") << QByteArray("0003:00013508:00004151") << false << 0 << 0;
    }
    void hidIdParsing()
    {
        QFETCH(QByteArray, hidId);
        QFETCH(bool, ok);
        QFETCH(int, vendorId);
        QFETCH(int, productId);
        quint16 vid = 0, pid = 0;
        QCOMPARE(udevhotplug::parseHidId(hidId, &vid, &pid), ok);
        QCOMPARE(int(vid), vendorId);
        QCOMPARE(int(pid), productId);
    }

    // Each row feeds a sequence of udev events and checks what the last one becomes.
    void udevTranslation_data()
    {
        using C = udevhotplug::Change;
        QTest::addColumn<QVector<udevhotplug::Event>>("events");
        QTest::addColumn<C::What>("what");
        QTest::addColumn<int>("vendorId");
        QTest::addColumn<int>("productId");
        QTest::addColumn<QString>("name");
        const char *id = "0003:00003508:00004151";
        QTest::newRow("hidraw arrival")
            << QVector<udevhotplug::Event>{hidraw("add", "hidraw3", id)} << C::HidArrived << 0x3508 << 0x4151
            << "/dev/hidraw3";
        QTest::newRow("removal remembers ids whose parent is gone")
            << QVector<udevhotplug::Event>{hidraw("add", "hidraw3", id), hidraw("remove", "hidraw3")}
            << C::HidRemoved << 0x3508 << 0x4151 << "/dev/hidraw3";
        QTest::newRow("removal of a node never seen, parent still readable")
            << QVector<udevhotplug::Event>{hidraw("remove", "hidraw5", "0003:0000046D:0000C52B")} << C::HidRemoved
            << 0x046D << 0xC52B << "/dev/hidraw5";
        QTest::newRow("removal of a node never seen, no ids")
            << QVector<udevhotplug::Event>{hidraw("remove", "hidraw5")} << C::HidRemoved << 0 << 0
            << "/dev/hidraw5";
        QTest::newRow("second removal of the same node has no ids left")
            << QVector<udevhotplug::Event>{hidraw("add", "hidraw3", id), hidraw("remove", "hidraw3"),
                                           hidraw("remove", "hidraw3")}
            << C::HidRemoved << 0 << 0 << "/dev/hidraw3";
        QTest::newRow("hidraw change is nothing")
            << QVector<udevhotplug::Event>{hidraw("change", "hidraw3", id)} << C::Nothing << 0 << 0 << "";
        QTest::newRow("usb volume arrival")
            << QVector<udevhotplug::Event>{block("add", "usb", "filesystem")} << C::StorageArrived << 0 << 0
            << "/dev/sdb1";
        QTest::newRow("usb volume removal")
            << QVector<udevhotplug::Event>{block("remove", "usb", "filesystem")} << C::StorageRemoved << 0 << 0
            << "/dev/sdb1";
        QTest::newRow("usb disk holding a partition table")
            << QVector<udevhotplug::Event>{block("add", "usb", "")} << C::Nothing << 0 << 0 << "";
        QTest::newRow("internal disk") << QVector<udevhotplug::Event>{block("add", "ata", "filesystem")}
                                       << C::Nothing << 0 << 0 << "";
        QTest::newRow("media change of a usb volume")
            << QVector<udevhotplug::Event>{block("change", "usb", "filesystem")} << C::Nothing << 0 << 0 << "";
    }
    void udevTranslation()
    {
        QFETCH(QVector<udevhotplug::Event>, events);
        QFETCH(udevhotplug::Change::What, what);
        QFETCH(int, vendorId);
        QFETCH(int, productId);
        QFETCH(QString, name);
        std::map<QByteArray, HotplugDevice> known;
        udevhotplug::Change change;
        for (const udevhotplug::Event &e : events)
            change = udevhotplug::translate(e, known);
        QCOMPARE(change.what, what);
        QCOMPARE(int(change.device.vendorId), vendorId);
        QCOMPARE(int(change.device.productId), productId);
        const bool storage = what == udevhotplug::Change::StorageArrived || what == udevhotplug::Change::StorageRemoved;
        QCOMPARE(storage ? change.storageName : change.device.path, name);
    }

    // The library calls back on its own thread; the window must hear it on its own.
    void hidapiCallbacksReachTheOwningThread()
    {
        FakeHotplugLibrary::registerResult = 0;
        const int deregistered = FakeHotplugLibrary::deregistrations;
        {
            const HidLibrary library = FakeHotplugLibrary::library();
            HidapiHotplugSource source(&library);
            QVERIFY(source.start());
            QThread *heardOn = nullptr;
            HotplugDevice arrived, removed;
            connect(&source, &HotplugSource::hidArrived, this, [&](const HotplugDevice &d) {
                heardOn = QThread::currentThread();
                arrived = d;
            });
            connect(&source, &HotplugSource::hidRemoved, this, [&](const HotplugDevice &d) { removed = d; });
            QSignalSpy removals(&source, &HotplugSource::hidRemoved);
            FakeHotplugLibrary::fire("/dev/hidraw4", 0x3508, 0x4151, HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED);
            FakeHotplugLibrary::fire("/dev/hidraw4", 0x3508, 0x4151, HID_API_HOTPLUG_EVENT_DEVICE_LEFT);
            QVERIFY(removals.wait(2000));
            QCOMPARE(heardOn, QThread::currentThread());
            QCOMPARE(arrived.path, QString("/dev/hidraw4"));
            QCOMPARE(removed.vendorId, quint16(0x3508));
            QCOMPARE(removed.productId, quint16(0x4151));
        }
        QCOMPARE(int(FakeHotplugLibrary::deregistrations), deregistered + 1);
    }

    void hidapiRefusedRegistrationFails()
    {
        FakeHotplugLibrary::registerResult = -1;
        const HidLibrary library = FakeHotplugLibrary::library();
        HidapiHotplugSource source(&library);
        QVERIFY(!source.start());
        FakeHotplugLibrary::registerResult = 0;
        const HidLibrary without;
        QVERIFY(!HidapiHotplugSource(&without).start());
        QVERIFY(!HidapiHotplugSource(nullptr).start());
    }

    void pollingReportsTheDifference()
    {
        FakeEnumeration::present = {{"/dev/hidraw0", 0x046D, 0xC52B}, {"/dev/hidraw1", 0x3508, 0x4151}};
        const HidLibrary library = FakeEnumeration::library();
        PollingHotplugSource source(&library, 10);
        QVERIFY(source.start());
        QStringList heard;
        connect(&source, &HotplugSource::hidArrived, this,
                [&](const HotplugDevice &d) { heard << "+" + d.path + QString::number(d.productId, 16); });
        connect(&source, &HotplugSource::hidRemoved, this,
                [&](const HotplugDevice &d) { heard << "-" + d.path + QString::number(d.productId, 16); });

        // What was there at start is no event.
        FakeEnumeration::present.pop_back();
        QTRY_COMPARE(heard, QStringList{"-/dev/hidraw14151"});
        // A replug on another node within one interval: the removal is heard first.
        FakeEnumeration::present = {{"/dev/hidraw0", 0x046D, 0xC52B}, {"/dev/hidraw2", 0x3508, 0x4151}};
        QTRY_COMPARE(heard.size(), 2);
        FakeEnumeration::present = {{"/dev/hidraw3", 0x3508, 0x4151}};
        QTRY_COMPARE(heard.size(), 5);
        QCOMPARE(heard.mid(2), (QStringList{"-/dev/hidraw0c52b", "-/dev/hidraw24151", "+/dev/hidraw34151"}));
        QCOMPARE(FakeEnumeration::outstanding, 0);
    }

    void pollingNeedsEnumeration()
    {
        const HidLibrary without;
        QVERIFY(!PollingHotplugSource(&without).start());
        QVERIFY(!PollingHotplugSource(nullptr).start());
    }

    void sourceChoice_data()
    {
        QTest::addColumn<QByteArray>("only");
        QTest::addColumn<bool>("libraryHasHotplug");
        QTest::addColumn<QString>("kind");
        QTest::newRow("library callbacks first") << QByteArray() << true << "hidapi";
        QTest::newRow("udev without library callbacks") << QByteArray() << false << "udev";
        QTest::newRow("udev asked for") << QByteArray("udev") << true << "udev";
        QTest::newRow("polling asked for") << QByteArray("polling") << true << "polling";
        QTest::newRow("hidapi asked for, not exported") << QByteArray("hidapi") << false << "";
    }
    void sourceChoice()
    {
        QFETCH(QByteArray, only);
        QFETCH(bool, libraryHasHotplug);
        QFETCH(QString, kind);
        qputenv("TONETUNINGTOOL_HOTPLUG", only);
        HidLibrary library = FakeEnumeration::library();
        if (libraryHasHotplug) {
            library.hotplugRegister = &FakeHotplugLibrary::registerCallback;
            library.hotplugDeregister = &FakeHotplugLibrary::deregisterCallback;
        }
        const std::unique_ptr<HotplugSource> source = createHotplugSource(&library);
        qunsetenv("TONETUNINGTOOL_HOTPLUG");
        QCOMPARE(source ? source->kind() : QString(), kind);
    }
};

TTT_TEST_MAIN(TestHotplug)
#include "test_hotplug.moc"
