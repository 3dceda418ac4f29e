// What the Z-report capture reads from an "A" reply (the identifier and
// whether it can name a file) and from a "Q" reply (cut, line type, line
// text). The first byte chooses which; the rest, up to its first zero byte,
// is the reply text.
#include "check.h"
#include "serial/zreport.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// The rule, stated on its own: 1 to 59 characters, no "..", no byte below 0x20 nor
// 0x7F nor one of /\:<>"|?*, and the name before the first dot (trailing
// blanks aside, any case) none of CON PRN AUX NUL CONIN$ CONOUT$, COMn, LPTn
// (n a digit or a superscript 1, 2, 3).
bool names_a_file_by_rule(const std::string& id) {
    if (id.empty() || id.size() > 59 || id.find("..") != std::string::npos) return false;
    for (unsigned char c : id)
        if (c < 0x20 || c == 0x7F || std::string("/\\:<>\"|?*").find(char(c)) != std::string::npos)
            return false;
    size_t dot = id.find('.');
    if (dot == std::string::npos) return true;
    std::string base = id.substr(0, dot);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = char(toupper(uint8_t(c)));
    for (const char* d : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (base == d) return false;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
        auto n = uint8_t(base[3]);
        if ((n >= '0' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static char reply[2048]; // the serial link's reply text
    size_t len = strnlen(reinterpret_cast<const char*>(data + 1), size - 1);
    if (len > sizeof reply - 1) len = sizeof reply - 1;
    memcpy(reply, data + 1, len);
    reply[len] = '\0';

    if ((data[0] & 1) == 0) {
        std::string_view id = zreport_identifier(reply);
        std::string expected = len > 13 ? std::string(reply + 13, len - 13) : "";
        FUZZ_CHECK(id == expected);
        bool ok = zreport_names_a_file(id);
        FUZZ_CHECK(ok == names_a_file_by_rule(expected));
        if (ok) {
            FUZZ_CHECK(id.size() <= zreport_identifier_max);
            // One file in C:\out\ and nothing else: no separator, no parent.
            FUZZ_CHECK(id.find_first_of("/\\:") == std::string_view::npos);
            FUZZ_CHECK(id.find("..") == std::string_view::npos);
        }
        return 0;
    }
    std::string before(reply, len);
    ZReportLine line = zreport_line(reply);
    size_t cut = len < 60 ? len : 60;
    FUZZ_CHECK(strlen(reply) == cut && before.compare(0, cut, reply) == 0);
    char type = cut > 9 ? before[9] : '\0';
    ZLineAction expected = cut <= 9 || type == '1' || type == '2' ? ZLineAction::skip
                           : type == '3'                          ? ZLineAction::close
                                                                  : ZLineAction::write;
    FUZZ_CHECK(line.action == expected);
    if (line.action == ZLineAction::write) {
        // At most 49 characters, those from position 11 on.
        size_t n = strlen(line.text);
        FUZZ_CHECK(n <= 49);
        FUZZ_CHECK(before.compare(cut > 11 ? 11 : cut, n, line.text) == 0);
        FUZZ_CHECK(n == (cut > 11 ? cut - 11 : 0));
    }
    return 0;
}
