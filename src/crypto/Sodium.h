#pragma once

#include <array>
#include <cstddef>

// libsodium is started on the first call; when it cannot start, every function of this library fails
// as a value and the program runs as a peer without keys.
bool SodiumReady();

// Overwrites memory in a way the compiler cannot leave out.
void WipeMemory(void *data, size_t size);

// Secret bytes of a fixed size that are overwritten when they go. Copies are copies of their own,
// unlike QByteArray, whose shared data could not be wiped safely.
template <size_t N> class SecretBytes {
public:
    SecretBytes() { m_bytes.fill(0); }
    SecretBytes(const SecretBytes &) = default;
    SecretBytes &operator=(const SecretBytes &) = default;
    ~SecretBytes() { WipeMemory(m_bytes.data(), N); }

    unsigned char *data() { return m_bytes.data(); }
    const unsigned char *data() const { return m_bytes.data(); }
    static constexpr size_t size() { return N; }

private:
    std::array<unsigned char, N> m_bytes;
};
