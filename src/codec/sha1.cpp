#include "codec/sha1.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t rol(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

void compress(std::array<uint32_t, 5>& h, const uint8_t* p) {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t)
        w[t] = uint32_t(p[4 * t]) << 24 | uint32_t(p[4 * t + 1]) << 16 |
               uint32_t(p[4 * t + 2]) << 8 | uint32_t(p[4 * t + 3]);
    for (int t = 16; t < 80; ++t) w[t] = rol(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int t = 0; t < 80; ++t) {
        uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        uint32_t temp = rol(a, 5) + f + e + w[t] + k;
        e = d;
        d = c;
        c = rol(b, 30);
        b = a;
        a = temp;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

} // namespace

void sha1_update(Sha1& s, const void* data, size_t len) {
    auto p = static_cast<const uint8_t*>(data);
    s.total_len += len;
    while (len > 0) {
        size_t take = 64 - s.block_len;
        if (take > len) take = len;
        memcpy(s.block.data() + s.block_len, p, take);
        s.block_len += take;
        p += take;
        len -= take;
        if (s.block_len == 64) {
            compress(s.h, s.block.data());
            s.block_len = 0;
        }
    }
}

std::array<uint8_t, 20> sha1_final(Sha1& s) {
    uint64_t bits = s.total_len * 8;
    s.block[s.block_len++] = 0x80;
    if (s.block_len > 56) {
        memset(s.block.data() + s.block_len, 0, 64 - s.block_len);
        compress(s.h, s.block.data());
        s.block_len = 0;
    }
    memset(s.block.data() + s.block_len, 0, 56 - s.block_len);
    for (int i = 0; i < 8; ++i) s.block[56 + i] = uint8_t(bits >> (56 - 8 * i));
    compress(s.h, s.block.data());

    std::array<uint8_t, 20> digest{};
    for (int i = 0; i < 20; ++i) digest[i] = uint8_t(s.h[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

void sha1_hex(const std::array<uint8_t, 20>& digest, char* out) {
    static constexpr char hex[] = "0123456789ABCDEF";
    for (int i = 0; i < 20; ++i) {
        out[2 * i] = hex[digest[i] >> 4];
        out[2 * i + 1] = hex[digest[i] & 15];
    }
    out[40] = '\0';
}

int file_sha1_hex(const char* path, char* out) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) return 1;
    Sha1 s;
    unsigned char chunk[1024];
    for (;;) {
        size_t n = fread(chunk, 1, sizeof chunk, f);
        if (n > 0) {
            sha1_update(s, chunk, n);
            continue;
        }
        if (ferror(f)) {
            fclose(f);
            return 2;
        }
        break;
    }
    fclose(f);
    sha1_hex(sha1_final(s), out);
    return 0;
}
