#include "base/results.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// The codes are part of what the links promise their callers: each keeps its
// number, and its words begin with its name.
TEST(Results, EveryCodeKeepsItsNumberAndHasWords) {
    const struct {
        int code;
        int number;
        const char* name;
    } cases[] = {
        {result_ok, 0, "result_ok"},
        {net_socket_failure, 1, "net_socket_failure"},
        {net_protocol_failure, 2, "net_protocol_failure"},
        {serial_canceled, 1000, "serial_canceled"},
        {serial_enquiry_failed, 1001, "serial_enquiry_failed"},
        {serial_not_acked, 1002, "serial_not_acked"},
        {serial_no_stx, 1003, "serial_no_stx"},
        {serial_retries_failed, 1004, "serial_retries_failed"},
        {serial_port_gone, 1005, "serial_port_gone"},
        {signature_rejected, 2001, "signature_rejected"},
        {zreport_not_checked, 2002, "zreport_not_checked"},
        {command_refused, 3001, "command_refused"},
        {command_stopped, 3002, "command_stopped"},
    };
    std::set<std::string> texts;
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, c.number) << c.name;
        std::string text = result_text(c.code);
        EXPECT_EQ(text.rfind(std::string(c.name) + " (", 0), 0u) << text;
        EXPECT_EQ(text.back(), ')') << text;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), std::size(cases));
}

TEST(Results, AnUnknownCodeIsShownByItsNumber) {
    EXPECT_STREQ(result_text(3), "result 3");
    EXPECT_STREQ(result_text(-1), "result -1");
    EXPECT_STREQ(result_text(-2147483647 - 1), "result -2147483648");
}

} // namespace
