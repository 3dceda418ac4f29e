#include "base/text8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// True when s is well-formed UTF-8 with no encoded surrogate or overlong form.
bool valid_utf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        size_t n = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 9;
        if (n == 9 || i + n >= s.size() + (n == 0 ? 1 : 0)) return false;
        if (b == 0xC0 || b == 0xC1) return false;
        for (size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n + 1;
    }
    return true;
}

TEST(Text8, EveryByteBecomesValidUtf8AndComesBack) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += char(b);
    std::string utf8 = text8_to_utf8(all);
    EXPECT_TRUE(valid_utf8(utf8));
    EXPECT_EQ(utf8_to_text8(utf8), all);
}

TEST(Text8, KnownCharacters) {
    EXPECT_EQ(text8_to_utf8("v/65"), "v/65");
    EXPECT_EQ(text8_to_utf8("\xE9"), "\xC3\xA9");     // e acute
    EXPECT_EQ(text8_to_utf8("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(utf8_to_text8("\xE2\x82\xAC"), "\x80");
    EXPECT_EQ(utf8_to_text8("\xE4\xB8\xAD"), "?"); // no byte for it
}

TEST(Text8, MalformedUtf8DoesNotReadPastTheEnd) {
    EXPECT_EQ(utf8_to_text8(std::string("a\xE2\x82", 3)), "a\xE2\x82");
    EXPECT_EQ(utf8_to_text8("\xC3"), "\xC3");
    EXPECT_EQ(utf8_to_text8("\xC3(").size(), 2u);
}

} // namespace
