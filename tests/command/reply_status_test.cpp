// The reply text's status bytes and data part, without a link.
#include "command/command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ReplyStatus, BytesFromTheirPlaces) {
    struct Case {
        const char* reply;
        ReplyStatus status;
    };
    const Case cases[] = {
        {"00/80/24/data", {0x00, 0x80, 0x24}},
        {"0e/00/00/", {0x0E, 0x00, 0x00}},
        {"1a/FF/c3", {0x1A, 0xFF, 0xC3}},  // lower case, no data
        {"g0/00/00/", {0xFF, 0x00, 0x00}}, // not hexadecimal
        {"00/0", {0x00, 0xFF, 0xFF}},      // past the end: never an older reply's bytes
        {"", {0xFF, 0xFF, 0xFF}},
        {"00/00/0", {0x00, 0x00, 0xFF}}, // one digit of the third byte
    };
    for (const Case& c : cases) {
        ReplyStatus s = decode_reply_status(c.reply, strlen(c.reply));
        EXPECT_EQ(s.error_code, c.status.error_code) << c.reply;
        EXPECT_EQ(s.device_status, c.status.device_status) << c.reply;
        EXPECT_EQ(s.function_status, c.status.function_status) << c.reply;
    }
}

TEST(ReplyStatus, DataCopyNeverClaimsMoreThanArrivedOrFits) {
    struct Case {
        std::string reply;
        size_t capacity;
        std::string data;
    };
    const Case cases[] = {
        {"00/00/00/abc", 100, "abc"},
        {"00/00/00/", 100, ""}, // nine characters: no data
        {"00/00/00", 100, ""},
        {"00/0", 100, ""},
        {"00/00/00/abcdef", 4, "abc"}, // cut to the caller's buffer
        {"00/00/00/abc", 1, ""},
        {"00/00/00/" + std::string(990, 'd'), 200, std::string(199, 'd')},
    };
    for (const Case& c : cases) {
        std::string out(c.capacity + 1, '#'); // one guard byte past the capacity
        size_t n = copy_reply_data(c.reply.c_str(), c.reply.size(), out.data(), c.capacity);
        EXPECT_EQ(n, c.data.size()) << c.reply;
        EXPECT_STREQ(out.c_str(), c.data.c_str()) << c.reply;
        EXPECT_EQ(out[c.capacity], '#') << c.reply;
    }
    char untouched = '#';
    EXPECT_EQ(copy_reply_data("00/00/00/abc", 12, &untouched, 0), 0u);
    EXPECT_EQ(untouched, '#');
}

} // namespace
