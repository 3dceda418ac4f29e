#include "base/results.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// The codes are part of what the links promise their callers: each keeps its
// number, its name and its words, which the log and varnoke-cli's JSON show.
TEST(Results, EveryCodeKeepsItsNumberNameAndWords) {
    const struct {
        int code;
        int number;
        const char* name;
        const char* words;
    } cases[] = {
        {result_ok, 0, "result_ok", "the request was answered"},
        {net_socket_failure, 1, "net_socket_failure", "a socket call failed"},
        {net_protocol_failure, 2, "net_protocol_failure", "no valid answer within the attempts"},
        {serial_canceled, 1000, "serial_canceled", "the device answered the enquiry with CAN"},
        {serial_enquiry_failed, 1001, "serial_enquiry_failed", "no ACK to three enquiries"},
        {serial_not_acked, 1002, "serial_not_acked", "request frame refused or never acknowledged"},
        {serial_no_stx, 1003, "serial_no_stx", "no reply frame began"},
        {serial_retries_failed, 1004, "serial_retries_failed", "three bad reply frames"},
        {serial_port_gone, 1005, "serial_port_gone", "the port's device went away"},
        {signature_rejected, 2001, "signature_rejected",
         "the operator said No to a Z-report signature"},
        {zreport_not_checked, 2002, "zreport_not_checked",
         "the Z-report check could not run; nothing was sent"},
        {command_refused, 3001, "command_refused", "another request was still running on the link"},
        {command_stopped, 3002, "command_stopped",
         "the program was closed while the device stayed busy"},
        {logo_not_one_bit, 4001, "logo_not_one_bit",
         "Format error: BMP file must be back & white format"},
        {logo_width_invalid, 4002, "logo_width_invalid",
         "Format error: BMP file width must be in range 1-256"},
        {logo_height_invalid, 4003, "logo_height_invalid",
         "Format error: BMP file height must be in range 1-256"},
        {logo_header_unread, 4004, "logo_header_unread",
         "File error: Could not read bitmap header"},
        {logo_data_unread, 4005, "logo_data_unread", "File error: Could not load image data"},
    };
    std::set<std::string> names;
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, c.number) << c.name;
        EXPECT_STREQ(result_name(c.code), c.name);
        EXPECT_STREQ(result_words(c.code), c.words) << c.name;
        EXPECT_EQ(std::string(result_text(c.code)), std::string(c.name) + " (" + c.words + ")");
        names.insert(result_name(c.code));
    }
    EXPECT_EQ(names.size(), std::size(cases));
}

TEST(Results, AnUnknownCodeIsShownByItsNumber) {
    EXPECT_STREQ(result_text(3), "result 3");
    EXPECT_STREQ(result_text(-1), "result -1");
    EXPECT_STREQ(result_text(-2147483647 - 1), "result -2147483648");
    EXPECT_STREQ(result_name(1006), "result 1006");
    EXPECT_STREQ(result_words(1006), "");
}

} // namespace
