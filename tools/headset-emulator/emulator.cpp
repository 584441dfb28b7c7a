// The headset emulator: a shared library exporting the hidapi functions the program uses,
// backed by emulated headsets instead of hidraw. Loaded through
// TONETUNINGTOOL_HID_LIBRARY it answers the headset's command set, streams spectrum
// frames, logs the wire and can be plugged and unplugged from outside (README.md).
//
// Threads: the caller's threads run the hidapi calls; one clock thread delivers replies
// and spectrum frames; the control server's thread runs control commands and the
// hot-plug callbacks. One mutex guards all device state; the hot-plug callbacks run
// without it, so they may call back into the library.

#include "emulator.h"
#include "config.h"
#include "replyrules.h"

#include "device/hidapi_abi.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#define EMULATOR_EXPORT extern "C" __attribute__((visibility("default")))

namespace emulator
{
using Clock = std::chrono::steady_clock;

struct Device {
    DeviceConfig config;
    std::string path;
    bool plugged = false;
    bool streaming = false;
    Clock::time_point nextFrame;
    replyrules::SpectrumSource spectrum;
    std::vector<hid_device *> handles;
};

} // namespace emulator

struct hid_device_ {
    emulator::Device *device = nullptr; // null once the emulator has shut down
    std::deque<std::vector<uint8_t>> queue;
    std::condition_variable arrived;
    bool gone = false; // the device was unplugged: reads and writes fail from now on
    bool nonblocking = false;
    std::wstring error;
};

namespace emulator
{

namespace
{

const Clock::time_point loadTime = Clock::now();

// hidraw keeps this many unread reports per open handle and drops newer ones.
constexpr size_t kHandleBufferReports = 64;
constexpr auto kReplyDelay = std::chrono::milliseconds(1);
constexpr int kDefaultSpectrumRate = 30;
constexpr int kMaxSpectrumRate = 1000;
constexpr int kMaxGarbageRate = 10000;
constexpr auto kMaxStreamLag = std::chrono::milliseconds(100);

using namespace replyrules;

struct PendingReport {
    Clock::time_point due;
    Device *device;
    std::vector<uint8_t> report;
};

struct Callback {
    hid_hotplug_callback_handle handle;
    unsigned short vendorId;
    unsigned short productId;
    int events;
    hid_hotplug_callback_fn function;
    void *userData;
    bool removed = false;
};

struct State {
    std::mutex lifecycle; // serialises start-up and shut-down
    std::atomic<bool> initialised{false};

    std::mutex mutex; // everything below up to the hot-plug part
    bool stopping = false;
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<PendingReport> pending;
    std::condition_variable clockWake;
    std::thread clockThread;
    bool repliesOn = true;
    bool failWrites = false;
    int spectrumRate = kDefaultSpectrumRate;
    int garbageRate = 0; // reports per second of the garbage flood, 0 when off
    Clock::time_point nextGarbage;
    std::map<uint8_t, uint8_t> replyStatus;
    std::wstring error;
    SpectrumSource garbageNoise; // only its noise generator
    FILE *wireLog = nullptr;

    ControlServer control;

    std::recursive_mutex callbackMutex;
    std::vector<Callback> callbacks;
    int dispatching = 0;
    int nextCallbackHandle = 1;
};

// Never destroyed: the caller's threads may still be inside a call at process exit.
State &state()
{
    static State *s = new State;
    return *s;
}

std::chrono::nanoseconds framePeriod(int rate)
{
    return std::chrono::nanoseconds(1000000000LL / rate);
}

void logReport(State &s, const char *direction, const uint8_t *data, size_t length)
{
    if (!s.wireLog)
        return;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - loadTime).count();
    std::string line;
    line.reserve(16 + length * 3);
    char head[48];
    std::snprintf(head, sizeof head, "%.3f %s", ms, direction);
    line += head;
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < length; ++i) {
        line += ' ';
        line += digits[data[i] >> 4];
        line += digits[data[i] & 0x0F];
    }
    line += '\n';
    std::fputs(line.c_str(), s.wireLog);
    std::fflush(s.wireLog);
}

// Hands a report from the device to every open handle (under the state mutex).
// An injected report goes out even from a silent headset: a test sends it on purpose.
void emitReport(State &s, Device &device, const std::vector<uint8_t> &report, bool injected = false)
{
    if ((!s.repliesOn && !injected) || !device.plugged || device.handles.empty())
        return;
    logReport(s, "IN", report.data(), report.size());
    for (hid_device *handle : device.handles) {
        if (handle->queue.size() < kHandleBufferReports)
            handle->queue.push_back(report);
        handle->arrived.notify_all();
    }
}

