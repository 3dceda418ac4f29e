// The trace lines that the FLTK and the Win32 window write, as the GUI and
// Wine tests read them.
#include "window/window_trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

class WindowTraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/window_trace_XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path = name;
        setenv("VARNOKE_UI_TRACE", path.c_str(), 1);
    }
    void TearDown() override {
        window_trace_close();
        unsetenv("VARNOKE_UI_TRACE");
        std::remove(path.c_str());
    }
    // What the file holds now: the trace is flushed line by line, so it is
    // read while still open, as the tests read it beside a running window.
    std::string written() const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string path;
};

struct LineCase {
    const char* what;
    int number;
    const char* text;
    const char* line;
};

constexpr LineCase line_cases[] = {
    {"log", 0, "Varnoke started", "log 0 Varnoke started\n"},
    {"menu-pick", -1, "", "menu-pick -1 \n"},
    {"menu-pick", -1, nullptr, "menu-pick -1 \n"},
    // A line stays one line: control bytes as \xNN, CR LF of a box included.
    {"box-answer", 1, "two\r\nlines\ttab", "box-answer 1 two\\x0D\\x0Alines\\x09tab\n"},
    {"text", 1001, "\x01\x1F ", "text 1001 \\x01\\x1F \n"},
    // A Windows path reads as it is shown; 8-bit texts pass as they are.
    {"picked", 1, "C:\\out\\logo.bmp", "picked 1 C:\\out\\logo.bmp\n"},
    {"log", 7, "Gr\xFC\xDF \x7F", "log 7 Gr\xFC\xDF \x7F\n"},
};

TEST_F(WindowTraceTest, EachLineIsWhatNumberAndTextWithControlBytesEscaped) {
    ASSERT_TRUE(window_trace_open());
    std::string expected;
    for (const LineCase& c : line_cases) {
        window_trace(c.what, c.number, c.text);
        expected += c.line;
        EXPECT_EQ(written(), expected) << "after " << c.what << " " << c.number;
    }
}

TEST_F(WindowTraceTest, BoxLineNamesTypeCaptionAndText) {
    ASSERT_TRUE(window_trace_open());
    window_trace_box(0x10, " Error ", "Cannot open port COM5...");
    window_trace_box(0x4, "", "C:\\out\\0001_a.txt\r\n");
    window_trace_box(0, nullptr, nullptr);
    EXPECT_EQ(written(), "box 16 caption= Error  text=Cannot open port COM5...\n"
                         "box 4 caption= text=C:\\out\\0001_a.txt\\x0D\\x0A\n"
                         "box 0 caption= text=\n");
}

TEST_F(WindowTraceTest, OpenTwiceKeepsTheLinesAndReopeningAfterCloseStartsAfresh) {
    ASSERT_TRUE(window_trace_open());
    window_trace("title", 0, "first");
    // A box before the window opens the trace too: the lines so far stay.
    ASSERT_TRUE(window_trace_open());
    window_trace("title", 0, "second");
    EXPECT_EQ(written(), "title 0 first\ntitle 0 second\n");
    window_trace_close();
    EXPECT_FALSE(window_tracing());
    window_trace("title", 0, "closed"); // nowhere to go
    ASSERT_TRUE(window_trace_open());
    window_trace("title", 0, "again");
    EXPECT_EQ(written(), "title 0 again\n");
}

TEST_F(WindowTraceTest, WithoutTheVariableNothingIsTraced) {
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        if (value == nullptr)
            unsetenv("VARNOKE_UI_TRACE");
        else
            setenv("VARNOKE_UI_TRACE", value, 1);
        EXPECT_FALSE(window_trace_open());
        EXPECT_FALSE(window_tracing());
        window_trace("log", 0, "lost");
        window_trace_box(0, "c", "t");
    }
    EXPECT_EQ(written(), "");
}

TEST_F(WindowTraceTest, AFileThatCannotBeMadeLeavesTheTraceOff) {
    setenv("VARNOKE_UI_TRACE", "/nonexistent-folder/trace.txt", 1);
    EXPECT_FALSE(window_trace_open());
    EXPECT_FALSE(window_tracing());
    window_trace("log", 0, "lost");
}

} // namespace
