#pragma once

// Hot-plug events from the HID library's own callbacks (hidapi 0.16 and the headset
// emulator export them). The library calls back on a thread of its own; the events are
// handed to the GUI thread through the event queue. USB storage volumes, which a HID
// library knows nothing of, come from a udev monitor beside it when one can be had.

#include "device/hotplug.h"

class HidapiHotplugSource : public HotplugSource
{
    Q_OBJECT

public:
    HidapiHotplugSource(const HotplugHidFunctions &hid, QObject *parent = nullptr);
    ~HidapiHotplugSource() override;

    bool start() override;
    QString kind() const override { return QStringLiteral("hidapi"); }

private:
    static int onHotplug(int handle, hid_device_info *device, int event, void *userData);

    HotplugHidFunctions m_hid;
    bool m_registered = false;
    HotplugHidFunctions::CallbackHandle m_handle = 0;
    HotplugSource *m_storage = nullptr;
};
