#include "app/dialog_template.h"
#include "app/log.h"
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

} // namespace
