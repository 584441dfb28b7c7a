#include "device/reportbacklog.h"

#include <cstring>

bool ReportBacklog::put(const unsigned char *bytes, int length)
{
    if (full() || length < 1 || length > report::kBufferSize)
        return false;
    Slot &slot = m_slots[size_t((m_first + m_count) % kCapacity)];
    std::memcpy(slot.bytes, bytes, size_t(length));
    slot.length = length;
    ++m_count;
    return true;
}

int ReportBacklog::take(unsigned char *buffer)
{
    if (empty())
        return 0;
    const Slot &slot = m_slots[size_t(m_first)];
    std::memcpy(buffer, slot.bytes, size_t(slot.length));
    m_first = (m_first + 1) % kCapacity;
    --m_count;
    return slot.length;
}
