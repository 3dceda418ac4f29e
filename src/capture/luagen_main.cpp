// Rewrites the generated tables of the Wireshark dissector named on the
// command line.
#include "capture/dissector_tables.h"

#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s varnoke.lua\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string lua = with_dissector_tables(text.str());
    if (!in || lua.empty()) {
        fprintf(stderr, "%s: cannot read it, or it lacks the lines \"%s\" and \"%s\"\n", argv[1],
                lua_tables_begin, lua_tables_end);
        return 1;
    }
    in.close();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << lua;
    out.close();
    if (!out) {
        fprintf(stderr, "%s: write failed\n", argv[1]);
        return 1;
    }
    return 0;
}
