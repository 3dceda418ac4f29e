// The "BMP" button against the simulator over a real pseudo-terminal, with
// picture files that the test writes.
#include "base/dialog_template.h"
#include "base/file_picker.h"
#include "logo/logo.h"
#include "pty_pair.h"
#include "serial_sim_fixture.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char(v >> (8 * i));
}

// A file with the four header fields the loader reads (other bytes are
// noise, the first two included), a colour table and the stored rows from
// byte 62, wherever the header says they are.
std::string bmp(uint32_t width, uint32_t height, uint16_t bits, const Bytes& pixels,
                uint32_t offset = 62) {
    std::string s(62, '\x5A');
    put32(s, 10, offset);
    put32(s, 18, width);
    put32(s, 22, height);
    s[28] = char(bits);
    s[29] = char(bits >> 8);
    return s + std::string(pixels.begin(), pixels.end());
}

// Rows of a 1-bit picture as stored: varied bytes, padding of 0xAA.
Bytes stored_rows(unsigned width, unsigned height) {
    size_t row = (width + 31) / 32 * 4, used = (width + 7) / 8;
    Bytes b(row * height);
    for (size_t i = 0; i < b.size(); ++i) b[i] = i % row < used ? uint8_t(i * 7 + i / row) : 0xAA;
    return b;
}

// The loader on the bytes as a file: the packed image, or the refusal.
const char* load_bytes(const std::string& file, Bytes& packed) {
    LogoHeader header{};
    packed.assign(logo_max_side * logo_max_row_bytes, 0);
    FILE* f = tmpfile();
    fwrite(file.data(), 1, file.size(), f);
    rewind(f);
    int refused = logo_read_file(f, header, packed.data());
    fclose(f);
    if (refused != result_ok) return result_words(refused);
    packed.resize((header.width + 7) / 8 * header.height);
    return nullptr;
}

class LogoTest : public SerialLinkTest {
  protected:
    std::string path = test_com_prefix() + "/logo.bmp";

    void SetUp() override {
        SerialLinkTest::SetUp();
        ui_check(idc_details, false); // the log then shows only device errors
    }
    void write(const std::string& content) { std::ofstream(path, std::ios::binary) << content; }
    // The picker cancelled: the field's file is taken.
    void press_bmp(const std::string& field) {
        headless::type_text(idc_batch_path, field);
        headless::answer_file(std::nullopt);
        upload_logo();
    }
};

TEST_F(LogoTest, RowsGoTopFirstWithoutPadding) {
    for (auto [width, height] : {std::pair{256u, 64u}, {12u, 3u}, {256u, 256u}}) {
        Bytes pixels = stored_rows(width, height);
        write(bmp(width, height, 1, pixels));
        serial_sim_reset();
        headless::answer_file(path);
        upload_logo();
        EXPECT_EQ(headless::control(idc_batch_path).text, path);
        EXPECT_EQ(headless::file_requests().back().filter_pattern, "*.bmp");
        EXPECT_EQ(headless::file_requests().back().title, "Select file");

        size_t row = (width + 31) / 32 * 4, used = (width + 7) / 8;
        Bytes packed;
        for (size_t r = height; r-- > 0;)
            packed.insert(packed.end(), pixels.begin() + ptrdiff_t(r * row),
                          pixels.begin() + ptrdiff_t(r * row + used));
        // The device refuses a row whose digits do not match the width it
        // carries, and keeps the rows it takes.
        char head[32];
        snprintf(head, sizeof head, "\x02$/1/%u/%u/", width, height);
        wait_line_quiet();
        EXPECT_EQ(count_of(serial_sim_received(), head), height) << width;
        Bytes from_bytes;
        EXPECT_EQ(load_bytes(bmp(width, height, 1, pixels), from_bytes), nullptr);
        EXPECT_EQ(from_bytes, packed) << width;
        sim_with_device([&](DeviceModel& d) {
            EXPECT_EQ(d.logos[1].width, width);
            EXPECT_EQ(d.logos[1].rows, packed);
            EXPECT_EQ(d.logos[1].received, std::vector<bool>(height, true));
        });
    }
    EXPECT_EQ(headless::log_lines(), std::vector<std::string>{}); // no device error
}

