// vm-headset: the emulator's headset on the device side of a real kernel, for the tests
// that run in a virtual machine. It answers the same command set with the same reply
// rules (tools/headset-emulator/replyrules.h), either as a USB gadget on dummy_hcd
// (configfs, two HID functions: the consumer-control interface 0 and the vendor-defined
// interface 1, so the host's usbhid sees real interface numbers and usage pages) or as a
// uhid device (a HID device without a USB parent). It writes the same wire log as the
// emulator and takes control commands on a UNIX socket (README.md).
//
// Threads: the main thread reads the host's output reports and streams the spectrum;
// the control server's thread runs commands. One mutex guards the headset's state and
// every write towards the host.

#include "tools/headset-emulator/config.h"
#include "tools/headset-emulator/controlserver.h"
#include "tools/headset-emulator/replyrules.h"
#include "tools/vm-headset/transport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include <poll.h>
#include <unistd.h>

using namespace replyrules;
using emulator::commandWords;
using emulator::parseNumber;
using Clock = std::chrono::steady_clock;

namespace
{

std::atomic<bool> stopRequested{false};
const Clock::time_point startTime = Clock::now();

struct DeviceSide {
    std::mutex mutex;
    replyrules::Headset rules;
    std::unique_ptr<vmheadset::Transport> transport;
    bool repliesOn = true;
    bool streaming = false;
    int spectrumRate = 30;
    Clock::time_point nextFrame;
    SpectrumSource spectrum;
    FILE *wireLog = nullptr;
    // Plugging runs on the main thread, which alone uses the transport's device between
    // reads; the control thread hands it over and waits.
    std::string pendingPlug, plugResult;
    std::condition_variable plugDone;
};

void logReport(DeviceSide &h, const char *direction, const Report &report)
{
    if (!h.wireLog)
        return;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - startTime).count();
    std::fprintf(h.wireLog, "%.3f %s", ms, direction);
    for (uint8_t byte : report)
        std::fprintf(h.wireLog, " %02x", byte);
    std::fputc('\n', h.wireLog);
    std::fflush(h.wireLog);
}

// Under the mutex. A report the host does not take within the transport's deadline is
// lost, as on a real bus, and not logged.
bool sendToHost(DeviceSide &h, const Report &report)
{
    if (!h.transport->send(report))
        return false;
    logReport(h, "IN", report);
    return true;
}

std::string runCommand(DeviceSide &h, const std::string &line)
{
    const std::vector<std::string> words = commandWords(line);
    if (words.empty())
        return "error: empty command";
    const std::string &verb = words[0];
    std::unique_lock<std::mutex> lock(h.mutex);
    if (verb == "plug" || verb == "unplug") {
        if (words.size() != 1)
            return "error: usage: " + verb;
        h.pendingPlug = verb;
        h.plugDone.wait(lock, [&h] { return h.pendingPlug.empty(); });
        return h.plugResult;
    } else if (verb == "spectrum") {
        long rate = 0;
        if (words.size() == 2 && (words[1] == "on" || words[1] == "off")) {
            h.streaming = words[1] == "on";
            h.nextFrame = Clock::now();
        } else if (words.size() == 3 && words[1] == "rate" && parseNumber(words[2], 10, 1, 1000, rate)) {
            h.spectrumRate = static_cast<int>(rate);
        } else {
            return "error: usage: spectrum on|off|rate <1..1000>";
        }
    } else if (verb == "replies") {
        if (words.size() != 2 || (words[1] != "on" && words[1] != "off"))
            return "error: usage: replies on|off";
        h.repliesOn = words[1] == "on";
    } else if (verb == "reply-status") {
        long command = 0, status = 0;
        bool known = false;
        if (words.size() != 3 || !parseNumber(words[1], 16, 0, 0xFF, command) ||
            !parseNumber(words[2], 10, 0, 1, status))
            return "error: usage: reply-status <command hex> 0|1";
        if (!carriesStatus(static_cast<uint8_t>(command), known))
            return known ? "error: replies to command " + words[1] + " carry no status byte"
                         : "error: unknown command " + words[1];
        h.rules.replyStatus[static_cast<uint8_t>(command)] = static_cast<uint8_t>(status);
    } else if (verb == "identity") {
        if (words.size() != 2 || !emulator::parseIdentity(words[1], h.rules.identity))
            return "error: usage: identity <8 hex digits>";
    } else if (verb == "surround") {
        long value = 0;
        if (words.size() != 2 || !parseNumber(words[1], 10, 0, 1, value))
            return "error: usage: surround 0|1";
        h.rules.surround = static_cast<int>(value);
    } else if (verb == "inject") {
        Report report;
        if (words.size() != 2 || !parseHexReport(words[1], report))
            return "error: usage: inject <hex bytes, 1 to " + std::to_string(kMaxInjectedBytes) + ">";
        if (!sendToHost(h, report))
            return "error: the host did not take the report";
    } else if (verb == "flood") {
        // `flood <count> <per second> <hex>`: the same report `count` times on a fixed
        // schedule (a report the host has not collected yet holds the next one back); the
        // answer comes when all are out: how many the host took, and in how long.
        long count = 0, rate = 0;
        Report report;
        if (words.size() != 4 || !parseNumber(words[1], 10, 1, 100000, count) ||
            !parseNumber(words[2], 10, 1, 10000, rate) || !parseHexReport(words[3], report))
            return "error: usage: flood <count> <per second> <hex>";
        const auto period = std::chrono::nanoseconds(1000000000L / rate);
        const Clock::time_point start = Clock::now();
        Clock::time_point due = start;
        long taken = 0;
        for (long i = 0; i < count; ++i) {
            std::this_thread::sleep_until(due);
            due += period;
            taken += sendToHost(h, report) ? 1 : 0;
        }
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        return "ok " + std::to_string(taken) + " in " + std::to_string(took.count()) + " ms";
    } else {
        return "error: unknown command \"" + verb +
               "\" (plug, unplug, spectrum, replies, reply-status, identity, surround, inject, flood)";
    }
    return "ok";
}

