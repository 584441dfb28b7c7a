#pragma once

// Hot-plug events from the HID library's own callbacks (hidapi 0.16 and the headset
// emulator export them). The library calls back on a thread of its own; the events are
// handed to the GUI thread through the event queue. USB storage volumes, which a HID
// library knows nothing of, come from a udev monitor beside it when one can be had.

#include "device/hidlibrary.h"
#include "device/hotplug.h"

class HidapiHotplugSource : public HotplugSource
{
    Q_OBJECT

public:
    // `hid` may be null, or lack the hot-plug pair: start() then fails.
    explicit HidapiHotplugSource(const HidLibrary *hid, QObject *parent = nullptr);
    ~HidapiHotplugSource() override;

    bool start() override;
    QString kind() const override { return QStringLiteral("hidapi"); }

private:
    static int onHotplug(hid_hotplug_callback_handle handle, hid_device_info *device, hid_hotplug_event event,
                         void *userData);

    const HidLibrary *m_hid;
    bool m_registered = false;
    hid_hotplug_callback_handle m_handle = 0;
};
