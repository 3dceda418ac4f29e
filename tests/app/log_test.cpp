#include "base/dialog_template.h"
#include "base/log.h"
#include "support/fixture.h"

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

class LogTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ui_list_delete_all(idc_log);
    }
};

TEST_F(LogTest, SplitsLongLinesIntoHalves) {
    EXPECT_EQ(log_printf("%s", std::string(250, 'a').c_str()), 250);
    EXPECT_EQ(headless::log_lines(), Lines{std::string(250, 'a')});

    ui_list_delete_all(idc_log);
    std::string line = std::string(125, 'b') + std::string(126, 'c');
    EXPECT_EQ(log_printf("%s", line.c_str()), 251);
    EXPECT_EQ(headless::log_lines(), (Lines{std::string(125, 'b'), std::string(126, 'c')}));
}

TEST_F(LogTest, HalvesLongerThanTheHalfBufferKeepTheirWholeText) {
    std::string line;
    for (int i = 0; i < 600; ++i) line += char('A' + i % 26);
    EXPECT_EQ(log_printf("%s", line.c_str()), 600);
    Lines lines = headless::log_lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], line.substr(0, 255));
    EXPECT_EQ(lines[1], line.substr(255, 45));
    EXPECT_EQ(lines[2], line.substr(300, 255));
    EXPECT_EQ(lines[3], line.substr(555));
}

TEST_F(LogTest, ResultLongerThanTheFormattingBufferIsCut) {
    std::string huge(10000, 'z');
    int n = log_printf("%s", huge.c_str());
    EXPECT_EQ(n, int(log_format_size - 1));
    size_t total = 0;
    for (auto& l : headless::log_lines()) total += l.size();
    EXPECT_EQ(total, log_format_size - 1);
}

TEST_F(LogTest, LinesBecomeEntriesInOrderAndTheFirstIsScrolledLast) {
    log_printf("first\nsecond\nthird");
    EXPECT_EQ(headless::log_lines(), (Lines{"first", "second", "third"}));
    EXPECT_EQ(headless::last_ensured_visible(), 0);

    log_printf("tail\n");
    EXPECT_EQ(headless::log_lines().size(), 4u); // no empty entry after the newline
    EXPECT_EQ(headless::last_ensured_visible(), 3);

    log_printf("a\n\nb");
    EXPECT_EQ(headless::log_lines(), (Lines{"first", "second", "third", "tail", "a", "", "b"}));
}

TEST_F(LogTest, TabsSeparateColumnsAndOnlyTheFirstShows) {
    log_printf("\tafter a leading tab");
    log_printf("left\tright");
    log_printf("%s", "");
    auto entries = headless::log_entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[0].empty());
    EXPECT_EQ(entries[1], Lines{"left"});
    EXPECT_TRUE(entries[2].empty());
}

TEST_F(LogTest, LogAppendOverwritesNewlinesInPlace) {
    char text[] = "x\ny";
    log_append(idc_log, text);
    EXPECT_EQ(text[1], '\0');
    EXPECT_EQ(headless::log_lines(), (Lines{"x", "y"}));
}

TEST_F(LogTest, ErrorBoxIsCutToItsBuffer) {
    headless::answer_box(id_ok);
    show_error_box("Cannot open file [%s]", std::string(1000, 'p').c_str());
    ASSERT_EQ(headless::boxes().size(), 1u);
    const auto& box = headless::boxes()[0];
    EXPECT_EQ(box.caption, " Error ");
    EXPECT_EQ(box.type, mb_ok | mb_iconerror);
    EXPECT_TRUE(box.owned);
    EXPECT_EQ(box.text.size(), error_box_size - 1);
    EXPECT_EQ(box.text.rfind("Cannot open file [pp", 0), 0u);
}

TEST(LogSplit, PiecesOfAFormattedLine) {
    struct Case {
        size_t n;
        std::vector<std::pair<size_t, size_t>> pieces; // offset, length
    };
    const Case cases[] = {
        {0, {{0, 0}}},
        {250, {{0, 250}}},
        {251, {{0, 125}, {125, 126}}},
        {600, {{0, 255}, {255, 45}, {300, 255}, {555, 45}}},
    };
    for (const Case& c : cases) {
        LogPieces got = log_split_line(c.n);
        std::vector<std::pair<size_t, size_t>> pieces;
        for (size_t i = 0; i < got.count; ++i)
            pieces.emplace_back(got.piece[i].offset, got.piece[i].length);
        EXPECT_EQ(pieces, c.pieces) << c.n;
    }
    // The longest formatted line: two halves of 2047 and 2048 characters, in
    // pieces of 255, all of it kept.
    LogPieces longest = log_split_line(log_format_size - 1);
    EXPECT_EQ(longest.count, 18u);
    EXPECT_EQ(longest.piece[9].offset, 2047u);
    EXPECT_EQ(longest.piece[17].offset + longest.piece[17].length, log_format_size - 1);
}

TEST(LogSplit, EntriesAndColumnsOfAText) {
    using Entries = std::vector<Lines>;
    auto entries_of = [](std::string text) {
        Entries out;
        LogSink sink{[](void* c, size_t) { static_cast<Entries*>(c)->emplace_back(); },
                     [](void* c, size_t, int, const char* t) {
                         static_cast<Entries*>(c)->back().push_back(t);
                     },
                     &out};
        size_t count = log_split_entries(text.data(), sink);
        EXPECT_EQ(count, out.size());
        return out;
    };
    EXPECT_EQ(entries_of("a\tb\tc"), (Entries{{"a", "b", "c"}}));
    EXPECT_EQ(entries_of("x\t\ty"), (Entries{{"x"}})); // an empty field ends the columns
    EXPECT_EQ(entries_of("one\ntwo\n"), (Entries{{"one"}, {"two"}}));
    EXPECT_EQ(entries_of(""), (Entries{{}}));
    // A field longer than a column takes is not set, nor any after it.
    std::string wide(log_column_max + 1, 'w');
    EXPECT_EQ(entries_of(wide + "\tx\ny"), (Entries{{}, {"y"}}));
    EXPECT_EQ(entries_of(wide.substr(1)), (Entries{{wide.substr(1)}}));
}

} // namespace
