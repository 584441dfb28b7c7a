// Reply frames as the receive thread hands them over: validation, dispatch on the
// command code and the reply handlers that store the reply state. Checked against an
// independent reading of the frame rules: a frame is dispatched exactly when it is
// valid, returns the right signal code, stores exactly what its handler promises, and
// an invalid frame changes nothing.
//
// Input: a sequence of reports, each one selector byte then up to 64 frame bytes.
//   selector bit 0: a 64-byte report (else 32); bit 1: repair the header and checksum
//   so the frame is valid whatever its content (reaches the handlers more often).
// The whole input is also validated once as a report of its own, odd size, in a buffer
// of exactly that size, so any read past the report shows.

#include "fuzztargets.h"

#include "device/UsbHidOperation.h"
#include "device/reportformat.h"
#include "profiles/jsonfiles.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace
{

using Frame = std::array<unsigned char, report::kBufferSize>;

// The frame rules, written out again from the report layout.
bool referenceValid(const unsigned char *b, int length)
{
    if (length != 32 && length != 64)
        return false;
    if ((b[0] != 0x23 && b[0] != 0x24) || b[1] != 0x30 || b[2] != 0x18 || b[3] != 0x80)
        return false;
    const int at = 6 + b[5];
    if (at >= length)
        return false;
    unsigned sum = 0;
    for (int i = 0; i < at; ++i)
        sum += b[i];
    return b[at] == (sum & 0xFF);
}

int referenceCode(unsigned char command)
{
    switch (command) {
    case 0x20:
        return 20;
    case 0x21:
        return 21;
    case 0x32:
        return 32;
    case 0x99:
        return 99;
    default:
        return 0;
    }
}

// Values no handler would store, so that any change made by a dropped frame shows.
constexpr int kSentinel = 0x5A5A;

struct ReplyState {
    std::array<unsigned char, report::kVersionSize> version;
    int versionSeen;
    int surround;
    int ackFirst, ackLast;
    std::array<unsigned char, report::kIdentitySize> identity;
    std::array<unsigned char, report::kSpectrumBandCount> bands;
    int audioSeen, statusSeen, audioRetries, statusRetries;

    static ReplyState now()
    {
        return {versionInfo.load(),     versionReceived.load(), surroundSupported.load(),
                peqAckFirstBand.load(), peqAckLastBand.load(),  deviceIdBytes.load(),
                spectrumBands.load(),   audioReplySeen.load(),  statusReplySeen.load(),
                audioRetryCount.load(), statusRetryCount.load()};
    }
    bool operator==(const ReplyState &o) const
    {
        return version == o.version && versionSeen == o.versionSeen && surround == o.surround &&
               ackFirst == o.ackFirst && ackLast == o.ackLast && identity == o.identity && bands == o.bands &&
               audioSeen == o.audioSeen && statusSeen == o.statusSeen && audioRetries == o.audioRetries &&
               statusRetries == o.statusRetries;
    }
};

void resetToSentinels()
{
    std::array<unsigned char, report::kVersionSize> version;
    version.fill(0xA5);
    versionInfo.store(version);
    versionReceived = kSentinel;
    surroundSupported = kSentinel;
    peqAckFirstBand = kSentinel;
    peqAckLastBand = kSentinel;
    deviceIdBytes.store(std::array<unsigned char, report::kIdentitySize>{0xA5, 0xA5, 0xA5, 0xA5});
    std::array<unsigned char, report::kSpectrumBandCount> bands;
    bands.fill(0xA5);
    spectrumBands.store(bands);
    audioReplySeen = 0x5A;
    statusReplySeen = 0x5A;
    audioRetryCount = kSentinel;
    statusRetryCount = kSentinel;
}

void repair(Frame &frame, int length)
{
    frame[0] = length == 64 ? 0x24 : 0x23;
    frame[1] = 0x30;
    frame[2] = 0x18;
    frame[3] = 0x80;
    frame[5] = static_cast<unsigned char>(frame[5] % (length - 6));
    const int at = 6 + frame[5];
    frame[at] = usbHidCheckSum(frame.data(), at);
}

// What the handler of a valid frame promises to leave behind, given the state before.
ReplyState expectedAfter(const Frame &f, ReplyState s)
{
    const unsigned char *payload = f.data() + report::kPayloadStart;
    const bool rejected = payload[0] == 1;
    switch (f[report::kCommandByte]) {
    case 0x01:
        s.version.fill(0);
        if (payload[0] >= 1 && payload[0] <= 3)
            std::copy(payload + 1, payload + 1 + report::kVersionSize, s.version.begin());
        s.versionSeen = 1;
        break;
    case 0x20:
        s.audioSeen = 1;
        s.audioRetries = 0;
        if (!rejected)
            s.surround = payload[3];
        break;
    case 0x21:
        s.ackFirst = payload[1];
        s.ackLast = payload[2];
        break;
    case 0x32:
        s.statusSeen = 1;
        s.statusRetries = 0;
        if (!rejected)
            std::copy(payload + 3, payload + 3 + report::kIdentitySize, s.identity.begin());
        break;
    case 0x99:
        std::copy(payload, payload + report::kSpectrumBandCount, s.bands.begin());
        break;
    default:
        break;
    }
    return s;
}

void checkWholeInputAsOneReport(const uint8_t *data, size_t size)
{
    const int length = static_cast<int>(std::min<size_t>(size, 4096));
    std::unique_ptr<unsigned char[]> exact(new unsigned char[length > 0 ? length : 1]);
    if (length > 0)
        std::memcpy(exact.get(), data, length);
    fuzzCheck(validateReply(exact.get(), length) == referenceValid(exact.get(), length));
}

} // namespace

int fuzzReplyDispatch(const uint8_t *data, size_t size)
{
    checkWholeInputAsOneReport(data, size);

    size_t at = 0;
    while (at < size) {
        const uint8_t selector = data[at++];
        const int length = (selector & 1) ? report::kLongReportSize : report::kShortReportSize;
        // As the receive thread does: a zeroed 64-byte buffer, the report at its start.
        Frame frame{};
        const size_t take = std::min<size_t>(static_cast<size_t>(length), size - at);
        std::memcpy(frame.data(), data + at, take);
        at += take;
        if (selector & 2)
            repair(frame, length);

        // Exactly the report's bytes on the heap for validation alone.
        std::unique_ptr<unsigned char[]> exact(new unsigned char[length]);
        std::memcpy(exact.get(), frame.data(), length);
        const bool valid = referenceValid(exact.get(), length);
        fuzzCheck(validateReply(exact.get(), length) == valid);

        resetToSentinels();
        const ReplyState before = ReplyState::now();
        const int code = usbHidDispatchReply(frame.data(), length);
        const ReplyState after = ReplyState::now();
        if (!valid) {
            fuzzCheck(code == NoReplySignal);
            fuzzCheck(after == before);
            continue;
        }
        fuzzCheck(code == referenceCode(frame[report::kCommandByte]));
        fuzzCheck(after == expectedAfter(frame, before));
        // The window turns the identity into its text; eight lower-case digits.
        const auto identity = deviceIdBytes.load();
        const QString text = bytesToHex(identity.data(), static_cast<int>(identity.size()));
        fuzzCheck(text.size() == 8 && text == text.toLower());
    }
    return 0;
}
