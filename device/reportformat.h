#pragma once

// The byte layout of the reports exchanged with the headset, as pure functions over
// bytes: no I/O, no shared state, so a table-driven test covers them whole.
//
// Request (host to headset), 32 or 64 bytes, zero-filled:
//   0 report id 0x4E (32 bytes) or 0x4F (64 bytes) | 1..3 30 80 18 | 4 command |
//   5 payload length n | 6.. payload | 6+n checksum over bytes 0..5+n
// Reply (headset to host): the same, but report id 0x23 or 0x24 and bytes 2 and 3
// swapped (30 18 80).

#include <array>
#include <cstddef>
#include <vector>

namespace report
{

constexpr int kShortReportSize = 32;
constexpr int kLongReportSize = 64;
// Every buffer is a full long report; a short report uses its first 32 bytes.
constexpr int kBufferSize = kLongReportSize;

constexpr int kReportIdByte = 0;
constexpr int kMarkerByte = 1;
constexpr int kDirectionByte1 = 2;
constexpr int kDirectionByte2 = 3;
constexpr int kCommandByte = 4;
constexpr int kLengthByte = 5;
constexpr int kPayloadStart = 6;

constexpr unsigned char kShortRequestId = 0x4E; // "N"
constexpr unsigned char kLongRequestId = 0x4F;  // "O"
constexpr unsigned char kShortReplyId = 0x23;   // "#"
constexpr unsigned char kLongReplyId = 0x24;    // "$"
constexpr unsigned char kMarker = 0x30;
constexpr unsigned char kHostToDevice1 = 0x80, kHostToDevice2 = 0x18;
constexpr unsigned char kDeviceToHost1 = 0x18, kDeviceToHost2 = 0x80;

// The payload byte of a reply that carries the headset's verdict on the request.
constexpr int kStatusPayloadByte = 0;
constexpr unsigned char kStatusRejected = 1;

constexpr int kPeqPayloadSize = 38;
constexpr int kSpectrumBandCount = 57;
constexpr int kVersionSize = 20;
constexpr int kIdentitySize = 4;

} // namespace report

enum HidCommand : unsigned char {
    CmdReadVersion = 0x01,
    CmdReadAudio = 0x20,
    CmdSetPEQ = 0x21,
    CmdSetVol = 0x30,
    CmdSetAlgorithmSwitch = 0x31,
    CmdReadStatus = 0x32,
    CmdSpectrumSwitch = 0x99,
};

using Report = std::array<unsigned char, report::kBufferSize>;

// 8-bit additive checksum: the sum of the first `count` bytes modulo 256.
unsigned char usbHidCheckSum(const unsigned char *data, int count);

// The number of bytes a report with this first byte has on the wire: 32 for 0x4E,
// 64 for 0x4F, 0 for anything else (which must not be written).
int requestLength(unsigned char reportId);

// A complete request in a zeroed 64-byte buffer. A payload that would push the checksum
// past the report is cut short so the checksum still fits.
Report buildRequest(unsigned char reportId, unsigned char command, const unsigned char *payload,
                    int payloadLength);

// True for a well-formed reply of 32 or 64 bytes: reply id, marker and direction bytes,
// a length byte that keeps the checksum inside the received report, and a matching
// checksum. Reads no byte at or past `length`.
bool validateReply(const unsigned char *bytes, int length);

// The 38-byte SetPEQ payload. The five band records are filled only for the halves
// 0..4 and 5..9; any other pair sends an empty band area. `gains` are the ten band
// gains in decibels (missing ones count as 0).
std::array<unsigned char, report::kPeqPayloadSize>
buildPeqPayload(int firstByte, int firstBand, int lastBand, int modeNumber, const std::vector<int> &gains);