void scheduleReply(State &s, Device &device, std::vector<uint8_t> report)
{
    s.pending.push_back({Clock::now() + kReplyDelay, &device, std::move(report)});
    s.clockWake.notify_all();
}

uint32_t nextNoise(State &s)
{
    return s.garbageNoise.noise();
}

// A report no valid reply could be mistaken for, in the ways a confused or failing
// device gets it wrong: random bytes, a good head with a bad checksum, a length byte
// past the report, the request's byte order, a report of a size hidraw may deliver
// but the program does not expect.
std::vector<uint8_t> garbageReport(State &s)
{
    const uint32_t kind = nextNoise(s) % 5;
    std::vector<uint8_t> report(kind == 4 ? 1 + nextNoise(s) % 63 : (nextNoise(s) & 1) ? 64 : 32);
    for (uint8_t &byte : report)
        byte = static_cast<uint8_t>(nextNoise(s));
    const size_t size = report.size();
    if (kind == 0 || kind == 4) {
        if (size > 1 && report[1] == 0x30)
            report[1] = 0x31; // never a reply's marker
        return report;
    }
    report[0] = size == 64 ? kLongReply : kShortReply;
    report[1] = 0x30;
    report[2] = kind == 3 ? 0x80 : 0x18;
    report[3] = kind == 3 ? 0x18 : 0x80;
    if (kind == 2) {
        const size_t room = size - kPayloadStart; // the smallest length byte that is too long
        report[kLengthByte] = static_cast<uint8_t>(room + nextNoise(s) % (256 - room));
    } else {
        report[kLengthByte] = static_cast<uint8_t>(nextNoise(s) % (size - kPayloadStart));
        const size_t at = kPayloadStart + report[kLengthByte];
        report[at] = static_cast<uint8_t>(checksum(report.data(), at) + 1 + nextNoise(s) % 255);
    }
    return report;
}

// A request as the headset sees it; malformed ones are ignored, as the headset does.
void handleRequest(State &s, Device &device, const uint8_t *data, size_t length)
{
    Headset headset;
    headset.identity = device.config.identity;
    headset.surround = device.config.surround;
    headset.replyStatus = s.replyStatus;
    const Answer answer = replyrules::answer(Report(data, data + length), headset);
    for (const Report &reply : answer.replies)
        scheduleReply(s, device, reply);
    if (answer.spectrum != Answer::Stream::Unchanged) {
        device.streaming = answer.spectrum == Answer::Stream::Start;
        device.nextFrame = Clock::now() + kReplyDelay;
        s.clockWake.notify_all();
    }
}

void runClock()
{
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    while (!s.stopping) {
        const Clock::time_point now = Clock::now();
        Clock::time_point wake = Clock::time_point::max();
        for (auto it = s.pending.begin(); it != s.pending.end();) {
            if (it->due <= now) {
                emitReport(s, *it->device, it->report);
                it = s.pending.erase(it);
            } else {
                wake = std::min(wake, it->due);
                ++it;
            }
        }
        const auto period = framePeriod(s.spectrumRate);
        for (auto &device : s.devices) {
            if (!device->plugged || !device->streaming)
                continue;
            // A fixed schedule keeps the rate exact: a late wake-up sends the frames that fell
            // due meanwhile, as a host controller hands over what it polled. After a long
            // stall the stream starts afresh instead.
            if (now - device->nextFrame > kMaxStreamLag)
                device->nextFrame = now;
            while (device->nextFrame <= now) {
                emitReport(s, *device, device->spectrum.nextFrame(s.spectrumRate));
                device->nextFrame += period;
            }
            wake = std::min(wake, device->nextFrame);
        }
        if (s.garbageRate > 0) {
            if (s.nextGarbage <= now) {
                for (auto &device : s.devices)
                    emitReport(s, *device, garbageReport(s));
                s.nextGarbage += framePeriod(s.garbageRate);
                if (s.nextGarbage + framePeriod(s.garbageRate) < now)
                    s.nextGarbage = now + framePeriod(s.garbageRate);
            }
            wake = std::min(wake, s.nextGarbage);
        }
        if (wake == Clock::time_point::max())
            s.clockWake.wait(lock);
        else
            s.clockWake.wait_until(lock, wake);
    }
}

