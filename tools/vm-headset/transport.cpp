#include "tools/vm-headset/transport.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/uhid.h>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vmheadset
{

namespace
{

// The vendor-defined interface: output reports 0x4E (32 bytes with the id) and 0x4F
// (64), input reports 0x23 (32) and 0x24 (64), all bytes opaque.
const uint8_t kVendorDescriptor[] = {
    0x06, 0x00, 0xFF, // Usage Page (vendor-defined 0xFF00)
    0x09, 0x01,       // Usage (1)
    0xA1, 0x01,       // Collection (Application)
    0x15, 0x00,       //   Logical Minimum (0)
    0x26, 0xFF, 0x00, //   Logical Maximum (255)
    0x75, 0x08,       //   Report Size (8)
    0x85, 0x4E,       //   Report ID (0x4E)
    0x95, 0x1F,       //   Report Count (31)
    0x09, 0x01,       //   Usage (1)
    0x91, 0x02,       //   Output (Data, Variable, Absolute)
    0x85, 0x4F,       //   Report ID (0x4F)
    0x95, 0x3F,       //   Report Count (63)
    0x09, 0x01,       //   Usage (1)
    0x91, 0x02,       //   Output (Data, Variable, Absolute)
    0x85, 0x23,       //   Report ID (0x23)
    0x95, 0x1F,       //   Report Count (31)
    0x09, 0x01,       //   Usage (1)
    0x81, 0x02,       //   Input (Data, Variable, Absolute)
    0x85, 0x24,       //   Report ID (0x24)
    0x95, 0x3F,       //   Report Count (63)
    0x09, 0x01,       //   Usage (1)
    0x81, 0x02,       //   Input (Data, Variable, Absolute)
    0xC0,             // End Collection
};

// The headset's media keys: a consumer-control interface the program must leave alone.
const uint8_t kConsumerDescriptor[] = {
    0x05, 0x0C, // Usage Page (Consumer)
    0x09, 0x01, // Usage (Consumer Control)
    0xA1, 0x01, // Collection (Application)
    0x15, 0x00, //   Logical Minimum (0)
    0x25, 0x01, //   Logical Maximum (1)
    0x75, 0x01, //   Report Size (1)
    0x95, 0x08, //   Report Count (8)
    0x09, 0xE9, //   Usage (Volume Increment)
    0x09, 0xEA, //   Usage (Volume Decrement)
    0x09, 0xE2, //   Usage (Mute)
    0x09, 0xCD, //   Usage (Play/Pause)
    0x09, 0xB5, //   Usage (Scan Next Track)
    0x09, 0xB6, //   Usage (Scan Previous Track)
    0x09, 0xB7, //   Usage (Stop)
    0x09, 0xB0, //   Usage (Play)
    0x81, 0x02, //   Input (Data, Variable, Absolute)
    0xC0,       // End Collection
};

// How long the host may take to collect an input report: the interrupt endpoint is polled
// every millisecond, but a guest under software emulation stalls now and then.
constexpr int kSendDeadlineMs = 2000;

bool writeFile(const std::string &path, const std::string &content, std::string &error)
{
    std::ofstream file(path, std::ios::binary);
    file << content;
    file.flush();
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string readFile(const std::string &path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    std::string content = text.str();
    while (!content.empty() && (content.back() == '\n' || content.back() == ' '))
        content.pop_back();
    return content;
}

std::string hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

class Gadget : public Transport
{
  public:
    Gadget(const std::string &name, const std::string &udc, const Identity &identity)
        : m_dir("/sys/kernel/config/usb_gadget/" + name), m_udc(udc), m_identity(identity)
    {
    }
    ~Gadget() override { stop(); }

    bool start(std::string &error) override
    {
        const std::string strings = m_dir + "/strings/0x409";
        const std::string config = m_dir + "/configs/c.1";
        if (mkdir(m_dir.c_str(), 0755) != 0 && errno != EEXIST) {
            error = "cannot make " + m_dir + ": " + std::strerror(errno) + " (configfs and libcomposite loaded?)";
            return false;
        }
        m_made = true;
        mkdir(strings.c_str(), 0755);
        mkdir(config.c_str(), 0755);
        mkdir((config + "/strings/0x409").c_str(), 0755);
        bool ok = writeFile(m_dir + "/idVendor", hex4(m_identity.vendorId), error) &&
                  writeFile(m_dir + "/idProduct", hex4(m_identity.productId), error) &&
                  writeFile(m_dir + "/bcdDevice", "0x0100", error) && writeFile(m_dir + "/bcdUSB", "0x0200", error) &&
                  writeFile(strings + "/manufacturer", "Solvane", error) &&
                  writeFile(strings + "/product", "Quark headset (test gadget)", error) &&
                  writeFile(strings + "/serialnumber", m_identity.serial, error) &&
                  writeFile(config + "/strings/0x409/configuration", "headset", error) &&
                  writeFile(config + "/MaxPower", "100", error);
        // Interface numbers follow the order of the links: consumer control 0, vendor 1.
        ok = ok && addFunction("hid.consumer", kConsumerDescriptor, sizeof kConsumerDescriptor, 1, error) &&
             addFunction("hid.vendor", kVendorDescriptor, sizeof kVendorDescriptor, 64, error);
        return ok && plug(error);
    }

    void stop() override
    {
        if (!m_made)
            return;
        std::string ignored;
        unplug(ignored);
        for (const char *function : {"hid.consumer", "hid.vendor"}) {
            unlink((m_dir + "/configs/c.1/" + function).c_str());
            rmdir((m_dir + "/functions/" + function).c_str());
        }
        rmdir((m_dir + "/configs/c.1/strings/0x409").c_str());
        rmdir((m_dir + "/configs/c.1").c_str());
        rmdir((m_dir + "/strings/0x409").c_str());
        rmdir(m_dir.c_str());
        m_made = false;
    }

    bool plug(std::string &error) override
    {
        if (m_fd >= 0)
            return true;
        if (!writeFile(m_dir + "/UDC", m_udc, error))
            return false;
        // The function's character device exists while the gadget is bound.
        const std::string number = readFile(m_dir + "/functions/hid.vendor/dev");
        std::string node;
        if (DIR *dir = opendir("/sys/class/hidg")) {
            while (dirent *entry = readdir(dir)) {
                if (entry->d_name[0] != '.' &&
                    readFile(std::string("/sys/class/hidg/") + entry->d_name + "/dev") == number)
                    node = std::string("/dev/") + entry->d_name;
            }
            closedir(dir);
        }
        m_fd = node.empty() ? -1 : open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            error = "no device node for the vendor function (" + number + ")";
            return false;
        }
        return true;
    }

    bool unplug(std::string &error) override
    {
        if (m_fd < 0)
            return true;
        close(m_fd);
        m_fd = -1;
        return writeFile(m_dir + "/UDC", "\n", error);
    }

    bool receive(replyrules::Report &report, int ms) override
    {
        if (m_fd < 0) {
            poll(nullptr, 0, ms);
            return false;
        }
        pollfd fd{m_fd, POLLIN, 0};
        if (poll(&fd, 1, ms) <= 0)
            return false;
        uint8_t buffer[4096];
        const ssize_t got = read(m_fd, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        report.assign(buffer, buffer + got);
        return true;
    }

    bool send(const replyrules::Report &report) override
    {
        if (m_fd < 0)
            return false;
        pollfd fd{m_fd, POLLOUT, 0};
        if (poll(&fd, 1, kSendDeadlineMs) <= 0)
            return false;
        return write(m_fd, report.data(), report.size()) == static_cast<ssize_t>(report.size());
    }

  private:
    bool addFunction(const char *function, const uint8_t *descriptor, size_t size, int reportLength,
                     std::string &error)
    {
        const std::string dir = m_dir + "/functions/" + function;
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
            error = "cannot make " + dir + ": " + std::strerror(errno) + " (usb_f_hid loaded?)";
            return false;
        }
        if (!writeFile(dir + "/protocol", "0", error) || !writeFile(dir + "/subclass", "0", error) ||
            !writeFile(dir + "/report_length", std::to_string(reportLength), error) ||
            !writeFile(dir + "/report_desc", std::string(descriptor, descriptor + size), error))
            return false;
        const std::string link = m_dir + "/configs/c.1/" + function;
        if (symlink(dir.c_str(), link.c_str()) != 0 && errno != EEXIST) {
            error = "cannot link " + link + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }

    std::string m_dir, m_udc;
    Identity m_identity;
    bool m_made = false;
    int m_fd = -1;
};

class Uhid : public Transport
{
  public:
    Uhid(const std::string &name, const Identity &identity) : m_name(name), m_identity(identity) {}
    ~Uhid() override { stop(); }

    bool start(std::string &error) override
    {
        m_fd = open("/dev/uhid", O_RDWR | O_CLOEXEC);
        if (m_fd < 0) {
            error = std::string("cannot open /dev/uhid: ") + std::strerror(errno);
            return false;
        }
        return plug(error);
    }

    void stop() override
    {
        std::string ignored;
        unplug(ignored);
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }

    bool plug(std::string &error) override
    {
        if (m_created)
            return true;
        uhid_event event{};
        event.type = UHID_CREATE2;
        auto &create = event.u.create2;
        std::snprintf(reinterpret_cast<char *>(create.name), sizeof create.name, "Quark headset (uhid %s)",
                      m_name.c_str());
        std::snprintf(reinterpret_cast<char *>(create.phys), sizeof create.phys, "vm-headset/%s",
                      m_name.c_str());
        std::snprintf(reinterpret_cast<char *>(create.uniq), sizeof create.uniq, "%s", m_identity.serial.c_str());
        create.rd_size = sizeof kVendorDescriptor;
        std::memcpy(create.rd_data, kVendorDescriptor, sizeof kVendorDescriptor);
        create.bus = 0x03; // BUS_USB, as the headset reports itself; there is no USB device behind it
        create.vendor = m_identity.vendorId;
        create.product = m_identity.productId;
        create.version = 0x0100;
        if (write(m_fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
            error = std::string("UHID_CREATE2 failed: ") + std::strerror(errno);
            return false;
        }
        m_created = true;
        return true;
    }

    bool unplug(std::string &error) override
    {
        if (!m_created || m_fd < 0)
            return true;
        uhid_event event{};
        event.type = UHID_DESTROY;
        if (write(m_fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
            error = std::string("UHID_DESTROY failed: ") + std::strerror(errno);
            return false;
        }
        m_created = false;
        return true;
    }

    bool receive(replyrules::Report &report, int ms) override
    {
        pollfd fd{m_fd, POLLIN, 0};
        if (m_fd < 0 || poll(&fd, 1, ms) <= 0)
            return false;
        uhid_event event{};
        if (read(m_fd, &event, sizeof event) <= 0)
            return false;
        if (event.type == UHID_OUTPUT) {
            report.assign(event.u.output.data, event.u.output.data + event.u.output.size);
            return true;
        }
        if (event.type == UHID_GET_REPORT || event.type == UHID_SET_REPORT) {
            // The headset has no feature reports.
            uhid_event reply{};
            reply.type = event.type == UHID_GET_REPORT ? UHID_GET_REPORT_REPLY : UHID_SET_REPORT_REPLY;
            reply.u.get_report_reply.id = event.u.get_report.id;
            reply.u.get_report_reply.err = EIO;
            (void)!write(m_fd, &reply, sizeof reply);
        }
        return false;
    }

    bool send(const replyrules::Report &report) override
    {
        if (!m_created || report.size() > UHID_DATA_MAX)
            return false;
        uhid_event event{};
        event.type = UHID_INPUT2;
        event.u.input2.size = static_cast<uint16_t>(report.size());
        std::memcpy(event.u.input2.data, report.data(), report.size());
        return write(m_fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
    }

  private:
    std::string m_name;
    Identity m_identity;
    int m_fd = -1;
    bool m_created = false;
};

} // namespace

std::unique_ptr<Transport> makeGadget(const std::string &name, const std::string &udc, const Identity &identity)
{
    return std::make_unique<Gadget>(name, udc, identity);
}

std::unique_ptr<Transport> makeUhid(const std::string &name, const Identity &identity)
{
    return std::make_unique<Uhid>(name, identity);
}

} // namespace vmheadset
