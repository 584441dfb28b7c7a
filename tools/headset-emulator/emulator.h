#pragma once

// Internals shared by the emulator's parts: the control server runs the control
// commands against the emulated devices.

#include <string>

namespace emulator
{

// One control command line ("unplug headset", "spectrum rate 200", ...): "ok" or
// "error: <why>". Hot-plug callbacks of plug and unplug have run when it returns.
std::string runCommand(const std::string &line);

// The UNIX-socket control server (HEADSET_EMULATOR_CONTROL).
class ControlServer
{
  public:
    ControlServer() = default;
    ControlServer(const ControlServer &) = delete;
    ~ControlServer();

    // Listens at `path` (a stale socket file there is replaced). False with `error` set
    // when it cannot.
    bool start(const std::string &path, std::string &error);
    void stop();

  private:
    void serve();

    struct Impl;
    Impl *m_impl = nullptr;
};

} // namespace emulator
