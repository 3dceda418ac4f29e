#include "base/text8.h"

#include <cstdint>

namespace {

// Windows-1252 in 0x80..0x9F; the five undefined bytes keep their own code.
constexpr uint16_t cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t code_point(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? cp1252_high[byte - 0x80] : byte;
}

int byte_of(uint32_t cp) {
    for (int i = 0; i < 32; ++i)
        if (cp1252_high[i] == cp) return 0x80 + i;
    if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) return int(cp);
    return -1;
}

} // namespace

std::string text8_to_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        uint32_t cp = code_point(c);
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string utf8_to_text8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        auto b = static_cast<unsigned char>(utf8[i]);
        size_t extra = b >= 0xF0 && b < 0xF8   ? 3
                       : b >= 0xE0 && b < 0xF0 ? 2
                       : b >= 0xC0 && b < 0xE0 ? 1
                                               : 0;
        uint32_t cp = b & (0x3Fu >> extra);
        bool ok = extra > 0 && i + extra < utf8.size();
        for (size_t k = 1; ok && k <= extra; ++k) {
            auto cb = static_cast<unsigned char>(utf8[i + k]);
            ok = (cb & 0xC0) == 0x80;
            cp = (cp << 6) | (cb & 0x3Fu);
        }
        if (!ok) {
            out += char(b); // ASCII, or a stray byte taken as it is
            ++i;
            continue;
        }
        int byte = byte_of(cp);
        out += byte < 0 ? '?' : char(byte);
        i += extra + 1;
    }
    return out;
}
