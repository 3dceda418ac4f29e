// The BMP loader: the input is the whole file, read as a stream.
#include "check.h"
#include "logo/logo.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The table of checks, stated on its own, in its order: the message of the
// first that fails, or nullptr.
const char* refusal_by_rule(const uint8_t* f, size_t size) {
    if (size < 54) return "File error: Could not read bitmap header";
    int bits = int16_t(f[28] | f[29] << 8);
    uint32_t width = le32(f + 18), height = le32(f + 22), offset = le32(f + 10);
    if (bits != 1) return "Format error: BMP file must be back & white format";
    if (width < 1 || width > 256) return "Format error: BMP file width must be in range 1-256";
    if (height < 1 || height > 256) return "Format error: BMP file height must be in range 1-256";
    uint64_t row = (uint64_t(width) + 31) / 32 * 4;
    if (offset > 0x7FFFFFFFu || uint64_t(offset) + row * height > size)
        return "File error: Could not load image data";
    return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint8_t packed[logo_max_side * logo_max_row_bytes + 1];
    packed[sizeof packed - 1] = 0xA5; // one byte past the largest image
    if (size == 0) return 0;          // fmemopen wants a buffer
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (f == nullptr) return 0;
    LogoHeader header{};
    int result = logo_read_file(f, header, packed);
    fclose(f);
    const char* refused = result == result_ok ? nullptr : result_words(result);
    const char* expected = refusal_by_rule(data, size);
    FUZZ_CHECK((refused == nullptr) == (expected == nullptr));
    if (refused != nullptr) {
        FUZZ_CHECK(strcmp(refused, expected) == 0);
        return 0;
    }
    FUZZ_CHECK(packed[sizeof packed - 1] == 0xA5);
    unsigned w = le32(data + 18), h = le32(data + 22);
    FUZZ_CHECK(header.width == w && header.height == h && header.offset == le32(data + 10));
    // Row r of the packed image (top first) is the first ceil(w / 8) bytes
    // of stored row h - 1 - r, the bits as the file holds them.
    size_t row = (size_t(w) + 31) / 32 * 4, bytes = (w + 7) / 8;
    for (size_t r = 0; r < h; ++r)
        FUZZ_CHECK(memcmp(packed + r * bytes, data + header.offset + (h - 1 - r) * row, bytes) ==
                   0);
    return 0;
}
