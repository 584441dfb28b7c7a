#pragma once

// Input reports read from the headset but not handled yet, oldest first, in a fixed
// ring: the receive thread reads ahead into it so that the kernel's small per-reader
// queue never fills while a reply is being handled.

#include "device/reportformat.h"

#include <array>

class ReportBacklog
{
  public:
    static constexpr int kCapacity = 1024;

    bool empty() const { return m_count == 0; }
    bool full() const { return m_count == kCapacity; }

    // Keeps a report of 1 to report::kBufferSize bytes; false (and nothing kept) when full
    // or when the length is out of that range.
    bool put(const unsigned char *bytes, int length);
    // Copies the oldest report into buffer (report::kBufferSize bytes) and returns its
    // length, or 0 when there is none.
    int take(unsigned char *buffer);

  private:
    struct Slot {
        unsigned char bytes[report::kBufferSize];
        int length;
    };
    std::array<Slot, kCapacity> m_slots{};
    int m_first = 0;
    int m_count = 0;
};
