#include "base/ipv4_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t net(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t v;
    memcpy(&v, bytes, 4);
    return v;
}

TEST(ParseIpv4, DottedForms) {
    EXPECT_EQ(parse_ipv4("127.0.0.1"), net(127, 0, 0, 1));
    EXPECT_EQ(parse_ipv4("192.168.1.20"), net(192, 168, 1, 20));
    EXPECT_EQ(parse_ipv4("10.1"), net(10, 0, 0, 1));
    EXPECT_EQ(parse_ipv4("127.1.258"), net(127, 1, 1, 2));
    EXPECT_EQ(parse_ipv4("0x7f.0.0.010"), net(127, 0, 0, 8));
    EXPECT_EQ(parse_ipv4("2130706433"), net(127, 0, 0, 1));
    EXPECT_EQ(parse_ipv4("255.255.255.255"), ipv4_none);
    EXPECT_EQ(parse_ipv4("1.2.3.4 "), net(1, 2, 3, 4));
}

TEST(ParseIpv4, TextThatIsNoAddress) {
    for (const char* text : {"", "device.local", "1.2.3.4.5", "256.1.1.1", "1.2.3.256", "1..2",
                             "1.2.3.", "08.1.1.1", "0x.1.1.1", "99999999999", "1.2.3.4x"})
        EXPECT_EQ(parse_ipv4(text), ipv4_none) << text;
}

} // namespace
