// The batch file's lines: what a byte does to the line being read.
#include "batch/batch.h"

bool batch_line_add(char* line, size_t& len, size_t max_chars, uint8_t byte) {
    if (byte == '\n') return true;
    if (byte < 0x20) return false; // CR, TAB and the other control characters
    if (len < max_chars) line[len++] = char(byte);
    return false;
}

int read_batch_line(FILE* file, char* line, size_t max_chars) {
    size_t len = 0;
    for (;;) {
        int c = getc(file);
        if (c == EOF) {
            line[len] = '\0';
            // A line cut short by a read error is not a request that was
            // written: it is not sent.
            return len > 0 && ferror(file) == 0 ? 1 : 0;
        }
        if (batch_line_add(line, len, max_chars, uint8_t(c))) break;
    }
    line[len] = '\0';
    return 1;
}

bool batch_file_is_text(FILE* file) {
    // A zero byte is in no text file, and in every picture or program: the
    // bytes of such a file are no requests for the device.
    bool text = true;
    for (int c; text && (c = getc(file)) != EOF;) text = c != 0;
    rewind(file);
    return text;
}
