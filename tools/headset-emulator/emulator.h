#pragma once

// Internals shared by the emulator's parts: the control server runs the control
// commands against the emulated devices.

#include "controlserver.h"

#include <string>

namespace emulator
{

// One control command line ("unplug headset", "spectrum rate 200", ...): "ok" or
// "error: <why>". Hot-plug callbacks of plug and unplug have run when it returns.
std::string runCommand(const std::string &line);

} // namespace emulator