std::wstring widen(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

std::string identityText(const std::array<uint8_t, 4> &identity)
{
    char text[9];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x", identity[0], identity[1], identity[2], identity[3]);
    return text;
}

wchar_t *copyWide(const std::wstring &text)
{
    auto *copy = static_cast<wchar_t *>(std::calloc(text.size() + 1, sizeof(wchar_t)));
    std::wmemcpy(copy, text.c_str(), text.size());
    return copy;
}

hid_device_info *makeInfo(const Device &device)
{
    auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup(device.path.c_str());
    info->vendor_id = device.config.vendorId;
    info->product_id = device.config.productId;
    info->serial_number = copyWide(widen(identityText(device.config.identity)));
    info->release_number = 0x0100;
    info->manufacturer_string = copyWide(L"Headset Emulator");
    info->product_string = copyWide(widen("Emulated headset " + device.config.id));
    info->usage_page = device.config.usagePage;
    info->usage = 1;
    info->interface_number = device.config.interfaceNumber;
    info->next = nullptr;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void freeInfo(hid_device_info *list)
{
    while (list) {
        hid_device_info *next = list->next;
        std::free(list->path);
        std::free(list->serial_number);
        std::free(list->manufacturer_string);
        std::free(list->product_string);
        std::free(list);
        list = next;
    }
}

bool matches(const Callback &callback, const hid_device_info &info, hid_hotplug_event event)
{
    return !callback.removed && (callback.events & event) &&
           (callback.vendorId == 0 || callback.vendorId == info.vendor_id) &&
           (callback.productId == 0 || callback.productId == info.product_id);
}

void pruneCallbacks(State &s)
{
    if (s.dispatching == 0)
        s.callbacks.erase(std::remove_if(s.callbacks.begin(), s.callbacks.end(),
                                         [](const Callback &c) { return c.removed; }),
                          s.callbacks.end());
}

// Runs the hot-plug callbacks for each event, without the state mutex. Callbacks
// registered meanwhile hear only later events.
void dispatchHotplug(State &s, const std::vector<std::pair<hid_hotplug_event, hid_device_info *>> &events,
                     int onlyHandle = 0)
{
    std::lock_guard<std::recursive_mutex> lock(s.callbackMutex);
    ++s.dispatching;
    const size_t count = s.callbacks.size();
    for (const auto &[event, info] : events) {
        for (size_t i = 0; i < count; ++i) {
            if (onlyHandle && s.callbacks[i].handle != onlyHandle)
                continue;
            if (!matches(s.callbacks[i], *info, event))
                continue;
            const Callback callback = s.callbacks[i];
            if (callback.function(callback.handle, info, event, callback.userData) != 0)
                s.callbacks[i].removed = true;
        }
    }
    --s.dispatching;
    pruneCallbacks(s);
}

std::vector<DeviceConfig> loadConfig()
{
    const char *path = std::getenv("HEADSET_EMULATOR_CONFIG");
    if (!path || !*path)
        return defaultDevices();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "headset-emulator: cannot read the config file %s: %s; no devices\n", path,
                     std::strerror(errno));
        return {};
    }
    std::stringstream text;
    text << file.rdbuf();
    const ConfigResult result = parseConfig(text.str());
    if (!result.ok) {
        std::fprintf(stderr, "headset-emulator: config file %s refused: %s; no devices\n", path,
                     result.error.c_str());
        return {};
    }
    return result.devices;
}

void openWireLog(State &s)
{
    const char *path = std::getenv("HEADSET_EMULATOR_WIRE_LOG");
    if (!path || !*path)
        return;
    s.wireLog = std::fopen(path, "w");
    if (!s.wireLog)
        std::fprintf(stderr, "headset-emulator: cannot write the wire log %s: %s\n", path,
                     std::strerror(errno));
}

void ensureStarted()
{
    State &s = state();
    if (s.initialised)
        return;
    std::lock_guard<std::mutex> lifecycle(s.lifecycle);
    if (s.initialised)
        return;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stopping = false;
        s.repliesOn = true;
        s.failWrites = false;
        s.spectrumRate = kDefaultSpectrumRate;
        s.garbageRate = 0;
        s.replyStatus.clear();
        s.devices.clear();
        for (const DeviceConfig &config : loadConfig()) {
            auto device = std::make_unique<Device>();
            device->config = config;
            device->path = "emulator/" + config.id;
            device->plugged = config.plugged;
            s.devices.push_back(std::move(device));
        }
        openWireLog(s);
    }
    s.clockThread = std::thread(runClock);
    if (const char *control = std::getenv("HEADSET_EMULATOR_CONTROL"); control && *control) {
        std::string error;
        if (!s.control.start(control, runCommand, error))
            std::fprintf(stderr, "headset-emulator: no control socket: %s\n", error.c_str());
    }
    s.initialised = true;
}

