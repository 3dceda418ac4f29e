// The wire recorder's memory, the capture file's whole-or-absent saving and
// the Wireshark dissector's generated tables.
#include "capture/capture_file.h"
#include "capture/dissector_tables.h"
#include "capture/wire_capture.h"
#include "support/fixture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Seen {
    WireKind kind;
    WireDirection direction;
    std::string bytes;
    uint32_t length;
};

std::vector<Seen> records() {
    std::vector<Seen> out;
    wire_capture_visit(
        [](const WireCaptureRecord& r, void* context) {
            static_cast<std::vector<Seen>*>(context)->push_back(
                {r.kind, r.direction, std::string(reinterpret_cast<const char*>(r.data), r.stored),
                 r.length});
        },
        &out);
    return out;
}

class WireCaptureTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        wire_capture_reset();
        dir = fs::temp_directory_path() / ("varnoke-capture-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        wire_capture_enable(true);
        wire_capture_reset();
        fs::remove_all(dir);
        WindowTest::TearDown();
    }
    fs::path dir;
};

constexpr auto in = WireDirection::inbound;
constexpr auto out = WireDirection::outbound;

TEST_F(WireCaptureTest, SerialBytesMakeOneRunPerDirectionAndResetOrDisablingKeepsNone) {
    for (uint8_t b : {0x18, 0x18, 0x05}) wire_serial_byte(out, b);
    wire_serial_byte(in, 0x06);
    for (uint8_t b : std::string("\x02v\x03")) wire_serial_byte(out, b);
    wire_datagram(in, {.peer_port = 24222}, "ab", 2, 2);
    wire_serial_byte(in, 0x06);
    auto r = records();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].bytes, "\x18\x18\x05");
    EXPECT_EQ(r[0].direction, out);
    EXPECT_EQ(r[1].bytes, "\x06");
    EXPECT_EQ(r[1].direction, in);
    EXPECT_EQ(r[2].bytes, "\x02v\x03");
    EXPECT_EQ(r[3].kind, WireKind::datagram);
    EXPECT_EQ(r[4].kind, WireKind::serial);
    EXPECT_EQ(records().size(), 5u) << "reading the capture must not change it";

    wire_serial_opened(3, 9600, 'N', 8, 1);
    wire_capture_reset();
    EXPECT_TRUE(records().empty());
    EXPECT_EQ(wire_capture_serial_line().port, 0);
    wire_capture_enable(false);
    wire_serial_byte(out, 0x05);
    wire_stream(out, {}, "v", 1);
    EXPECT_TRUE(records().empty());
}

// A reply frame after the device's ACK starts a record of its own when the
// console found the line empty and the line paused: a pause longer than
// 20 ms, or than four characters at a slow line's rate. The sleeps only
// make sure a gap is at least that long.
TEST_F(WireCaptureTest, InboundBytesAfterAPauseOnAnEmptyLineStartARecord) {
    auto gap = [](int ms) { usleep(useconds_t(ms) * 1000); };
    struct Case {
        const char* what;
        uint32_t baud;
        bool found_empty;
        int gap_ms;
        size_t records;
    } cases[] = {
        {"after a pause on an empty line", 115200, true, 30, 2},
        {"input waiting all along: the console was slow, not the line", 115200, false, 30, 1},
        {"at 300 baud four characters take 133 ms", 300, true, 30, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wire_capture_reset();
        wire_serial_opened(1, c.baud, 'N', 8, 1);
        wire_serial_byte(in, 0x06);
        if (c.found_empty) wire_serial_input_empty();
        gap(c.gap_ms);
        for (uint8_t b : std::string("\x02"
                                     "00/00/00/73\x03"))
            wire_serial_byte(in, b);
        auto r = records();
        ASSERT_EQ(r.size(), c.records);
        EXPECT_EQ(r.back().bytes.back(), '\x03');
    }
    // Outbound bytes run on: the console writes without pausing the line.
    wire_capture_reset();
    wire_serial_input_empty();
    wire_serial_byte(out, 0x02);
    gap(30);
    wire_serial_byte(out, 0x03);
    EXPECT_EQ(records().size(), 1u);
}

TEST_F(WireCaptureTest, OldestRecordsGoPastTheBoundAndTheFileSaysHowMany) {
    // Records of changing sizes, numbered, far more than the bound holds.
    uint32_t total = 0;
    std::string data(1500, 'x');
    for (size_t bytes = 0; bytes < 3 * wire_capture_capacity; ++total) {
        size_t size = 4 + total % 1400;
        memcpy(data.data(), &total, 4);
        wire_datagram(total % 2 ? in : out, {.peer_port = 24222}, data.data(), size, size + 7);
        bytes += size;
    }
    auto r = records();
    ASSERT_FALSE(r.empty());
    uint64_t kept_bytes = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        uint32_t number;
        memcpy(&number, r[i].bytes.data(), 4);
        ASSERT_EQ(number, total - r.size() + i) << "the newest records, in order, none missing";
        ASSERT_EQ(r[i].bytes.size(), 4 + number % 1400);
        ASSERT_EQ(r[i].length, r[i].bytes.size() + 7);
        kept_bytes += 32 + (r[i].bytes.size() + 7) / 8 * 8; // a header, the bytes aligned
    }
    EXPECT_EQ(wire_capture_dropped(), total - r.size());
    // Unused: at most the room for one record at the end and one at the tail.
    EXPECT_LE(kept_bytes, wire_capture_capacity);
    EXPECT_GT(kept_bytes, wire_capture_capacity - 2 * (32 + 1408));

    fs::path file = dir / "big.pcapng";
    char error[200];
    uint32_t packets = 0;
    ASSERT_TRUE(save_wire_capture(file.c_str(), error, sizeof error, &packets)) << error;
    EXPECT_EQ(packets, r.size());
    std::string note = std::to_string(wire_capture_dropped()) +
                       " older records were dropped to keep the capture within 16 MB";
    EXPECT_NE(read_file(file).find(note), std::string::npos);
}

