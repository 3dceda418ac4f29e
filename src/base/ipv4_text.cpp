#include "base/ipv4_text.h"

#include <cstdio>
#include <cstring>

namespace {

// Reads one number; false when there is no digit or it exceeds 32 bits.
bool read_part(const char*& p, uint64_t* value) {
    unsigned base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    } else if (p[0] == '0') {
        base = 8;
    }
    uint64_t v = 0;
    int digits = 0;
    for (;; ++p, ++digits) {
        char c = *p;
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = unsigned(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = unsigned(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = unsigned(c - 'A' + 10);
        } else {
            break;
        }
        if (d >= base) return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFu) return false;
    }
    *value = v;
    return digits > 0;
}

} // namespace

uint32_t parse_ipv4(const char* text) {
    uint64_t parts[4];
    int count = 0;
    const char* p = text;
    for (;;) {
        if (count == 4 || !read_part(p, &parts[count])) return ipv4_none;
        ++count;
        if (*p != '.') break;
        ++p;
    }
    while (*p == ' ' || *p == '\t') ++p; // trailing blanks are tolerated
    if (*p != '\0') return ipv4_none;

    uint64_t host = 0;
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xFF) return ipv4_none;
        host |= parts[i] << (24 - 8 * i);
    }
    uint64_t last_max = 0xFFFFFFFFu >> (8 * (count - 1));
    if (parts[count - 1] > last_max) return ipv4_none;
    host |= parts[count - 1];

    const uint8_t bytes[4] = {uint8_t(host >> 24), uint8_t(host >> 16), uint8_t(host >> 8),
                              uint8_t(host)};
    uint32_t address;
    memcpy(&address, bytes, sizeof address);
    return address;
}

bool parse_device_address(const char* text, uint32_t& address) {
    uint8_t bytes[4];
    const char* p = text;
    for (uint8_t& byte : bytes) {
        if (&byte != bytes && *p++ != '.') return false;
        unsigned value = 0, digits = 0;
        for (; *p >= '0' && *p <= '9' && digits < 4; ++p, ++digits)
            value = value * 10 + unsigned(*p - '0');
        if (digits == 0 || digits > 3 || value > 255) return false;
        byte = uint8_t(value);
    }
    memcpy(&address, bytes, sizeof address);
    return *p == '\0' && address != 0 && address != ipv4_none;
}

const char* dotted(uint32_t address) {
    static char text[16];
    uint8_t b[4];
    memcpy(b, &address, 4);
    snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}
