// The batch file's lines.
#include "batch/batch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

Lines from_file(const std::string& content) {
    Lines out;
    static char line[batch_line_max + 1];
    FILE* f = tmpfile();
    fwrite(content.data(), 1, content.size(), f);
    rewind(f);
    while (read_batch_line(f, line, batch_line_max) == 1) out.push_back(line);
    fclose(f);
    return out;
}

TEST(BatchLine, LinesOfTheFile) {
    const struct {
        std::string content;
        Lines lines;
    } cases[] = {
        {"v\r\n?\r\n", {"v", "?"}},
        {"v\n?\n", {"v", "?"}},
        {"v\n\n?", {"v", "", "?"}},       // the empty line is a line (it ends a batch)
        {"v\n\r\n\t\t\n", {"v", "", ""}}, // CR alone or TABs alone: empty
        {"   \nv", {"   ", "v"}},         // blanks stay; a last line without LF counts
        {"a\tb\x01\x1f"
         "c\n",
         {"abc"}},
        {"\x80\xff\xe9\n", {"\x80\xff\xe9"}},
        {"v\n\r", {"v"}}, // a CR after the last LF is no line
        {"", {}},
        {std::string(1600, 'x') + "\nv\n", {std::string(1500, 'x'), "v"}},
    };
    for (auto& c : cases) EXPECT_EQ(from_file(c.content), c.lines) << c.content;
}

} // namespace