TEST_F(WireCaptureTest, SavingIsWholeOrAbsent) {
    wire_serial_opened(1, 115200, 'N', 8, 1);
    for (uint8_t b : std::string("\x02v/65\x03")) wire_serial_byte(out, b);
    char error[300];

    // Over an earlier file: replaced by the whole capture.
    fs::path file = dir / "capture.pcapng";
    std::ofstream(file) << "an earlier file, longer than the new one will be ... ... ... ... "
                        << std::string(4000, '.');
    ASSERT_TRUE(save_wire_capture(file.c_str(), error, sizeof error)) << error;
    std::string saved = read_file(file);
    ASSERT_GE(saved.size(), 28u);
    EXPECT_EQ(saved.substr(0, 4), "\x0A\x0D\x0D\x0A");
    EXPECT_NE(saved.find("COM1 at 115200 baud, 8N1"), std::string::npos);
    EXPECT_NE(saved.find("\x02v/65\x03"), std::string::npos);
    EXPECT_LT(saved.size(), 1000u);

    // Where the name is taken by a folder, or the folder is missing: nothing
    // is left behind, and the reason names the file.
    fs::create_directory(dir / "taken");
    EXPECT_FALSE(save_wire_capture((dir / "taken").c_str(), error, sizeof error));
    EXPECT_NE(std::string(error).find((dir / "taken").string()), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(dir / "taken"));
    EXPECT_FALSE(save_wire_capture((dir / "missing" / "x.pcapng").c_str(), error, sizeof error));
    EXPECT_NE(std::string(error).find("missing"), std::string::npos) << error;
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir)) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"capture.pcapng", "taken"}));

    // The operator's entry reports both outcomes.
    size_t logged = headless::log_lines().size();
    headless::answer_box(id_ok);
    save_wire_capture_command((dir / "taken").c_str());
    ASSERT_EQ(headless::boxes().size(), 1u);
    EXPECT_EQ(headless::boxes()[0].text.rfind("Cannot save the wire capture: cannot write", 0), 0u)
        << headless::boxes()[0].text;
    save_wire_capture_command(file.c_str());
    auto log = headless::log_lines();
    ASSERT_EQ(log.size(), logged + 2);
    EXPECT_EQ(log[logged].rfind("Wire capture not saved: ", 0), 0u) << log[logged];
    EXPECT_EQ(log[logged + 1], "Wire capture saved to " + file.string() + ": 1 packets");
}

// The dissector's names of device errors and status bits come from the
// console's tables; a change to one without the other fails here.
TEST(DissectorTables, CommittedLuaFileHoldsTheConsolesTables) {
    std::string committed = read_file(VARNOKE_LUA_FILE);
    ASSERT_FALSE(committed.empty()) << "cannot read " << VARNOKE_LUA_FILE;
    EXPECT_EQ(committed, with_dissector_tables(committed))
        << "Regenerate the tables with the build target update_wireshark_lua.";
    EXPECT_NE(committed.find("[0x12] = { \"SIGNDATAERR\", \"Data passed for signinig are of bad "
                             "format\" }"),
              std::string::npos);
    EXPECT_NE(committed.find("{ 0x04, \"sip\" }"), std::string::npos);
}

} // namespace
