// The log's line splitting: a formatted line (the input, up to its first
// zero byte, at most the formatting buffer) cut into pieces as log_printf
// cuts it, each piece made into entries and columns as log_append makes
// them; and the whole input made into entries at once, as a direct append.
#include "base/log.h"
#include "check.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Entry {
    size_t line;
    std::vector<std::string> columns;
};

void on_entry(void* context, size_t line) {
    static_cast<std::vector<Entry>*>(context)->push_back({line, {}});
}

void on_column(void* context, size_t line, int column, const char* text) {
    auto& entries = *static_cast<std::vector<Entry>*>(context);
    FUZZ_CHECK(!entries.empty() && entries.back().line == line);
    FUZZ_CHECK(size_t(column) == entries.back().columns.size());
    entries.back().columns.push_back(text);
}

// Makes entries of text and checks them against its lines: one entry a
// line (no entry after a final newline), the columns the tab-separated
// fields up to the first empty one or one over the column limit.
void check_entries(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    std::vector<Entry> entries;
    size_t count = log_split_entries(buffer.data(), {on_entry, on_column, &entries});
    FUZZ_CHECK(count == entries.size());

    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t nl = text.find('\n', start);
        lines.push_back(text.substr(start, nl - start));
        if (nl == std::string::npos || nl + 1 == text.size()) break;
        start = nl + 1;
    }
    FUZZ_CHECK(entries.size() == lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(entries[i].line == i);
        std::vector<std::string> fields;
        for (size_t at = 0;;) {
            size_t tab = lines[i].find('\t', at);
            std::string field = lines[i].substr(at, tab - at);
            if (field.empty() || field.size() > log_column_max) break;
            fields.push_back(field);
            if (tab == std::string::npos) break;
            at = tab + 1;
        }
        FUZZ_CHECK(entries[i].columns == fields);
        for (const std::string& c : entries[i].columns) FUZZ_CHECK(c.size() <= log_column_max);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t n = strnlen(reinterpret_cast<const char*>(data), size);
    std::string whole(reinterpret_cast<const char*>(data), n);
    check_entries(whole);

    if (n > log_format_size - 1) n = log_format_size - 1;
    std::string line = whole.substr(0, n);
    LogPieces pieces = log_split_line(n);
    FUZZ_CHECK(pieces.count >= 1 && pieces.count <= log_pieces_max);
    // No character is lost or repeated, no piece is longer than the half
    // buffer takes, and a long line is halved at n / 2 first.
    size_t at = 0;
    bool halved = n <= log_split_above;
    std::string joined;
    for (size_t i = 0; i < pieces.count; ++i) {
        const LogPiece& p = pieces.piece[i];
        FUZZ_CHECK(p.offset == at);
        FUZZ_CHECK(n <= log_split_above ? p.length == n : p.length <= log_half_size - 1);
        FUZZ_CHECK(p.length > 0 || n == 0);
        halved = halved || p.offset == n / 2;
        at += p.length;
        joined += line.substr(p.offset, p.length);
        check_entries(line.substr(p.offset, p.length));
    }
    FUZZ_CHECK(at == n && joined == line && halved);
    return 0;
}
