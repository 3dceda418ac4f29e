#include "sim/sim_side.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

unsigned long sim_seed = 1;

int sim_take_text(int argc, char** argv, int i, const char* name, const char*& out) {
    if (strcmp(argv[i], name) != 0) return 0;
    if (i + 1 >= argc) {
        fprintf(stderr, "varnoke-sim: %s needs a value\n", name);
        return -1;
    }
    out = argv[i + 1];
    return 2;
}

int sim_take_number(int argc, char** argv, int i, const char* name, unsigned long max,
                    unsigned long& out) {
    const char* text = nullptr;
    int used = sim_take_text(argc, argv, i, name, text);
    if (used <= 0) return used;
    bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = hex ? text + 2 : text;
    char* end = nullptr;
    errno = 0;
    unsigned long value = strtoul(digits, &end, hex ? 16 : 10);
    if (!isxdigit(uint8_t(*digits)) || *end != '\0' || errno != 0 || value > max) {
        fprintf(stderr, "varnoke-sim: %s wants a number from 0 to %lu, not '%s'\n", name, max,
                text);
        return -1;
    }
    out = value;
    return 2;
}
