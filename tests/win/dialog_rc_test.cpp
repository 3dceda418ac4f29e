#include "app/dialog_rc.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The Windows build compiles the committed script; the window on every other
// platform is built from the table. A change to one without the other fails
// here.
TEST(DialogResourceScript, IsGeneratedFromTheTable) {
    std::string committed = read_file(VARNOKE_RC_FILE);
    ASSERT_FALSE(committed.empty()) << "cannot read " << VARNOKE_RC_FILE;
    std::string generated = dialog_rc_text();
    if (committed == generated) return;

    std::istringstream a(committed), b(generated);
    std::string line_a, line_b;
    int line = 1;
    for (;; ++line) {
        bool more_a = bool(std::getline(a, line_a));
        bool more_b = bool(std::getline(b, line_b));
        if (!more_a) line_a = "(end of file)";
        if (!more_b) line_b = "(end of text)";
        if (line_a != line_b || !(more_a || more_b)) break;
    }
    ADD_FAILURE() << VARNOKE_RC_FILE << " differs from the table at line " << line
                  << ":\n  file:  " << line_a << "\n  table: " << line_b
                  << "\nRegenerate it with the build target update_dialog_rc.";
}

} // namespace
