#include "device/hotplug_polling.h"

#include "device/hotplug_udev.h"

namespace pollinghotplug {

void diff(const Snapshot &before, const Snapshot &after, std::vector<HotplugDevice> *arrived,
          std::vector<HotplugDevice> *removed)
{
    for (const auto &entry : before)
        if (after.find(entry.first) == after.end())
            removed->push_back(entry.second);
    for (const auto &entry : after)
        if (before.find(entry.first) == before.end())
            arrived->push_back(entry.second);
}

} // namespace pollinghotplug

PollingHotplugSource::PollingHotplugSource(const HidLibrary *hid, int intervalMs, QObject *parent)
    : HotplugSource(parent), m_hid(hid)
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &PollingHotplugSource::poll);
}

bool PollingHotplugSource::start()
{
    if (!m_hid || !m_hid->enumerate || !m_hid->freeEnumeration)
        return false;
    m_present = enumerate();
    m_timer.start();

    // Storage volumes can still come from udev when only its HID side is unusable.
    watchStorageFor(this);
    return true;
}

pollinghotplug::Snapshot PollingHotplugSource::enumerate() const
{
    pollinghotplug::Snapshot snapshot;
    hid_device_info *list = m_hid->enumerate(0, 0);
    for (hid_device_info *info = list; info; info = info->next) {
        HotplugDevice device;
        device.vendorId = info->vendor_id;
        device.productId = info->product_id;
        device.path = QString::fromLocal8Bit(info->path ? info->path : "");
        snapshot[device.path] = device;
    }
    if (list)
        m_hid->freeEnumeration(list);
    return snapshot;
}

void PollingHotplugSource::poll()
{
    pollinghotplug::Snapshot now = enumerate();
    std::vector<HotplugDevice> arrived, removed;
    pollinghotplug::diff(m_present, now, &arrived, &removed);
    m_present = std::move(now);
    // Removals first: a headset replugged within one interval must be closed before the
    // arrival tries to open it again.
    for (const HotplugDevice &device : removed)
        emit hidRemoved(device);
    for (const HotplugDevice &device : arrived)
        emit hidArrived(device);
}
