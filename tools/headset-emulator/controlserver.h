#pragma once

// A UNIX-socket server of control commands: each line a client sends is one command and
// gets one answer line from the handler. Used by the emulator (HEADSET_EMULATOR_CONTROL)
// and by the device-side headset of the virtual-machine tests.

#include <functional>
#include <string>
#include <vector>

namespace emulator
{

// The words of a control command, split at white space.
std::vector<std::string> commandWords(const std::string &line);

// One number of a control command, written in `base` and within [low, high].
bool parseNumber(const std::string &word, int base, long low, long high, long &value);

class ControlServer
{
  public:
    using Handler = std::function<std::string(const std::string &line)>;

    ControlServer() = default;
    ControlServer(const ControlServer &) = delete;
    ~ControlServer();

    // Listens at `path` (a stale socket file there is replaced) and answers each line with
    // `handler`, on a thread of its own. False with `error` set when it cannot.
    bool start(const std::string &path, Handler handler, std::string &error);
    void stop();

  private:
    void serve();

    struct Impl;
    Impl *m_impl = nullptr;
};

} // namespace emulator
