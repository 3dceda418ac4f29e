#include "sim/device_model.h"

#include "codec/base64.h"
#include "support/sha1_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string b64(const std::string& data) {
    std::string out(base64_encoded_size(data.size()) + 1, '\0');
    out.resize(base64_encode(reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                             out.data()));
    return out;
}

std::string code_of(const std::string& reply) {
    return reply.substr(0, 2);
}
std::string data_of(const std::string& reply) {
    return reply.size() > 9 ? reply.substr(9) : "";
}

TEST(DeviceModel, IdentityStatusAndUnknownRequests) {
    DeviceModel dev(7);
    std::string v = dev.handle("v");
    EXPECT_EQ(v, "00/00/00/ESD-SIM/" + dev.serial_number + "/1.00");
    EXPECT_EQ(dev.serial_number.size(), 10u);
    EXPECT_EQ(dev.serial_number.substr(0, 2), "VK");

    // Same seed, same device; another seed, another serial number.
    EXPECT_EQ(DeviceModel(7).handle("v"), v);
    EXPECT_NE(DeviceModel(8).serial_number, dev.serial_number);

    EXPECT_EQ(dev.handle("?"), "00/00/00/0001/0/0");

    for (const char* request : {"", "vv", "v/1", "?x", "z", "a", "q", "X/5", "@", "}/", "Q/1"})
        EXPECT_EQ(dev.handle(request), "06/00/00/") << '"' << request << '"';
}

