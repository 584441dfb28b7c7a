#include "replyrules.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace replyrules
{

namespace
{
const char kVersionText[] = "HSEMU-1.0.0";
}

uint8_t checksum(const uint8_t *data, size_t count)
{
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += data[i];
    return static_cast<uint8_t>(sum);
}

Report buildReply(uint8_t command, const std::vector<uint8_t> &payload, bool longReport)
{
    Report reply(longReport ? 64 : 32, 0);
    reply[0] = longReport ? kLongReply : kShortReply;
    reply[1] = 0x30;
    reply[2] = 0x18;
    reply[3] = 0x80;
    reply[kCommandByte] = command;
    reply[kLengthByte] = static_cast<uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), reply.begin() + kPayloadStart);
    reply[kPayloadStart + payload.size()] = checksum(reply.data(), kPayloadStart + payload.size());
    return reply;
}

bool carriesStatus(uint8_t command, bool &known)
{
    switch (command) {
    case ReadAudio:
    case SetPEQ:
    case SetVol:
    case SetAlgorithmSwitch:
    case ReadStatus:
        known = true;
        return true;
    case ReadVersion:
    case SpectrumSwitch:
        known = true;
        return false;
    default:
        known = false;
        return false;
    }
}

Answer answer(const Report &request, const Headset &headset)
{
    Answer result;
    const size_t length = request.size();
    const uint8_t *data = request.data();
    if (length != 32 && length != 64)
        return result;
    if (!((data[0] == kShortRequest && length == 32) || (data[0] == kLongRequest && length == 64)))
        return result;
    if (data[1] != 0x30 || data[2] != 0x80 || data[3] != 0x18)
        return result;
    const size_t n = data[kLengthByte];
    if (kPayloadStart + n >= length || data[kPayloadStart + n] != checksum(data, kPayloadStart + n))
        return result;
    const uint8_t command = data[kCommandByte];
    const uint8_t *payload = data + kPayloadStart;
    const auto found = headset.replyStatus.find(command);
    const uint8_t status = found == headset.replyStatus.end() ? 0 : found->second;
    switch (command) {
    case ReadVersion: {
        std::vector<uint8_t> reply(21, 0);
        reply[0] = 1; // version kind 1: a version text follows
        std::memcpy(reply.data() + 1, kVersionText, std::strlen(kVersionText));
        result.replies.push_back(buildReply(command, reply, false));
        break;
    }
    case ReadAudio:
        // status, sample-rate code (3: 48000 Hz), a further value, 7.1 surround support
        result.replies.push_back(
            buildReply(command, {status, 3, 0, static_cast<uint8_t>(headset.surround)}, true));
        break;
    case SetPEQ:
        if (n >= 3)
            result.replies.push_back(buildReply(command, {status, payload[1], payload[2]}, true));
        break;
    case SetVol:
        result.replies.push_back(buildReply(command, {status}, false));
        break;
    case SetAlgorithmSwitch:
        result.replies.push_back(buildReply(command, {status}, true));
        break;
    case ReadStatus: {
        const auto &id = headset.identity;
        result.replies.push_back(buildReply(command, {status, 0, 0, id[0], id[1], id[2], id[3]}, true));
        break;
    }
    case SpectrumSwitch:
        if (n >= 1 && payload[0] <= 1)
            result.spectrum = payload[0] == 1 ? Answer::Stream::Start : Answer::Stream::Stop;
        break;
    default:
        break;
    }
    return result;
}

bool parseHexReport(const std::string &text, Report &report)
{
    if (text.empty() || text.size() % 2 != 0 || text.size() / 2 > kMaxInjectedBytes)
        return false;
    report.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const auto digit = [](char c) {
            return c >= '0' && c <= '9' ? c - '0'
                 : c >= 'a' && c <= 'f' ? c - 'a' + 10
                 : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                        : -1;
        };
        const int high = digit(text[i]), low = digit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        report.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

uint32_t SpectrumSource::noise()
{
    m_seed ^= m_seed << 13;
    m_seed ^= m_seed >> 17;
    m_seed ^= m_seed << 5;
    return m_seed;
}

Report SpectrumSource::nextFrame(int framesPerSecond)
{
    const double t = static_cast<double>(m_frameIndex++) / framesPerSecond;
    const double beatPhase = std::fmod(t, 0.5) / 0.5;
    const double kick = std::exp(-6.0 * beatPhase);
    std::vector<uint8_t> levels(kSpectrumBands);
    for (int band = 0; band < kSpectrumBands; ++band) {
        const double position = static_cast<double>(band) / (kSpectrumBands - 1);
        const double slope = 70.0 - 40.0 * position;
        const double swell = 0.55 + 0.3 * std::sin(2 * M_PI * (0.4 + 0.9 * position) * t + band * 0.7);
        const double jitter = static_cast<double>(noise() % 13) - 6.0;
        const double level = slope * swell + 30.0 * kick * (1.0 - position) + jitter;
        levels[band] = static_cast<uint8_t>(std::clamp(level, 0.0, 100.0));
    }
    return buildReply(SpectrumSwitch, levels, true);
}

} // namespace replyrules
