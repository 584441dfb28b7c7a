#pragma once

// Hot-plug events from a libudev monitor: hidraw nodes for HID interfaces, block devices
// for USB storage volumes. The monitor listens to udevd's own netlink group, whose events
// come after the access rules have been applied, so an arrived node can already be opened.
// Without udevd (containers, CI) the monitor starts but stays silent.

#include "device/hotplug.h"

#include <QByteArray>

#include <map>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace udevhotplug {

// What the translation needs of one udev event.
struct Event {
    QByteArray action;    // "add", "remove", "change", ...
    QByteArray subsystem; // "hidraw", "block"
    QByteArray syspath;
    QByteArray devnode;
    QByteArray hidId;     // HID_ID of the parent HID device, "0003:00003508:00004151"
    QByteArray idBus;     // ID_BUS of a block device
    QByteArray idFsUsage; // ID_FS_USAGE of a block device
};

struct Change {
    enum What { Nothing, HidArrived, HidRemoved, StorageArrived, StorageRemoved } what = Nothing;
    HotplugDevice device; // HID changes
    QString storageName;  // storage changes
};

// Reads the vendor and product id from a HID_ID value (bus:vendor:product, hexadecimal).
bool parseHidId(const QByteArray &hidId, quint16 *vendorId, quint16 *productId);

// Maps one event to what the window hears. `known` remembers the ids of every hidraw node
// seen arriving, because a removed node's parent is gone from sysfs by the time its
// removal is read and its ids could not be looked up any more.
Change translate(const Event &event, std::map<QByteArray, HotplugDevice> &known);

} // namespace udevhotplug

// Starts a udev monitor of storage volumes as a child of `owner` that delivers its events
// as `owner`'s own. Without udev nothing happens: volumes only ever produce traces.
void watchStorageFor(HotplugSource *owner);

class UdevHotplugSource : public HotplugSource
{
    Q_OBJECT

public:
    // With `watchHid` false only storage volumes are watched (beside another HID source).
    explicit UdevHotplugSource(bool watchHid, QObject *parent = nullptr);
    ~UdevHotplugSource() override;

    bool start() override;
    QString kind() const override { return QStringLiteral("udev"); }

private:
    void readEvents();
    void rememberPresentHidNodes();

    bool m_watchHid;
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    std::map<QByteArray, HotplugDevice> m_known;
};
