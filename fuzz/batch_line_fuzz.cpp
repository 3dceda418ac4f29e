// The batch file's line reader: the input is the whole file, read line by
// line from a stream over it.
#include "batch/batch.h"
#include "check.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The lines, stated on their own: LF ends a line; bytes below 0x20 are
// dropped; a line keeps its first 1500 characters; a last line without LF
// counts when something is left of it.
std::vector<std::string> lines_by_rule(const uint8_t* data, size_t size) {
    std::vector<std::string> out;
    std::string line;
    bool open = false;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            out.push_back(line);
            line.clear();
            open = false;
        } else if (data[i] >= 0x20) {
            if (line.size() < batch_line_max) line += char(data[i]);
            open = true;
        }
    }
    if (open) out.push_back(line);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static char line[batch_line_max + 1];
    if (size == 0) return 0; // fmemopen wants a buffer
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (f == nullptr) return 0;
    std::vector<std::string> from_file;
    while (read_batch_line(f, line, batch_line_max) == 1) {
        size_t n = strlen(line);
        FUZZ_CHECK(n <= batch_line_max);
        for (size_t i = 0; i < n; ++i) FUZZ_CHECK(uint8_t(line[i]) >= 0x20);
        from_file.push_back(line);
        FUZZ_CHECK(from_file.size() <= size); // every line uses a byte
    }
    fclose(f);
    FUZZ_CHECK(from_file == lines_by_rule(data, size));
    return 0;
}
