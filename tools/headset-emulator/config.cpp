#include "config.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

namespace emulator
{

namespace
{

// Just enough JSON for the configuration file.
struct Value {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Value> items;
    std::vector<std::pair<std::string, Value>> members;
};

const char *kindName(Value::Kind kind)
{
    static const char *names[] = {"null", "a boolean", "a number", "a string", "an array", "an object"};
    return names[kind];
}

class Parser
{
  public:
    explicit Parser(const std::string &text) : m_text(text) {}

    bool parseDocument(Value &value, std::string &error)
    {
        if (!parseValue(value, 0) ||
            (skipSpace(), m_pos != m_text.size() && fail("unexpected text after the end"))) {
            error = m_error;
            return false;
        }
        return true;
    }

  private:
    bool fail(const std::string &why)
    {
        if (m_error.empty()) {
            int line = 1, column = 1;
            for (size_t i = 0; i < m_pos && i < m_text.size(); ++i) {
                if (m_text[i] == '\n')
                    ++line, column = 1;
                else
                    ++column;
            }
            m_error = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + why;
        }
        return false;
    }
    void skipSpace()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    bool literal(const char *word)
    {
        const std::string w(word);
        if (m_text.compare(m_pos, w.size(), w) != 0)
            return fail("invalid value");
        m_pos += w.size();
        return true;
    }
    bool parseValue(Value &value, int depth)
    {
        if (depth > 32)
            return fail("nested too deeply");
        skipSpace();
        if (m_pos >= m_text.size())
            return fail("unexpected end of the file");
        const char c = m_text[m_pos];
        if (c == '{')
            return parseObject(value, depth);
        if (c == '[')
            return parseArray(value, depth);
        if (c == '"') {
            value.kind = Value::String;
            return parseString(value.text);
        }
        if (c == 't' || c == 'f') {
            value.kind = Value::Bool;
            value.boolean = c == 't';
            return literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            value.kind = Value::Null;
            return literal("null");
        }
        if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            const char *start = m_text.c_str() + m_pos;
            char *end = nullptr;
            value.kind = Value::Number;
            value.number = std::strtod(start, &end);
            if (end == start)
                return fail("invalid number");
            m_pos += static_cast<size_t>(end - start);
            return true;
        }
        return fail(std::string("unexpected character '") + c + "'");
    }
    bool parseString(std::string &out)
    {
        ++m_pos; // opening quote
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size())
                break;
            const char e = m_text[m_pos++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                if (m_pos + 4 > m_text.size())
                    return fail("short \\u escape");
                const std::string hex = m_text.substr(m_pos, 4);
                for (char h : hex)
                    if (!std::isxdigit(static_cast<unsigned char>(h)))
                        return fail("invalid \\u escape");
                m_pos += 4;
                const unsigned long code = std::strtoul(hex.c_str(), nullptr, 16);
                // Configuration texts are ids; a non-ASCII code point is kept as UTF-8.
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default:
                return fail("invalid escape in a string");
            }
        }
        return fail("unterminated string");
    }
    bool parseArray(Value &value, int depth)
    {
        value.kind = Value::Array;
        ++m_pos;
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == ']')
            return ++m_pos, true;
        for (;;) {
            value.items.emplace_back();
            if (!parseValue(value.items.back(), depth + 1))
                return false;
            skipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() && m_text[m_pos] == ']')
                return ++m_pos, true;
            return fail("expected ',' or ']'");
        }
    }
    bool parseObject(Value &value, int depth)
    {
        value.kind = Value::Object;
        ++m_pos;
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == '}')
            return ++m_pos, true;
        for (;;) {
            skipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != '"')
                return fail("expected a key in quotes");
            std::string key;
            if (!parseString(key))
                return false;
            skipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != ':')
                return fail("expected ':'");
            ++m_pos;
            value.members.emplace_back(key, Value());
            if (!parseValue(value.members.back().second, depth + 1))
                return false;
            skipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() && m_text[m_pos] == '}')
                return ++m_pos, true;
            return fail("expected ',' or '}'");
        }
    }

    const std::string &m_text;
    size_t m_pos = 0;
    std::string m_error;
};