void shutDown()
{
    State &s = state();
    std::lock_guard<std::mutex> lifecycle(s.lifecycle);
    if (!s.initialised)
        return;
    s.control.stop();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stopping = true;
        s.clockWake.notify_all();
    }
    s.clockThread.join();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        for (auto &device : s.devices) {
            for (hid_device *handle : device->handles) {
                handle->device = nullptr;
                handle->gone = true;
                handle->error = L"hid_exit was called";
                handle->arrived.notify_all();
            }
        }
        s.devices.clear();
        s.pending.clear();
        if (s.wireLog)
            std::fclose(s.wireLog);
        s.wireLog = nullptr;
    }
    {
        std::lock_guard<std::recursive_mutex> lock(s.callbackMutex);
        for (Callback &callback : s.callbacks)
            callback.removed = true;
        pruneCallbacks(s);
    }
    s.initialised = false;
}

// Library unload or process end: stop the threads before their code goes away.
__attribute__((destructor)) void stopAtUnload()
{
    shutDown();
}

void setPlugged(State &s, Device &device, bool plugged,
                std::vector<std::pair<hid_hotplug_event, hid_device_info *>> &events)
{
    if (device.plugged == plugged)
        return;
    device.plugged = plugged;
    if (!plugged) {
        // As a vanished hidraw device: open handles fail from now on; a later plug is a new device.
        device.streaming = false;
        for (hid_device *handle : device.handles) {
            handle->gone = true;
            handle->error = L"device disconnected";
            handle->queue.clear();
            handle->arrived.notify_all();
        }
        device.handles.clear();
        s.pending.erase(std::remove_if(s.pending.begin(), s.pending.end(),
                                       [&](const PendingReport &p) { return p.device == &device; }),
                        s.pending.end());
    }
    events.emplace_back(plugged ? HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED : HID_API_HOTPLUG_EVENT_DEVICE_LEFT,
                        makeInfo(device));
}

bool parseOnOff(const std::string &word, bool &value)
{
    if (word == "on" || word == "off") {
        value = word == "on";
        return true;
    }
    return false;
}

// The devices a command names: the one with `id`, or every one when no id is given.
bool selectDevices(State &s, const std::vector<std::string> &words, size_t idAt,
                   std::vector<Device *> &chosen, std::string &error)
{
    if (words.size() > idAt + 1) {
        error = "too many words";
        return false;
    }
    for (auto &device : s.devices)
        if (words.size() == idAt || device->config.id == words[idAt])
            chosen.push_back(device.get());
    if (words.size() > idAt && chosen.empty()) {
        error = "no device \"" + words[idAt] + "\"";
        return false;
    }
    return true;
}

} // namespace

