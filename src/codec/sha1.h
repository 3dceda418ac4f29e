// SHA-1 (FIPS 180-1).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct Sha1 {
    std::array<uint32_t, 5> h{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    std::array<uint8_t, 64> block{};
    size_t block_len = 0;
    uint64_t total_len = 0; // bytes
};

void sha1_update(Sha1& s, const void* data, size_t len);
std::array<uint8_t, 20> sha1_final(Sha1& s);

// Digest of the whole file as 40 upper-case hexadecimal characters and a
// terminator in out (at least 41 bytes). Returns 0, 1 when the file cannot be
// opened, 2 on a read error.
int file_sha1_hex(const char* path, char* out);

// Writes the 40 hexadecimal characters of a digest and a terminator.
void sha1_hex(const std::array<uint8_t, 20>& digest, char* out);
