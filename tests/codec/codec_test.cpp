#include "codec/base64.h"
#include "codec/sha1.h"
#include "support/sha1_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::string b64(const std::string& data) {
    std::string out(base64_encoded_size(data.size()) + 1, '?');
    size_t n =
        base64_encode(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out.data());
    EXPECT_EQ(n, base64_encoded_size(data.size()));
    EXPECT_EQ(out[n], '\0');
    out.resize(n);
    return out;
}

TEST(Sha1, StandardVectors) {
    EXPECT_EQ(sha1_of(""), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    EXPECT_EQ(sha1_of("abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(sha1_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
    std::string eighty;
    for (int i = 0; i < 80; ++i) eighty += "01234567";
    EXPECT_EQ(sha1_of(eighty), "DEA356A2CDDD90C7A7ECEDC5EBB563934F460452");
}

TEST(Sha1, OneMillionA) {
    // Fed in uneven pieces so that block boundaries fall inside updates.
    Sha1 s;
    std::string piece(997, 'a');
    size_t left = 1000000;
    while (left > 0) {
        size_t n = left < piece.size() ? left : piece.size();
        sha1_update(s, piece.data(), n);
        left -= n;
    }
    char hex[41];
    sha1_hex(sha1_final(s), hex);
    EXPECT_STREQ(hex, "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

class FileSha1 : public ::testing::Test {
  protected:
    // CTest runs this fixture's tests at once: each needs its own folder, or one's TearDown
    // removes the files another is still writing.
    std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / ("varnoke_sha1_" + std::to_string(getpid()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(size_t n) {
        auto path = dir / ("f" + std::to_string(n));
        FILE* f = fopen(path.c_str(), "wb");
        if (f == nullptr) return {};
        for (size_t i = 0; i < n; ++i) fputc(int((i * 7 + 3) & 0xFF), f);
        fclose(f);
        return path.string();
    }
};

TEST_F(FileSha1, PaddingBoundariesAndChunkedReads) {
    // Digests of bytes (i * 7 + 3) mod 256 from an independent implementation.
    const std::pair<size_t, const char*> cases[] = {
        {0, "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
        {55, "DDF57317EF34BFEE3B6DF83D359098930EB278BC"},
        {56, "A0D492BB0FC889D0ECA3BC137066AB6F4F74F369"},
        {64, "BEDE92BE29C3874E1B54DDC77988D606FC857A8E"},
        {1025, "7A791C34AA744F69A0A094497E00F7C7ACEFCBB6"},
    };
    for (auto [size, digest] : cases) {
        char out[41];
        ASSERT_EQ(file_sha1_hex(write(size).c_str(), out), 0) << size;
        EXPECT_STREQ(out, digest) << size;
    }
}

TEST_F(FileSha1, MissingFileIsResultOne) {
    char out[41] = "untouched";
    EXPECT_EQ(file_sha1_hex((dir / "absent").c_str(), out), 1);
    EXPECT_STREQ(out, "untouched");
}

TEST(Base64, Rfc4648Vectors) {
    EXPECT_EQ(b64(""), "");
    EXPECT_EQ(b64("f"), "Zg==");
    EXPECT_EQ(b64("fo"), "Zm8=");
    EXPECT_EQ(b64("foo"), "Zm9v");
    EXPECT_EQ(b64("foob"), "Zm9vYg==");
    EXPECT_EQ(b64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(b64("foobar"), "Zm9vYmFy");
}

TEST(Base64, HighBytesAndBlockSizes) {
    EXPECT_EQ(b64(std::string("\xFF\xFE\xFD\x00\x0A", 5)), "//79AAo=");
    std::string block(750, '\n');
    std::string text = b64(block);
    EXPECT_EQ(text.size(), 1000u);
    EXPECT_EQ(text.find_first_of("=\r\n"), std::string::npos);
    EXPECT_EQ(b64(std::string(450, 'x')).size(), 600u);
}

} // namespace