std::string runCommand(const std::string &line)
{
    const std::vector<std::string> words = commandWords(line);
    if (words.empty())
        return "error: empty command";

    State &s = state();
    std::vector<std::pair<hid_hotplug_event, hid_device_info *>> events;
    std::string error;
    const std::string &verb = words[0];
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        std::vector<Device *> chosen;
        if (verb == "plug" || verb == "unplug") {
            if (!selectDevices(s, words, 1, chosen, error))
                return "error: " + error + " (usage: " + verb + " [id])";
            for (Device *device : chosen)
                setPlugged(s, *device, verb == "plug", events);
        } else if (verb == "spectrum") {
            long rate = 0;
            bool on = false;
            if (words.size() == 2 && parseOnOff(words[1], on)) {
                for (auto &device : s.devices) {
                    device->streaming = on && device->plugged;
                    device->nextFrame = Clock::now();
                }
            } else if (words.size() == 3 && words[1] == "rate" &&
                       parseNumber(words[2], 10, 1, kMaxSpectrumRate, rate)) {
                s.spectrumRate = static_cast<int>(rate);
                for (auto &device : s.devices)
                    device->nextFrame = Clock::now() + framePeriod(s.spectrumRate);
            } else {
                return "error: usage: spectrum on|off|rate <1.." + std::to_string(kMaxSpectrumRate) + ">";
            }
            s.clockWake.notify_all();
        } else if (verb == "garbage") {
            long rate = 0;
            if (words.size() == 2 && words[1] == "off") {
                s.garbageRate = 0;
            } else if (words.size() == 2 && parseNumber(words[1], 10, 1, kMaxGarbageRate, rate)) {
                s.garbageRate = static_cast<int>(rate);
                s.nextGarbage = Clock::now();
            } else {
                return "error: usage: garbage <1.." + std::to_string(kMaxGarbageRate) + ">|off";
            }
            s.clockWake.notify_all();
        } else if (verb == "replies" || verb == "fail-writes") {
            bool on = false;
            if (words.size() != 2 || !parseOnOff(words[1], on))
                return "error: usage: " + verb + " on|off";
            (verb == "replies" ? s.repliesOn : s.failWrites) = on;
        } else if (verb == "reply-status") {
            long command = 0, status = 0;
            if (words.size() != 3 || !parseNumber(words[1], 16, 0, 0xFF, command) ||
                !parseNumber(words[2], 10, 0, 1, status))
                return "error: usage: reply-status <command hex> 0|1";
            bool known = false;
            if (!carriesStatus(static_cast<uint8_t>(command), known))
                return known ? "error: replies to command " + words[1] + " carry no status byte"
                             : "error: unknown command " + words[1];
            s.replyStatus[static_cast<uint8_t>(command)] = static_cast<uint8_t>(status);
        } else if (verb == "identity") {
            std::array<uint8_t, 4> identity{};
            if (words.size() < 2 || !parseIdentity(words[1], identity))
                return "error: usage: identity <8 hex digits> [id]";
            if (!selectDevices(s, words, 2, chosen, error))
                return "error: " + error;
            for (Device *device : chosen)
                device->config.identity = identity;
        } else if (verb == "surround") {
            long value = 0;
            if (words.size() < 2 || !parseNumber(words[1], 10, 0, 1, value))
                return "error: usage: surround 0|1 [id]";
            if (!selectDevices(s, words, 2, chosen, error))
                return "error: " + error;
            for (Device *device : chosen)
                device->config.surround = static_cast<int>(value);
        } else if (verb == "inject") {
            Report report;
            if (words.size() < 2 || !parseHexReport(words[1], report))
                return "error: usage: inject <hex bytes, 1 to " + std::to_string(kMaxInjectedBytes) + "> [id]";
            if (!selectDevices(s, words, 2, chosen, error))
                return "error: " + error;
            for (Device *device : chosen)
                emitReport(s, *device, report, true);
        } else {
            return "error: unknown command \"" + verb +
                   "\" (plug, unplug, spectrum, garbage, replies, reply-status, fail-writes, identity, surround, "
                   "inject)";
        }
    }
    dispatchHotplug(s, events);
    for (auto &event : events)
        freeInfo(event.second);
    return "ok";
}

} // namespace emulator

using namespace emulator;

EMULATOR_EXPORT int hid_init(void)
{
    ensureStarted();
    return 0;
}

EMULATOR_EXPORT int hid_exit(void)
{
    shutDown();
    return 0;
}

EMULATOR_EXPORT struct hid_device_info *hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    ensureStarted();
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    hid_device_info *head = nullptr;
    hid_device_info **tail = &head;
    for (const auto &device : s.devices) {
        if (!device->plugged || (vendor_id && vendor_id != device->config.vendorId) ||
            (product_id && product_id != device->config.productId))
            continue;
        *tail = makeInfo(*device);
        tail = &(*tail)->next;
    }
    return head;
}

EMULATOR_EXPORT void hid_free_enumeration(struct hid_device_info *devs)
{
    freeInfo(devs);
}

namespace
{

hid_device *openDevice(Device &device)
{
    auto *handle = new hid_device_;
    handle->device = &device;
    device.handles.push_back(handle);
    return handle;
}

} // namespace

EMULATOR_EXPORT hid_device *hid_open(unsigned short vendor_id, unsigned short product_id,
                                     const wchar_t *serial_number)
{
    ensureStarted();
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto &device : s.devices) {
        if (!device->plugged || device->config.vendorId != vendor_id ||
            device->config.productId != product_id)
            continue;
        if (serial_number && widen(identityText(device->config.identity)) != serial_number)
            continue;
        return openDevice(*device);
    }
    s.error = L"hid_open: no such device";
    return nullptr;
}