bool parseHex16(const std::string &text, uint16_t &out)
{
    if (text.empty() || text.size() > 4)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    out = static_cast<uint16_t>(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

bool readDevice(const Value &object, const std::string &where, DeviceConfig &device, std::string &error)
{
    if (object.kind != Value::Object) {
        error = where + ": expected an object, got " + kindName(object.kind);
        return false;
    }
    std::set<std::string> seen;
    for (const auto &[key, value] : object.members) {
        const std::string at = where + "." + key;
        auto expect = [&](Value::Kind kind) {
            if (value.kind == kind)
                return true;
            error = at + ": expected " + kindName(kind) + ", got " + kindName(value.kind);
            return false;
        };
        if (!seen.insert(key).second) {
            error = at + ": given twice";
            return false;
        }
        if (key == "id") {
            if (!expect(Value::String))
                return false;
            if (value.text.empty() || value.text.find_first_of(" \t\r\n") != std::string::npos) {
                error = at + ": expected a non-empty id without blanks";
                return false;
            }
            device.id = value.text;
        } else if (key == "vendorId" || key == "productId" || key == "usagePage") {
            if (!expect(Value::String))
                return false;
            uint16_t number = 0;
            if (!parseHex16(value.text, number)) {
                error = at + ": expected 1 to 4 hexadecimal digits, got \"" + value.text + "\"";
                return false;
            }
            (key == "vendorId"    ? device.vendorId
             : key == "productId" ? device.productId
                                  : device.usagePage) = number;
        } else if (key == "interface") {
            if (!expect(Value::Number))
                return false;
            if (value.number != static_cast<int>(value.number) || value.number < 0 || value.number > 255) {
                error = at + ": expected a whole number from 0 to 255";
                return false;
            }
            device.interfaceNumber = static_cast<int>(value.number);
        } else if (key == "identity") {
            if (!expect(Value::String))
                return false;
            if (!parseIdentity(value.text, device.identity)) {
                error = at + ": expected exactly 8 hexadecimal digits, got \"" + value.text + "\"";
                return false;
            }
        } else if (key == "surround") {
            if (!expect(Value::Number))
                return false;
            if (value.number != 0 && value.number != 1) {
                error = at + ": expected 0 or 1";
                return false;
            }
            device.surround = static_cast<int>(value.number);
        } else if (key == "plugged") {
            if (!expect(Value::Bool))
                return false;
            device.plugged = value.boolean;
        } else {
            error = at + ": unknown key";
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<DeviceConfig> defaultDevices()
{
    DeviceConfig headset;
    DeviceConfig consumer;
    consumer.id = "headset-consumer";
    consumer.interfaceNumber = 0;
    consumer.usagePage = 0x000c;
    return {headset, consumer};
}

bool parseIdentity(const std::string &text, std::array<uint8_t, 4> &identity)
{
    if (text.size() != 8)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    for (size_t i = 0; i < 4; ++i)
        identity[i] = static_cast<uint8_t>(std::strtoul(text.substr(2 * i, 2).c_str(), nullptr, 16));
    return true;
}

ConfigResult parseConfig(const std::string &text)
{
    ConfigResult result;
    Value root;
    Parser parser(text);
    if (!parser.parseDocument(root, result.error))
        return result;
    if (root.kind != Value::Object) {
        result.error = "expected an object at the top, got " + std::string(kindName(root.kind));
        return result;
    }
    std::set<std::string> ids;
    // Without "devices" the file describes the one default headset.
    result.devices = {DeviceConfig()};
    bool devicesSeen = false;
    for (const auto &[key, value] : root.members) {
        if (key != "devices") {
            result.error = key + ": unknown key";
            result.devices.clear();
            return result;
        }
        if (devicesSeen) {
            result.error = "devices: given twice";
            result.devices.clear();
            return result;
        }
        devicesSeen = true;
        if (value.kind != Value::Array) {
            result.error = "devices: expected an array, got " + std::string(kindName(value.kind));
            result.devices.clear();
            return result;
        }
        result.devices.clear();
        for (size_t i = 0; i < value.items.size(); ++i) {
            DeviceConfig device;
            const std::string where = "devices[" + std::to_string(i) + "]";
            if (!readDevice(value.items[i], where, device, result.error)) {
                result.devices.clear();
                return result;
            }
            if (!ids.insert(device.id).second) {
                result.error = where + ".id: \"" + device.id + "\" is used twice";
                result.devices.clear();
                return result;
            }
            result.devices.push_back(device);
        }
    }
    result.ok = true;
    return result;
}

} // namespace emulator
