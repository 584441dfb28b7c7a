#pragma once

// Where the window learns that a HID interface or a USB storage volume came or went.
// One source is chosen at start-up, in this order of preference: the HID library's own
// hot-plug callbacks, a udev monitor, enumerating once a second. Every source delivers
// its events on the thread that owns it (the GUI thread), never from a thread of its own.

#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>

struct HotplugDevice {
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString path; // as the HID library names the interface (a hidraw node on Linux)
};
Q_DECLARE_METATYPE(HotplugDevice)

class HotplugSource : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~HotplugSource() override;

    // Starts delivering events. False when this source cannot work on this machine.
    virtual bool start() = 0;
    // "hidapi", "udev" or "polling", for traces and tests.
    virtual QString kind() const = 0;

signals:
    void hidArrived(const HotplugDevice &device);
    void hidRemoved(const HotplugDevice &device);
    // `name` is the volume's device node; nothing but traces depend on it.
    void storageArrived(const QString &name);
    void storageRemoved(const QString &name);
};

struct hid_device_info;

// The hidapi entry points the sources use, as a loaded HID library exports them (the
// hot-plug pair has hidapi 0.16's signatures). A null pointer means "not exported".
struct HotplugHidFunctions {
    using CallbackHandle = int;
    using Callback = int (*)(CallbackHandle, hid_device_info *, int event, void *userData);
    using Register = int (*)(unsigned short vendorId, unsigned short productId, int events, int flags,
                             Callback callback, void *userData, CallbackHandle *handle);
    using Deregister = int (*)(CallbackHandle);
    using Enumerate = hid_device_info *(*)(unsigned short vendorId, unsigned short productId);
    using FreeEnumeration = void (*)(hid_device_info *);
    static constexpr int kEventArrived = 1 << 0; // HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED
    static constexpr int kEventLeft = 1 << 1;    // HID_API_HOTPLUG_EVENT_DEVICE_LEFT

    Register registerCallback = nullptr;     // hid_hotplug_register_callback
    Deregister deregisterCallback = nullptr; // hid_hotplug_deregister_callback
    Enumerate enumerate = nullptr;           // hid_enumerate
    FreeEnumeration freeEnumeration = nullptr;
};

// The best source that starts on this machine, already started, or null when none does.
// The TONETUNINGTOOL_HOTPLUG variable ("hidapi", "udev", "polling") narrows the choice to
// one kind, so that each path can be exercised on purpose.
std::unique_ptr<HotplugSource> createHotplugSource(const HotplugHidFunctions &hid);