void usage(const char *program)
{
    std::fprintf(stderr,
                 "usage: %s (--gadget NAME [--udc UDC] | --uhid NAME) [--control SOCKET] [--wire-log FILE]\n"
                 "          [--identity 8HEX] [--surround 0|1] [--vendor-id HEX] [--product-id HEX] [--serial TEXT]\n",
                 program);
}

} // namespace

int main(int argc, char *argv[])
{
    vmheadset::Identity identity;
    std::string kind, name, udc = "dummy_udc.0", controlPath, wireLogPath;
    DeviceSide h;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            usage(argv[0]);
            return 2;
        }
        const std::string value = argv[++i];
        long number = 0;
        if (option == "--gadget" || option == "--uhid") {
            kind = option.substr(2);
            name = value;
        } else if (option == "--udc") {
            udc = value;
        } else if (option == "--control") {
            controlPath = value;
        } else if (option == "--wire-log") {
            wireLogPath = value;
        } else if (option == "--identity" && emulator::parseIdentity(value, h.rules.identity)) {
        } else if (option == "--surround" && parseNumber(value, 10, 0, 1, number)) {
            h.rules.surround = static_cast<int>(number);
        } else if (option == "--vendor-id" && parseNumber(value, 16, 1, 0xFFFF, number)) {
            identity.vendorId = static_cast<uint16_t>(number);
        } else if (option == "--product-id" && parseNumber(value, 16, 1, 0xFFFF, number)) {
            identity.productId = static_cast<uint16_t>(number);
        } else if (option == "--serial") {
            identity.serial = value;
        } else {
            usage(argv[0]);
            return 2;
        }
    }
    if (kind.empty()) {
        usage(argv[0]);
        return 2;
    }
    if (identity.serial.empty()) {
        char text[9];
        const auto &id = h.rules.identity;
        std::snprintf(text, sizeof text, "%02x%02x%02x%02x", id[0], id[1], id[2], id[3]);
        identity.serial = text;
    }
    if (!wireLogPath.empty() && !(h.wireLog = std::fopen(wireLogPath.c_str(), "w"))) {
        std::perror(wireLogPath.c_str());
        return 1;
    }

    std::signal(SIGTERM, [](int) { stopRequested = true; });
    std::signal(SIGINT, [](int) { stopRequested = true; });
    std::string error;
    h.transport = kind == "gadget" ? vmheadset::makeGadget(name, udc, identity)
                                   : vmheadset::makeUhid(name, identity);
    if (!h.transport->start(error)) {
        std::fprintf(stderr, "vm-headset: %s\n", error.c_str());
        return 1;
    }
    emulator::ControlServer control;
    if (!controlPath.empty() &&
        !control.start(controlPath, [&h](const std::string &line) { return runCommand(h, line); }, error)) {
        std::fprintf(stderr, "vm-headset: no control socket: %s\n", error.c_str());
        return 1;
    }
    std::printf("vm-headset: %s %s ready\n", kind.c_str(), name.c_str());
    std::fflush(stdout);

    while (!stopRequested) {
        int waitMs = 100;
        {
            std::lock_guard<std::mutex> lock(h.mutex);
            if (!h.pendingPlug.empty()) {
                std::string error;
                const bool plug = h.pendingPlug == "plug";
                h.plugResult = (plug ? h.transport->plug(error) : h.transport->unplug(error)) ? "ok" : "error: " + error;
                if (!plug)
                    h.streaming = false;
                h.pendingPlug.clear();
                h.plugDone.notify_all();
            }
            if (h.streaming) {
                const auto now = Clock::now();
                const auto period = std::chrono::nanoseconds(1000000000L / h.spectrumRate);
                if (now - h.nextFrame > std::chrono::milliseconds(100))
                    h.nextFrame = now; // after a stall the stream starts afresh
                while (h.nextFrame <= now) {
                    const Report frame = h.spectrum.nextFrame(h.spectrumRate);
                    if (h.repliesOn)
                        sendToHost(h, frame);
                    h.nextFrame += period;
                }
                waitMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              h.nextFrame - Clock::now())
                                              .count()) +
                         1;
            }
        }
        Report request;
        if (!h.transport->receive(request, std::max(waitMs, 1)))
            continue;
        std::lock_guard<std::mutex> lock(h.mutex);
        logReport(h, "OUT", request);
        const Answer answer = replyrules::answer(request, h.rules);
        if (h.repliesOn)
            for (const Report &reply : answer.replies)
                sendToHost(h, reply);
        if (answer.spectrum != Answer::Stream::Unchanged) {
            h.streaming = answer.spectrum == Answer::Stream::Start;
            h.nextFrame = Clock::now();
        }
    }
    control.stop();
    h.transport->stop();
    return 0;
}
