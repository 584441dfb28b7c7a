#pragma once

// The headset's side of the command set: what it answers to a request, how a reply frame
// is laid out, and the spectrum frames it streams. Plain C++ shared by the in-process
// emulator and the device-side headset of the virtual-machine tests, so both speak
// exactly alike.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace replyrules
{

using Report = std::vector<uint8_t>;

constexpr uint8_t kShortRequest = 0x4E, kLongRequest = 0x4F; // 32 and 64 bytes
constexpr uint8_t kShortReply = 0x23, kLongReply = 0x24;     // 32 and 64 bytes
constexpr int kCommandByte = 4, kLengthByte = 5, kPayloadStart = 6;
constexpr int kSpectrumBands = 57;

enum Command : uint8_t {
    ReadVersion = 0x01,
    ReadAudio = 0x20,
    SetPEQ = 0x21,
    SetVol = 0x30,
    SetAlgorithmSwitch = 0x31,
    ReadStatus = 0x32,
    SpectrumSwitch = 0x99,
};

// What the headset is told to be: its identity, its surround support and the status byte
// each command's replies carry (absent: 0, accepted).
struct Headset {
    std::array<uint8_t, 4> identity = {0x00, 0x1a, 0xb2, 0xff};
    int surround = 1;
    std::map<uint8_t, uint8_t> replyStatus;
};

// The headset's reaction to one report written by the host.
struct Answer {
    std::vector<Report> replies;
    enum class Stream { Unchanged, Start, Stop } spectrum = Stream::Unchanged;
};

uint8_t checksum(const uint8_t *data, size_t count);
Report buildReply(uint8_t command, const std::vector<uint8_t> &payload, bool longReport);

// A malformed request (wrong size for its report id, wrong head, a length byte that puts
// the checksum past the report, a wrong checksum, an unknown command) gets no answer.
Answer answer(const Report &request, const Headset &headset);

// True for the commands whose replies carry a status byte (ReadAudio, SetPEQ, SetVol,
// SetAlgorithmSwitch, ReadStatus); `known` tells whether the code is a command at all.
bool carriesStatus(uint8_t command, bool &known);

// The bytes of an input report written as hexadecimal digits ("2430188032..."), as the
// control command `inject` takes them: 1 to kMaxInjectedBytes bytes, nothing else.
constexpr size_t kMaxInjectedBytes = 1024;
bool parseHexReport(const std::string &text, Report &report);

// Spectrum frames whose levels move like music: a bass-heavy slope, slow swells per
// band, a kick drum twice a second that hits the low bands hardest, and some jitter.
class SpectrumSource
{
  public:
    Report nextFrame(int framesPerSecond);
    void restart() { m_frameIndex = 0; }
    uint32_t noise(); // the jitter's generator, also for other made-up traffic

  private:
    uint64_t m_frameIndex = 0;
    uint32_t m_seed = 0x2545F491;
};

} // namespace replyrules