TEST_F(LogoTest, BadPicturesAreRefusedBeforeAnythingIsSent) {
    const struct {
        std::string content, title;
    } cases[] = {
        {"", "File error: Could not open image file"},
        {bmp(8, 1, 1, {}).substr(0, 53), "File error: Could not read bitmap header"},
        {bmp(8, 1, 24, Bytes(4)), "Format error: BMP file must be back & white format"},
        {bmp(257, 1, 1, Bytes(36)), "Format error: BMP file width must be in range 1-256"},
        {bmp(0, 1, 1, Bytes(4)), "Format error: BMP file width must be in range 1-256"},
        {bmp(8, uint32_t(-1), 1, Bytes(4)), "Format error: BMP file height must be in range 1-256"},
        {bmp(8, 2, 1, Bytes(7)), "File error: Could not load image data"},
        {bmp(8, 1, 1, Bytes(4), 0xFFFFFFF0u), "File error: Could not load image data"},
    };
    for (auto& c : cases) {
        remove(path.c_str());
        if (!c.content.empty()) write(c.content);
        headless::answer_box(id_ok);
        press_bmp(path);
        EXPECT_EQ(headless::boxes().back().caption, c.title);
        EXPECT_EQ(headless::boxes().back().text, "\xC5rror");
        EXPECT_FALSE(headless::boxes().back().owned);
        EXPECT_EQ(headless::boxes().back().type, unsigned(mb_ok));
        // The same refusal from the bytes in memory.
        Bytes packed;
        if (!c.content.empty()) {
            EXPECT_STREQ(load_bytes(c.content, packed), c.title.c_str());
        }
    }
    write(bmp(8, 1, 1, Bytes(4)));
    headless::answer_box(id_ok);
    load_logo_bitmap(8, path.c_str());
    EXPECT_EQ(headless::boxes().back().text, "Parameter error:");
    EXPECT_EQ(headless::boxes().back().caption,
              "<bitmapno> must be an integer number ranged 0 - 7\n");
    headless::answer_box(id_ok);
    press_bmp("");
    EXPECT_EQ(headless::boxes().back().text, "No filename specified");
    expect_received("");
}

TEST_F(LogoTest, RefusedRowsGoOnAndALinkFailureStops) {
    write(bmp(12, 3, 1, stored_rows(12, 3)));
    serial_sim_send_raw({reply_body("05/00/00/")});
    press_bmp(path);
    wait_line_quiet();
    EXPECT_EQ(count_of(serial_sim_received(), "\x02$/1/12/3/"), 3u);

    serial_sim_reset();
    serial_sim_set_faults({.enq_can = 1});
    press_bmp(path);
    expect_received("\x18\x18\x18\x05");
}

TEST_F(LogoTest, ASecondBmpDuringAnUploadLeavesItsRowsAlone) {
    Bytes first = stored_rows(256, 64);
    write(bmp(256, 64, 1, first));
    std::string second = test_com_prefix() + "/second.bmp";
    std::ofstream(second, std::ios::binary) << bmp(8, 2, 1, Bytes(8, 0xFF));
    headless::answer_file(path);
    // While row 10 waits for its reply, the operator presses "BMP" again and
    // would pick the second picture.
    serial_sim_wait::on_wait = [] {
        static bool clicked = false;
        if (!clicked && count_of(serial_sim_received(), "\x02$/1/") == 10) {
            clicked = true;
            headless::queue_click(idc_bmp);
        }
    };
    headless::answer_file(second); // for the second click's picker, if it opened
    upload_logo();
    EXPECT_EQ(headless::pending_events(), 0u);
    // No picker opened during the upload: the second answer is still there.
    EXPECT_EQ(headless::file_requests().size(), 1u);
    EXPECT_STREQ(pick_file_to_open("*.bmp", "Select file"), second.c_str());
    wait_line_quiet();
    EXPECT_EQ(count_of(serial_sim_received(), "\x02$/1/256/64/"), 64u);
    EXPECT_EQ(count_of(serial_sim_received(), "\x02$/1/8/"), 0u);
    Bytes packed;
    ASSERT_EQ(load_bytes(bmp(256, 64, 1, first), packed), nullptr);
    sim_with_device([&](DeviceModel& d) { EXPECT_EQ(d.logos[1].rows, packed); });
    EXPECT_EQ(headless::log_lines(), std::vector<std::string>{}); // nothing refused
}

} // namespace
