#include "device/hotplug_udev.h"

#include <QSocketNotifier>

#include <libudev.h>

namespace udevhotplug {

bool parseHidId(const QByteArray &hidId, quint16 *vendorId, quint16 *productId)
{
    const QList<QByteArray> parts = hidId.split(':');
    if (parts.size() != 3)
        return false;
    bool okVendor = false, okProduct = false;
    const uint vendor = parts[1].toUInt(&okVendor, 16);
    const uint product = parts[2].toUInt(&okProduct, 16);
    if (!okVendor || !okProduct || vendor > 0xFFFF || product > 0xFFFF)
        return false;
    *vendorId = quint16(vendor);
    *productId = quint16(product);
    return true;
}

Change translate(const Event &event, std::map<QByteArray, HotplugDevice> &known)
{
    Change change;
    if (event.subsystem == "hidraw") {
        if (event.action == "add") {
            HotplugDevice device;
            device.path = QString::fromLocal8Bit(event.devnode);
            parseHidId(event.hidId, &device.vendorId, &device.productId);
            known[event.syspath] = device;
            change.what = Change::HidArrived;
            change.device = device;
        } else if (event.action == "remove") {
            const auto it = known.find(event.syspath);
            if (it != known.end()) {
                change.device = it->second;
                known.erase(it);
            } else {
                change.device.path = QString::fromLocal8Bit(event.devnode);
                parseHidId(event.hidId, &change.device.vendorId, &change.device.productId);
            }
            change.what = Change::HidRemoved;
        }
    } else if (event.subsystem == "block") {
        // A volume is what a file manager would mount: a USB block device holding a file
        // system (a partition, or a whole stick formatted without a partition table).
        if (event.idBus != "usb" || event.idFsUsage != "filesystem")
            return change;
        if (event.action == "add")
            change.what = Change::StorageArrived;
        else if (event.action == "remove")
            change.what = Change::StorageRemoved;
        change.storageName = QString::fromLocal8Bit(event.devnode);
    }
    return change;
}

} // namespace udevhotplug

namespace {

QByteArray text(const char *value) { return value ? QByteArray(value) : QByteArray(); }

udevhotplug::Event eventOf(udev_device *device)
{
    udevhotplug::Event e;
    e.action = text(udev_device_get_action(device));
    e.subsystem = text(udev_device_get_subsystem(device));
    e.syspath = text(udev_device_get_syspath(device));
    e.devnode = text(udev_device_get_devnode(device));
    e.idBus = text(udev_device_get_property_value(device, "ID_BUS"));
    e.idFsUsage = text(udev_device_get_property_value(device, "ID_FS_USAGE"));
    // The parent belongs to `device` and is released with it.
    if (udev_device *hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr))
        e.hidId = text(udev_device_get_property_value(hid, "HID_ID"));
    return e;
}

} // namespace

UdevHotplugSource::UdevHotplugSource(bool watchHid, QObject *parent) : HotplugSource(parent), m_watchHid(watchHid)
{
}

UdevHotplugSource::~UdevHotplugSource()
{
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

bool UdevHotplugSource::start()
{
    m_udev = udev_new();
    if (!m_udev)
        return false;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor)
        return false;
    if (m_watchHid && udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0)
        return false;
    if (udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "block", nullptr) < 0)
        return false;
    if (udev_monitor_enable_receiving(m_monitor) < 0)
        return false;
    const int fd = udev_monitor_get_fd(m_monitor);
    if (fd < 0)
        return false;
    if (m_watchHid)
        rememberPresentHidNodes();
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &UdevHotplugSource::readEvents);
    return true;
}

void UdevHotplugSource::rememberPresentHidNodes()
{
    udev_enumerate *list = udev_enumerate_new(m_udev);
    if (!list)
        return;
    udev_enumerate_add_match_subsystem(list, "hidraw");
    udev_enumerate_scan_devices(list);
    for (udev_list_entry *entry = udev_enumerate_get_list_entry(list); entry;
         entry = udev_list_entry_get_next(entry)) {
        udev_device *device = udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry));
        if (!device)
            continue;
        udevhotplug::Event e = eventOf(device);
        e.action = "add";
        udevhotplug::translate(e, m_known);
        udev_device_unref(device);
    }
    udev_enumerate_unref(list);
}

void UdevHotplugSource::readEvents()
{
    // The socket is non-blocking: drain what is queued, then go back to sleep.
    while (udev_device *device = udev_monitor_receive_device(m_monitor)) {
        const udevhotplug::Change change = udevhotplug::translate(eventOf(device), m_known);
        udev_device_unref(device);
        switch (change.what) {
        case udevhotplug::Change::HidArrived:
            if (m_watchHid)
                emit hidArrived(change.device);
            break;
        case udevhotplug::Change::HidRemoved:
            if (m_watchHid)
                emit hidRemoved(change.device);
            break;
        case udevhotplug::Change::StorageArrived: emit storageArrived(change.storageName); break;
        case udevhotplug::Change::StorageRemoved: emit storageRemoved(change.storageName); break;
        case udevhotplug::Change::Nothing: break;
        }
    }
}

void watchStorageFor(HotplugSource *owner)
{
    auto *storage = new UdevHotplugSource(false, owner);
    if (!storage->start()) {
        delete storage;
        return;
    }
    QObject::connect(storage, &HotplugSource::storageArrived, owner, &HotplugSource::storageArrived);
    QObject::connect(storage, &HotplugSource::storageRemoved, owner, &HotplugSource::storageRemoved);
}
