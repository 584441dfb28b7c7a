#include "device/reportformat.h"

#include <algorithm>

namespace
{

struct BandRecord {
    unsigned short frequency; // centre frequency in hertz
    unsigned short shape;     // band-shape value the headset expects for this band
};

// One row per equaliser band, 30 Hz first; sent big-endian in the SetPEQ band records.
constexpr BandRecord kBands[10] = {
    {30, 2000},    // 00 1E, 07 D0
    {60, 2000},    // 00 3C, 07 D0
    {120, 2000},   // 00 78, 07 D0
    {250, 2000},   // 00 FA, 07 D0
    {500, 2000},   // 01 F4, 07 D0
    {1000, 2000},  // 03 E8, 07 D0
    {2000, 2000},  // 07 D0, 07 D0
    {4000, 4000},  // 0F A0, 0F A0
    {8000, 4000},  // 1F 40, 0F A0
    {16000, 4000}, // 3E 80, 0F A0
};

constexpr int kBandsPerHalf = 5;
constexpr int kBandRecordSize = 5;
// Payload offsets of the SetPEQ request.
constexpr int kPeqFirstByte = 0;
constexpr int kPeqFirstBand = 1;
constexpr int kPeqLastBand = 2;
constexpr int kPeqBandArea = 4;
constexpr int kPeqModeNumber = 37;

} // namespace

unsigned char usbHidCheckSum(const unsigned char *data, int count)
{
    unsigned int sum = 0;
    for (int i = 0; i < count; ++i)
        sum += data[i];
    return static_cast<unsigned char>(sum & 0xFF);
}

int requestLength(unsigned char reportId)
{
    switch (reportId) {
    case report::kShortRequestId:
        return report::kShortReportSize;
    case report::kLongRequestId:
        return report::kLongReportSize;
    default:
        return 0;
    }
}

Report buildRequest(unsigned char reportId, unsigned char command, const unsigned char *payload,
                    int payloadLength)
{
    using namespace report;
    Report frame{};
    const int size = requestLength(reportId) ? requestLength(reportId) : kLongReportSize;
    payloadLength = std::clamp(payloadLength, 0, size - kPayloadStart - 1);
    frame[kReportIdByte] = reportId;
    frame[kMarkerByte] = kMarker;
    frame[kDirectionByte1] = kHostToDevice1;
    frame[kDirectionByte2] = kHostToDevice2;
    frame[kCommandByte] = command;
    frame[kLengthByte] = static_cast<unsigned char>(payloadLength);
    if (payload)
        std::copy(payload, payload + payloadLength, frame.begin() + kPayloadStart);
    frame[kPayloadStart + payloadLength] = usbHidCheckSum(frame.data(), kPayloadStart + payloadLength);
    return frame;
}

bool validateReply(const unsigned char *bytes, int length)
{
    using namespace report;
    if (!bytes || (length != kShortReportSize && length != kLongReportSize))
        return false;
    if (bytes[kReportIdByte] != kShortReplyId && bytes[kReportIdByte] != kLongReplyId)
        return false;
    if (bytes[kMarkerByte] != kMarker || bytes[kDirectionByte1] != kDeviceToHost1 ||
        bytes[kDirectionByte2] != kDeviceToHost2)
        return false;
    const int checksumAt = kPayloadStart + bytes[kLengthByte];
    if (checksumAt >= length)
        return false;
    return bytes[checksumAt] == usbHidCheckSum(bytes, checksumAt);
}

std::array<unsigned char, report::kPeqPayloadSize>
buildPeqPayload(int firstByte, int firstBand, int lastBand, int modeNumber, const std::vector<int> &gains)
{
    std::array<unsigned char, report::kPeqPayloadSize> payload{};
    payload[kPeqFirstByte] = static_cast<unsigned char>(firstByte);
    payload[kPeqFirstBand] = static_cast<unsigned char>(firstBand);
    payload[kPeqLastBand] = static_cast<unsigned char>(lastBand);
    payload[kPeqModeNumber] = static_cast<unsigned char>(modeNumber);

    const bool wholeHalf = lastBand - firstBand == kBandsPerHalf - 1 && (firstBand == 0 || firstBand == 5);
    if (!wholeHalf)
        return payload;
    for (int i = 0; i < kBandsPerHalf; ++i) {
        const int band = firstBand + i;
        const BandRecord &record = kBands[band];
        const int gain = band < static_cast<int>(gains.size()) ? gains[band] : 0;
        unsigned char *out = payload.data() + kPeqBandArea + i * kBandRecordSize;
        out[0] = static_cast<unsigned char>(record.frequency >> 8);
        out[1] = static_cast<unsigned char>(record.frequency & 0xFF);
        out[2] = static_cast<unsigned char>(record.shape >> 8);
        out[3] = static_cast<unsigned char>(record.shape & 0xFF);
        out[4] = static_cast<unsigned char>(gain & 0xFF); // signed byte, two's complement
    }
    return payload;
}