TEST(DeviceModel, SigningBlock) {
    DeviceModel dev;
    EXPECT_EQ(dev.handle("{/0"), "00/00/04/");
    EXPECT_EQ(dev.handle("@/Hello,\tworld\r\n"), "00/00/04/");
    std::string binary("\x00\x01\x02\xff\xe9 end", 9);
    EXPECT_EQ(dev.handle("&/" + b64(binary)), "00/00/04/");
    EXPECT_EQ(dev.handle("&/" + b64("x")), "00/00/04/");  // "==" padding
    EXPECT_EQ(dev.handle("&/" + b64("xy")), "00/00/04/"); // "=" padding
    std::string reply = dev.handle("}");
    EXPECT_EQ(reply.substr(0, 9), "00/00/02/"); // block closed, day open
    EXPECT_EQ(data_of(reply), sha1_of("Hello,\tworld\r\n" + binary + "xxy"));
    EXPECT_EQ(dev.handle("?"), "00/00/02/0001/1/0");

    // An empty block is signed too.
    EXPECT_EQ(dev.handle("{/1"), "00/00/06/");
    EXPECT_EQ(data_of(dev.handle("}")), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    EXPECT_EQ(dev.day_signatures.size(), 2u);
}

TEST(DeviceModel, SigningErrors) {
    DeviceModel dev;
    EXPECT_EQ(code_of(dev.handle("@/text")), "11");
    EXPECT_EQ(code_of(dev.handle("&/dGV4dA==")), "11");
    EXPECT_EQ(code_of(dev.handle("}")), "11");
    EXPECT_EQ(code_of(dev.handle("{")), "01");
    EXPECT_EQ(code_of(dev.handle("{/")), "01");
    EXPECT_EQ(code_of(dev.handle("{/2")), "09");

    ASSERT_EQ(dev.handle("{/0"), "00/00/04/");
    EXPECT_EQ(code_of(dev.handle("{/0")), "10");
    EXPECT_EQ(code_of(dev.handle("@/")), "1E");
    EXPECT_EQ(code_of(dev.handle("&/")), "1E");
    EXPECT_EQ(code_of(dev.handle("@/bell\x07")), "25");
    EXPECT_EQ(code_of(dev.handle(std::string("@/nul\0", 6))), "25");
    for (const char* bad :
         {"&/dGV4dA", "&/dGV4d===", "&/dG=4dA==", "&/dGV4dA=a", "&/dGV4d!==", "&/dGV4dA==dGV4"})
        EXPECT_EQ(code_of(dev.handle(bad)), "12") << bad;
    // Refused blocks leave the signature as it was.
    EXPECT_EQ(data_of(dev.handle("}")), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
}

TEST(DeviceModel, LogoRows) {
    DeviceModel dev;
    EXPECT_EQ(dev.handle("$/1/12/2/2/ABCD/"), "00/00/00/");
    EXPECT_EQ(dev.handle("$/1/12/2/1/0f10/"), "00/00/00/");
    const LogoBitmap& logo = dev.logos[1];
    EXPECT_EQ(logo.width, 12u);
    EXPECT_EQ(logo.height, 2u);
    EXPECT_EQ(logo.rows, (std::vector<uint8_t>{0x0F, 0x10, 0xAB, 0xCD}));
    EXPECT_EQ(logo.received, (std::vector<bool>{true, true}));
    EXPECT_EQ(dev.handle("$/7/256/256/256/" + std::string(64, 'F') + "/"), "00/00/00/");

    struct Case {
        const char* request;
        const char* code;
    } cases[] = {
        {"$/1/16/2/1", "01"},         {"$/1/16/2/1/ABCD", "01"},  {"$/1/16/2/1/ABCD/x", "05"},
        {"$/8/16/2/1/ABCD/", "05"},   {"$/1/0/2/1//", "05"},      {"$/1/257/2/1/ABCD/", "05"},
        {"$/1/16/0/1/ABCD/", "05"},   {"$/1/16/2/3/ABCD/", "05"}, {"$/1/16/2/0/ABCD/", "05"},
        {"$/1/16/2/1/ABCG/", "05"},   {"$/1/1x/2/1/ABCD/", "05"}, {"$/1/16/2/1/ABC/", "04"},
        {"$/1/16/2/1/ABCDEF/", "04"}, {"$/1//2/1/ABCD/", "05"},   {"$/-1/16/2/1/ABCD/", "05"},
        {"$/1/16/2/1/ABCD//", "05"},
    };
    for (auto& c : cases) EXPECT_EQ(code_of(dev.handle(c.request)), c.code) << c.request;
    EXPECT_EQ(dev.logos[1].rows, logo.rows); // refused rows store nothing
}

// What the console keeps of a "Q" reply: the text from position 11, cut to
// 49 characters, written with CR LF for every line type but 1, 2 and 3.
struct Capture {
    std::string file;
    std::string digest_line;
    bool closed = false;
};

Capture read_report(DeviceModel& dev, int max_lines = 200) {
    Capture c;
    for (int i = 0; i < max_lines && !c.closed; ++i) {
        std::string reply = dev.handle("Q");
        EXPECT_EQ(code_of(reply), "00");
        EXPECT_LE(reply.size(), 60u);
        char type = reply.at(9);
        std::string text = reply.size() > 11 ? reply.substr(11) : "";
        if (type == '3')
            c.closed = true;
        else if (type == '2')
            c.digest_line = text;
        else if (type != '1')
            c.file += text + "\r\n";
    }
    return c;
}

TEST(DeviceModel, ZReportReadOutCarriesDigestOfCapturedLines) {
    DeviceModel dev(3);
    std::string a = dev.handle("A");
    ASSERT_EQ(a, "00/00/00/0001" + dev.serial_number + "_0001");
    EXPECT_EQ(a.substr(13), dev.z_identifier(1));

    Capture c = read_report(dev);
    ASSERT_TRUE(c.closed);
    EXPECT_EQ(c.digest_line, sha1_of(c.file));
    EXPECT_NE(c.file.find("END OF Z 0001\r\n"), std::string::npos);
    // The closing line repeats.
    EXPECT_EQ(dev.handle("Q"), "00/00/00/3/");

    // A day with one signature, closed by x/2.
    dev.handle("{/0");
    dev.handle("@/receipt");
    std::string signature = data_of(dev.handle("}"));
    EXPECT_EQ(dev.handle("x/2"), "00/00/00/0002");
    EXPECT_EQ(dev.handle("?"), "00/00/00/0002/0/0");
    EXPECT_EQ(dev.handle("A"), "00/00/00/0002" + dev.z_identifier(2));
    c = read_report(dev);
    EXPECT_NE(c.file.find("0001 " + signature + "\r\n"), std::string::npos);
    EXPECT_EQ(c.digest_line, sha1_of(c.file));

    // An earlier report by number; A restarts the read-out.
    EXPECT_EQ(dev.handle("A/1"), "00/00/00/0001" + dev.z_identifier(1));
    EXPECT_EQ(dev.handle("Q").substr(9, 2), "1/");
}

TEST(DeviceModel, ZIssueErrors) {
    DeviceModel dev;
    EXPECT_EQ(code_of(dev.handle("x")), "01");
    EXPECT_EQ(code_of(dev.handle("x/")), "01");
    EXPECT_EQ(code_of(dev.handle("x/3")), "05");
    EXPECT_EQ(code_of(dev.handle("A/2")), "15");
    EXPECT_EQ(code_of(dev.handle("A/zz")), "05");
    dev.handle("{/0");
    EXPECT_EQ(code_of(dev.handle("x/5")), "10");
    dev.handle("@/a");
    dev.handle("}");
    EXPECT_EQ(dev.handle("x/5"), "00/00/00/0002");
    // A Z over a day without signatures is issued with the zero-Z alert.
    EXPECT_EQ(dev.handle("x/5"), "80/00/00/0003");
    EXPECT_EQ(dev.z_reports.size(), 3u);
}

TEST(DeviceModel, InjectedFaults) {
    DeviceModel dev;
    dev.faults.busy = 2;
    dev.faults.printer_offline = 1;
    EXPECT_EQ(dev.handle("{/0"), "0E/01/00/");
    EXPECT_EQ(dev.handle("{/0"), "0E/01/00/");
    EXPECT_EQ(dev.handle("{/0"), "1A/00/00/");
    EXPECT_FALSE(dev.block_open); // refused requests are not executed
    EXPECT_EQ(dev.handle("{/0"), "00/00/04/");

    dev.faults.device_status = 0x80;
    dev.faults.function_status = 0x20;
    EXPECT_EQ(dev.handle("@/a"), "00/80/24/");
    dev.faults.error_code = 0x1C;
    EXPECT_EQ(dev.handle("}"), "1C/80/24/");
    EXPECT_TRUE(dev.block_open);
    dev.faults = {};
    EXPECT_EQ(dev.handle("}").substr(0, 9), "00/00/02/");
}

} // namespace
