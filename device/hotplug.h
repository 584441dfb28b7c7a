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

struct HidLibrary;

// The best source that starts on this machine, already started, or null when none does.
// `hid` is the loaded HID library (null when none could be loaded): its hot-plug pair and
// its enumeration serve the first and the last kind of source.
// The TONETUNINGTOOL_HOTPLUG variable ("hidapi", "udev", "polling") narrows the choice to
// one kind, so that each path can be exercised on purpose.
std::unique_ptr<HotplugSource> createHotplugSource(const HidLibrary *hid);
