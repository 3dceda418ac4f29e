// The Z-report capture and signature check through execute_command, against
// the simulator over a real pseudo-terminal. C:\out\ is the folder
// drive_c/out of the test's COM prefix.
#include "base/dialog_template.h"
#include "batch/batch.h"
#include "command/command.h"
#include "pty_pair.h"
#include "serial_sim_fixture.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/sha1_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

const std::string ack = "\x06";

std::string question(const std::string& signature) {
    return "Calculated signature: " + signature +
           " \r\n\r\n Is this signature identical with the one in Zreport?";
}

std::string file_text(const fs::path& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

std::string to_lower(std::string text) {
    for (char& c : text) c = char(tolower(uint8_t(c)));
    return text;
}

// The last log line of the check's about the report's own signature.
std::string signature_line() {
    auto log = headless::log_lines();
    for (auto line = log.rbegin(); line != log.rend(); ++line)
        if (line->rfind("Z-report signature in the report: ", 0) == 0) return *line;
    return "(none)";
}

const headless::Box& last_box() {
    return headless::boxes().back();
}

class ZReportTest : public SerialLinkTest {
  protected:
    fs::path prefix = test_com_prefix();
    fs::path out = prefix / "drive_c" / "out";
    char data[1000] = "";

    void SetUp() override {
        SerialLinkTest::SetUp();
        for (auto& entry : fs::directory_iterator(prefix))
            if (entry.path().filename() != "dosdevices") fs::remove_all(entry.path());
        fs::create_directories(out);
    }

    int run(const char* request) { return execute_command(request, data, sizeof data, 0); }
    // The reply carries this text instead of the device's own.
    int run(const char* request, const std::string& reply) {
        serial_sim_send_raw({reply_body(reply)});
        return run(request);
    }
    static void new_transcript() {
        wait_line_quiet();
        serial_sim_reset();
    }

    // "A" with its box answered; the identifier the reply names.
    std::string identify(const std::string& reply = "") {
        headless::answer_box(id_ok);
        EXPECT_EQ(reply.empty() ? run("A") : run("A", reply), 0);
        return reply.empty() ? std::string(data + 4) : reply.substr(13);
    }

    // Everything under the prefix but the COM links.
    Names entries() {
        Names names;
        for (auto& entry : fs::recursive_directory_iterator(prefix)) {
            auto name = entry.path().lexically_relative(prefix).string();
            if (name.rfind("dosdevices", 0) != 0) names.insert(name);
        }
        return names;
    }

    // x/2 answered No, and No again for the x/5 that follows: both ask with
    // the signature and nothing reaches the device.
    void expect_rejected(const std::string& signature) {
        new_transcript();
        headless::answer_box(id_no);
        headless::answer_box(id_no);
        EXPECT_EQ(run("x/2"), signature_rejected);
        expect_received(ack + ack);
        auto& boxes = headless::boxes();
        EXPECT_EQ(boxes[boxes.size() - 2].text, question(signature));
        EXPECT_EQ(last_box().text, question(signature));
    }
};

// First in this file: the paths are empty only until the process's first
// "A" (each test runs in a process of its own under CTest).
TEST_F(ZReportTest, CheckBeforeAnyIdentifierAndWithoutTheFolderSendsNothing) {
    fs::remove_all(prefix / "drive_c");
    // In a batch, the check that could not run stops it at its line; the
    // earlier reply is not handed up as its own.
    std::string reply = headless::control(idc_reply).text;
    std::ofstream(prefix / "batch.txt") << "x/2\nv\n";
    headless::type_text(idc_batch_path, (prefix / "batch.txt").string());
    headless::answer_box(id_ok);
    run_batch();
    EXPECT_EQ(last_box().text, "Error creating '_b.txt' file");
    EXPECT_EQ(last_box().caption, "Error");
    EXPECT_EQ(headless::log_lines(),
              (std::vector<std::string>{"L00001> x/2", "Request frame [x/2]", "Failed in line 1",
                                        "Batch aborted in line 1"}));
    EXPECT_EQ(headless::control(idc_reply).text, reply);
    expect_received("");
    fs::remove(prefix / "batch.txt");

    headless::answer_box(id_ok);
    identify();
    EXPECT_EQ(last_box().text, "Error creating '_a.txt' file");
    new_transcript();
    headless::answer_box(id_ok);
    strcpy(data, "untouched");
    EXPECT_EQ(run("x/2"), zreport_not_checked); // no x/5 and no second box follow
    EXPECT_STREQ(data, "untouched");
    EXPECT_EQ(last_box().text, "Error creating '_b.txt' file");
    expect_received("");
    EXPECT_EQ(entries(), Names{});
}

TEST_F(ZReportTest, ReportCapturedAndCheckedWithYes) {
    std::string id = identify();
    EXPECT_EQ(id, sim_with_device([](DeviceModel& d) { return d.z_identifier(1); }));
    EXPECT_EQ(last_box().text, "C:\\out\\" + id + "_a.txt\n" + (out / (id + "_a.txt")).string());
    EXPECT_EQ(last_box().caption, "");

    std::string lines, signature;
    for (int i = 0; i < 50 && data[0] != '3'; ++i) {
        ASSERT_EQ(run("Q"), 0);
        if (data[0] == '2') signature = data + 2;
        if (data[0] == '0') lines += std::string(data + 2) + "\r\n";
    }
    EXPECT_EQ(file_text(out / (id + "_a.txt")), lines);
    EXPECT_EQ(sha1_of(lines), signature);

    new_transcript();
    headless::answer_box(id_yes);
    EXPECT_EQ(run("x/2"), 0);
    EXPECT_EQ(last_box().text, question(signature));
    EXPECT_EQ(last_box().type, unsigned(mb_yesno));
    expect_received("\x18\x18\x18\x05\x02" + reply_body("x/2") + "\x03" + ack);
    EXPECT_EQ(file_text(out / (id + "_b.txt")), signature);
    EXPECT_EQ(signature_line(), "Z-report signature in the report: " + signature + " (identical)");
}

TEST_F(ZReportTest, TheReportsOwnSignatureLoggedBesideTheDigest) {
    std::string digest = sha1_of("line\r\n");
    std::string other = std::string(39, '0') + "1";
    const struct {
        std::vector<std::string> replies; // to "Q" after "A"
        std::string logged;
    } cases[] = {
        {{"00/00/00/0/line", "00/00/00/2/" + digest, "00/00/00/3/"}, digest + " (identical)"},
        // Either case; a line of type "1" carries it too; the last one counts.
        {{"00/00/00/1/" + other, "00/00/00/0/line", "00/00/00/1/x " + to_lower(digest)},
         to_lower(digest) + " (identical)"},
        {{"00/00/00/0/line", "00/00/00/2/" + other}, other + " (different)"},
        // In a written line it is no signature; 39 digits are none.
        {{"00/00/00/0/" + digest, "00/00/00/2/" + digest.substr(1)}, "not found"},
    };
    for (const auto& c : cases) {
        identify("00/00/00/0001report");
        for (const std::string& reply : c.replies) ASSERT_EQ(run("Q", reply), 0);
        new_transcript();
        headless::answer_box(id_yes);
        EXPECT_EQ(run("x/2", "00/00/00/0002"), 0);
        EXPECT_EQ(signature_line(), "Z-report signature in the report: " + c.logged);
    }
    // A new report forgets the earlier one's signature.
    identify("00/00/00/0001next");
    expect_rejected(sha1_of(""));
    EXPECT_EQ(signature_line(), "Z-report signature in the report: not found");
}

TEST_F(ZReportTest, NoTwiceEndsWith2001AndNoThenYesSendsX5) {
    std::string id = identify();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(run("Q"), 0); // two header lines, one report line
    // The report is still open: the line written so far is in the digest.
    std::string signature = sha1_of(std::string(data + 2) + "\r\n");
    expect_rejected(signature);
    EXPECT_EQ(file_text(out / (id + "_b.txt")), signature);

    new_transcript();
    headless::answer_box(id_no);
    headless::answer_box(id_yes);
    EXPECT_EQ(run("x/2"), 0);
    expect_received(ack + "\x18\x18\x18\x05\x02x/5/11\x03" + ack);
}

TEST_F(ZReportTest, IdentifiersThatNameNoFileLeaveTheEarlierReportAlone) {
    // A BUSY or PRINTEROFFLINE reply is repeated: the capture takes the
    // identifier of the reply the repeat brings, with one box.
    for (const char* busy : {"0E/00/00/0001Z999", "1a/00/00/0001Z999"}) {
        size_t boxes = headless::boxes().size();
        headless::answer_box(id_ok);
        EXPECT_EQ(run("A", busy), 0);
        EXPECT_EQ(headless::boxes().size(), boxes + 1);
        EXPECT_EQ(last_box().text.rfind("C:\\out\\" + std::string(data + 4) + "_a.txt\n", 0), 0u);
    }
    EXPECT_FALSE(fs::exists(out / "Z999_a.txt"));

    // A whole report captured and checked.
    std::string id = identify();
    for (int i = 0; i < 50 && data[0] != '3'; ++i) ASSERT_EQ(run("Q"), 0);
    headless::answer_box(id_yes);
    ASSERT_EQ(run("x/2"), 0);
    const std::string a_text = file_text(out / (id + "_a.txt"));
    const std::string b_text = file_text(out / (id + "_b.txt"));
    ASSERT_EQ(b_text.size(), 40u);

    fs::create_directory(out / "a"); // so that "a/b" could be created
    const struct {
        std::string reply, shown;
    } cases[] = {
        {"00/00/00/0001../../x", "../../x"},
        {"00/00/00/0001a/b", "a/b"},
        {"00/00/00/0001C:x", "C:x"},
        {"00/00/00/0001a\\b", "a\\b"},
        {"00/00/00/0001", ""},
        {"15/00/00/", ""},
        {"00/00/00/0001a*b", "a*b"},
        {"00/00/00/0001x\ty", "x\\x09y"},
        {"00/00/00/0001NUL.x", "NUL.x"},
        {"00/00/00/0001com2 .txt", "com2 .txt"},
        {"00/00/00/0001" + std::string(60, 'L'), std::string(60, 'L')}, // too long
    };
    for (auto& c : cases) {
        headless::answer_box(id_ok);
        EXPECT_EQ(run("A", c.reply), 0);
        EXPECT_EQ(last_box().text, "Z-report identifier '" + c.shown + "' cannot name a file");
        EXPECT_EQ(headless::control(idc_reply).text, c.reply);
    }
    // No file of the earlier report is checked or written as this one's.
    new_transcript();
    headless::answer_box(id_ok);
    EXPECT_EQ(run("x/2"), zreport_not_checked);
    EXPECT_EQ(last_box().text, "Error creating '_b.txt' file");
    expect_received("");
    EXPECT_EQ(entries(), (Names{"drive_c", "drive_c/out", "drive_c/out/a",
                                "drive_c/out/" + id + "_a.txt", "drive_c/out/" + id + "_b.txt"}));
    EXPECT_EQ(file_text(out / (id + "_a.txt")), a_text);
    EXPECT_EQ(file_text(out / (id + "_b.txt")), b_text);
}

TEST_F(ZReportTest, LinesIdentifiersAndDigestFailures) {
    std::string id = identify("00/00/00/0001" + std::string(59, 'L'));
    EXPECT_EQ(last_box().text.substr(0, 73), "C:\\out\\" + id + "_a.txt\n");
    const struct {
        std::string reply, data; // data: what execute_command hands up
    } lines[] = {
        {"00/00/00/", ""},               // no line type: nothing written, nothing closed
        {"00/00/00/0/first", "0/first"}, // written
        {"00/00/00/1/head", "1/head"},   // not written
        {"00/00/00/2/sig", "2/sig"},     // not written
        {"00/00/00/0/" + std::string(69, 'w'), "0/" + std::string(49, 'w')}, // cut to 60
        {"00/00/00/3/", "3/"},                                               // closes the file
        {"00/00/00/0/after", "0/after"}, // no file open: nothing written
    };
    for (auto& l : lines) {
        EXPECT_EQ(run("Q", l.reply), 0);
        EXPECT_EQ(std::string(data), l.data) << l.reply;
    }
    EXPECT_EQ(file_text(out / (id + "_a.txt")), "first\r\n" + std::string(49, 'w') + "\r\n");

    // A new "A" closes the earlier report's file: its lines are on disk.
    identify("00/00/00/0001first");
    ASSERT_EQ(run("Q", "00/00/00/0/one"), 0);
    identify("00/00/00/0001second");
    EXPECT_EQ(file_text(out / "first_a.txt"), "one\r\n");

    // A capture that cannot be read gives a text, never digits, shown and
    // written alike.
    fs::remove(out / "second_a.txt");
    expect_rejected("Error opening '_a.txt' file");
    EXPECT_EQ(file_text(out / "second_b.txt"), "Error opening '_a.txt' file");
    fs::create_directory(out / "second_a.txt");
    expect_rejected("Error reading '_a.txt' file");
}

} // namespace
