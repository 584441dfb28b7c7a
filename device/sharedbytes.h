#pragma once

// A multi-byte field that one thread writes and another reads: every load returns a
// consistent copy of one whole store, never a mix of two.

#include <algorithm>
#include <array>
#include <cstddef>
#include <mutex>

template <std::size_t N> class SharedBytes
{
  public:
    using Bytes = std::array<unsigned char, N>;

    Bytes load() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes;
    }
    void store(const Bytes &bytes)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bytes = bytes;
    }
    // Copies N bytes from `bytes`.
    void store(const unsigned char *bytes)
    {
        Bytes copy;
        std::copy(bytes, bytes + N, copy.begin());
        store(copy);
    }

  private:
    mutable std::mutex m_mutex;
    Bytes m_bytes{};
};
