#pragma once

// The emulator's device list: the built-in default or a JSON file named by
// HEADSET_EMULATOR_CONFIG, e.g.
//   {"devices": [{"id": "headset", "vendorId": "3508", "productId": "4151", "interface": 3,
//                 "usagePage": "ff00", "identity": "001ab2ff", "surround": 1, "plugged": true}]}
// Every key is optional (the values above are the defaults); ids and the usage page are
// hexadecimal text. Anything else (an unknown key, a wrong type, a duplicate id) makes the
// whole file malformed.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace emulator
{

struct DeviceConfig {
    std::string id = "headset";
    uint16_t vendorId = 0x3508;
    uint16_t productId = 0x4151;
    int interfaceNumber = 3;
    uint16_t usagePage = 0xff00;
    std::array<uint8_t, 4> identity = {0x00, 0x1a, 0xb2, 0xff};
    int surround = 1;
    bool plugged = true;
};

struct ConfigResult {
    bool ok = false;
    std::vector<DeviceConfig> devices;
    std::string error; // why the text was refused
};

// The supported headset plus a second, consumer-control interface of it (interface 0,
// usage page 000c) that a client must ignore.
std::vector<DeviceConfig> defaultDevices();

ConfigResult parseConfig(const std::string &text);

// "001ab2ff" -> bytes; false unless exactly 8 hexadecimal digits.
bool parseIdentity(const std::string &text, std::array<uint8_t, 4> &identity);

} // namespace emulator
