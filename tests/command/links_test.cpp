#include "base/state.h"
#include "command/links.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every value of connection_kind finds its row, and a value outside them
// all is taken as a COM port that does not exist.
TEST(LinkTable, EveryKindFindsItsRow) {
    const struct {
        int32_t kind;
        const char* name;
        bool network;
        size_t sign_block;
    } cases[] = {
        {kind_first_com, "COM", false, 750},
        {7, "COM", false, 750},
        {kind_last_com, "COM", false, 750},
        {kind_rmlx, "Network", true, 450},
        {kind_tcp, "TCP", true, 750},
        {kind_udp, "UDP", true, 750},
        {0, "COM", false, 750},
        {16, "COM", false, 750},
        {-1, "COM", false, 750},
    };
    for (const auto& c : cases) {
        const LinkKind& link = link_of(c.kind);
        EXPECT_EQ(std::string(link.name), c.name) << c.kind;
        EXPECT_EQ(link.network, c.network) << c.kind;
        EXPECT_EQ(link.sign_block, c.sign_block) << c.kind;
    }
    // A BASE64 request of an RMLX block fits the 500-byte frame only in
    // pieces; the other links take a block's BASE64 whole.
    EXPECT_EQ(link_of(kind_rmlx).sign_base64_block, 372u);
    EXPECT_EQ(link_of(kind_tcp).sign_base64_block, 750u);
}

} // namespace
