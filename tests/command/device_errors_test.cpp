#include "command/command.h"
#include "command/device_errors.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DeviceErrors, RowsByCode) {
    ASSERT_NE(device_error_row(0x01), nullptr);
    EXPECT_STREQ(device_error_row(0x01)->name, "NUMFIELDS");
    EXPECT_STREQ(device_error_row(0x0E)->name, "BUSY");
    EXPECT_STREQ(device_error_row(0x12)->description, "Data passed for signinig are of bad format");
    EXPECT_STREQ(device_error_row(0x1D)->action, "Device need fiscal replacement (service)");
    EXPECT_STREQ(device_error_row(0x25)->name, "BADCHARINSTREAM");
    EXPECT_STREQ(device_error_row(0x80)->name, "ZERO_Z_ALERT");
    EXPECT_STREQ(device_error_row(0x80)->action, "The application is going to take zero 'Z'.");
    for (int code : {0x00, 0x26, 0x7F, 0x81, 0xFF, -1})
        EXPECT_EQ(device_error_row(code), nullptr) << code;
    EXPECT_STREQ(device_error_table[0].name, "OK");
}

TEST(DeviceErrors, EveryRowHasTexts) {
    for (size_t i = 1; i < device_error_table.size(); ++i) {
        EXPECT_GT(std::string(device_error_table[i].name).size(), 1u) << i;
        EXPECT_GT(std::string(device_error_table[i].description).size(), 5u) << i;
        EXPECT_GT(std::string(device_error_table[i].action).size(), 5u) << i;
    }
}

TEST(DecodeHexByte, DigitsOfEitherCase) {
    EXPECT_EQ(decode_hex_byte("00"), 0);
    EXPECT_EQ(decode_hex_byte("1a"), 0x1A);
    EXPECT_EQ(decode_hex_byte("1A"), 0x1A);
    EXPECT_EQ(decode_hex_byte("fF"), 0xFF);
    EXPECT_EQ(decode_hex_byte("80"), 0x80);
    EXPECT_EQ(decode_hex_byte("g0"), -1);
    EXPECT_EQ(decode_hex_byte("0g"), -1);
    EXPECT_EQ(decode_hex_byte("/0"), -1);
    EXPECT_EQ(decode_hex_byte(":0"), -1);
    EXPECT_EQ(decode_hex_byte("0"), -1); // the terminator is not a digit
}

} // namespace
