// Writes the dialog template's resource script to the file named on the
// command line, or to standard output.
#include "app/dialog_rc.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc > 2) {
        fprintf(stderr, "usage: %s [output.rc]\n", argv[0]);
        return 2;
    }
    FILE* out = argc == 2 ? fopen(argv[1], "wb") : stdout;
    if (out == nullptr) {
        perror(argv[1]);
        return 1;
    }
    std::string rc = dialog_rc_text();
    bool ok = fwrite(rc.data(), 1, rc.size(), out) == rc.size();
    if (out != stdout) ok = fclose(out) == 0 && ok;
    if (!ok) fprintf(stderr, "%s: write failed\n", argc == 2 ? argv[1] : "stdout");
    return ok ? 0 : 1;
}
