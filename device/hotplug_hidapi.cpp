#include "device/hotplug_hidapi.h"

#include "device/hotplug_udev.h"

HidapiHotplugSource::HidapiHotplugSource(const HidLibrary *hid, QObject *parent)
    : HotplugSource(parent), m_hid(hid)
{
}

HidapiHotplugSource::~HidapiHotplugSource()
{
    // Once this returns the library makes no more calls with our pointer, so nothing can be
    // posted to an object that is going away.
    if (m_registered)
        m_hid->hotplugDeregister(m_handle);
}

bool HidapiHotplugSource::start()
{
    if (!m_hid || !m_hid->hotplugRegister || !m_hid->hotplugDeregister)
        return false;
    // Every vendor and product: the removal of any interface is reported, as it is on
    // Windows, and the window decides whether it concerns the open headset. No
    // enumeration flag: start-up opens a headset that is already present on its own.
    const int events = HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED | HID_API_HOTPLUG_EVENT_DEVICE_LEFT;
    if (m_hid->hotplugRegister(0, 0, events, 0, &HidapiHotplugSource::onHotplug, this, &m_handle) != 0)
        return false;
    m_registered = true;

    watchStorageFor(this);
    return true;
}

int HidapiHotplugSource::onHotplug(hid_hotplug_callback_handle, hid_device_info *info, hid_hotplug_event event,
                                   void *userData)
{
    auto *self = static_cast<HidapiHotplugSource *>(userData);
    if (!info)
        return 0;
    HotplugDevice device;
    device.vendorId = info->vendor_id;
    device.productId = info->product_id;
    device.path = QString::fromLocal8Bit(info->path ? info->path : "");
    const bool arrived = event == HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED;
    // Posted, not called: this runs on the library's thread and the window is not thread-safe.
    QMetaObject::invokeMethod(
        self,
        [self, device, arrived] {
            if (arrived)
                emit self->hidArrived(device);
            else
                emit self->hidRemoved(device);
        },
        Qt::QueuedConnection);
    return 0; // stay registered
}