EMULATOR_EXPORT hid_device *hid_open_path(const char *path)
{
    ensureStarted();
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto &device : s.devices) {
        if (device->plugged && path && device->path == path)
            return openDevice(*device);
    }
    s.error = L"hid_open_path: no such device";
    return nullptr;
}

EMULATOR_EXPORT int hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    if (!dev || !data)
        return -1;
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (dev->gone || !dev->device) {
        dev->error = L"hid_write: device disconnected";
        return -1;
    }
    if (s.failWrites) {
        dev->error = L"hid_write: write failed (fail-writes on)";
        return -1;
    }
    if (length == 0) {
        dev->error = L"hid_write: nothing to write";
        return -1;
    }
    logReport(s, "OUT", data, length);
    handleRequest(s, *dev->device, data, length);
    return static_cast<int>(length);
}

EMULATOR_EXPORT int hid_read_timeout(hid_device *dev, unsigned char *data, size_t length, int milliseconds)
{
    if (!dev || !data)
        return -1;
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    auto ready = [dev] { return dev->gone || !dev->queue.empty(); };
    if (milliseconds < 0)
        dev->arrived.wait(lock, ready);
    else if (milliseconds > 0)
        dev->arrived.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
    if (dev->gone) {
        dev->error = L"hid_read_timeout: device disconnected";
        return -1;
    }
    if (dev->queue.empty())
        return 0;
    const std::vector<uint8_t> report = std::move(dev->queue.front());
    dev->queue.pop_front();
    const size_t count = std::min(length, report.size());
    std::memcpy(data, report.data(), count);
    return static_cast<int>(count);
}

EMULATOR_EXPORT int hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    bool nonblocking = false;
    if (dev) {
        std::lock_guard<std::mutex> lock(state().mutex);
        nonblocking = dev->nonblocking;
    }
    return hid_read_timeout(dev, data, length, nonblocking ? 0 : -1);
}

EMULATOR_EXPORT int hid_set_nonblocking(hid_device *dev, int nonblock)
{
    if (!dev)
        return -1;
    std::lock_guard<std::mutex> lock(state().mutex);
    dev->nonblocking = nonblock != 0;
    return 0;
}

EMULATOR_EXPORT void hid_close(hid_device *dev)
{
    if (!dev)
        return;
    State &s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (dev->device) {
            auto &handles = dev->device->handles;
            handles.erase(std::remove(handles.begin(), handles.end(), dev), handles.end());
        }
    }
    delete dev;
}

EMULATOR_EXPORT const wchar_t *hid_error(hid_device *dev)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const std::wstring &error = dev ? dev->error : s.error;
    return error.empty() ? L"Success" : error.c_str();
}

EMULATOR_EXPORT int hid_hotplug_register_callback(unsigned short vendor_id, unsigned short product_id,
                                                  int events, int flags, hid_hotplug_callback_fn callback,
                                                  void *user_data,
                                                  hid_hotplug_callback_handle *callback_handle)
{
    const int knownEvents = HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED | HID_API_HOTPLUG_EVENT_DEVICE_LEFT;
    if (!callback || events == 0 || (events & ~knownEvents) || (flags & ~HID_API_HOTPLUG_ENUMERATE))
        return -1;
    ensureStarted();
    State &s = state();
    std::lock_guard<std::recursive_mutex> lock(s.callbackMutex);
    Callback entry{s.nextCallbackHandle++, vendor_id, product_id, events, callback, user_data};
    s.callbacks.push_back(entry);
    if (callback_handle)
        *callback_handle = entry.handle;

    if ((flags & HID_API_HOTPLUG_ENUMERATE) && (events & HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED)) {
        std::vector<std::pair<hid_hotplug_event, hid_device_info *>> present;
        {
            std::lock_guard<std::mutex> stateLock(s.mutex);
            for (const auto &device : s.devices)
                if (device->plugged)
                    present.emplace_back(HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED, makeInfo(*device));
        }
        dispatchHotplug(s, present, entry.handle);
        for (auto &event : present)
            freeInfo(event.second);
    }
    return 0;
}

EMULATOR_EXPORT int hid_hotplug_deregister_callback(hid_hotplug_callback_handle callback_handle)
{
    State &s = state();
    std::lock_guard<std::recursive_mutex> lock(s.callbackMutex);
    for (Callback &callback : s.callbacks) {
        if (callback.handle == callback_handle && !callback.removed) {
            callback.removed = true;
            pruneCallbacks(s);
            return 0;
        }
    }
    return -1;
}
