#pragma once

// How the device-side headset meets the host's kernel: a USB gadget on dummy_hcd, or a
// uhid device. Both carry whole HID reports, report id first.

#include "tools/headset-emulator/replyrules.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vmheadset
{

struct Identity {
    uint16_t vendorId = 0x3508;
    uint16_t productId = 0x4151;
    std::string serial;
};

class Transport
{
  public:
    virtual ~Transport() = default;
    // Creates the device and plugs it in.
    virtual bool start(std::string &error) = 0;
    virtual void stop() = 0;
    // Plugging and unplugging without forgetting the device (the gadget is unbound from
    // and bound to its controller; the uhid device destroyed and created again).
    virtual bool plug(std::string &error) = 0;
    virtual bool unplug(std::string &error) = 0;
    // One output report from the host, waiting at most `ms`.
    virtual bool receive(replyrules::Report &report, int ms) = 0;
    // One input report to the host; false when the host did not take it in time or the
    // device is unplugged.
    virtual bool send(const replyrules::Report &report) = 0;
};

std::unique_ptr<Transport> makeGadget(const std::string &name, const std::string &udc, const Identity &identity);
std::unique_ptr<Transport> makeUhid(const std::string &name, const Identity &identity);

} // namespace vmheadset
