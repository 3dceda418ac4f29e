#include "json_reader.h"

#include <cctype>
#include <cstdlib>

namespace {

// Well-formed UTF-8 of the Basic Multilingual Plane, which is all that a
// text of 8-bit characters can become: no stray continuation byte, no
// overlong form, no surrogate.
bool valid_utf8(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) continue;
        size_t n = c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2 : 0;
        if (n == 0 || i + n >= s.size()) return false;
        unsigned cp = c & (0x3Fu >> n);
        for (size_t k = 1; k <= n; ++k) {
            auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3Fu);
        }
        if ((n == 2 && cp < 0x800) || (cp >= 0xD800 && cp < 0xE000)) return false;
        i += n;
    }
    return true;
}

struct Reader {
    std::string_view s;
    size_t at = 0;
    std::string why = {};

    bool fail(const char* what) {
        if (why.empty()) why = std::string(what) + " at offset " + std::to_string(at);
        return false;
    }
    char peek() { return at < s.size() ? s[at] : '\0'; }
    void blanks() {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r') ++at;
    }
    bool take(char c) { return peek() == c ? (++at, true) : false; }
    bool literal(std::string_view word) {
        if (s.substr(at, word.size()) != word) return fail("bad literal");
        at += word.size();
        return true;
    }
    // \uXXXX below U+D800 or above U+DFFF, as UTF-8.
    bool unicode(std::string& out) {
        std::string digits(s.substr(at, 4));
        if (digits.size() != 4) return fail("short \\u escape");
        for (char d : digits)
            if (!isxdigit(static_cast<unsigned char>(d))) return fail("bad \\u escape");
        unsigned long cp = strtoul(digits.c_str(), nullptr, 16);
        if (cp >= 0xD800 && cp < 0xE000) return fail("surrogate escape");
        at += 4;
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
        return true;
    }
    bool string(std::string& out) {
        if (!take('"')) return fail("expected a string");
        for (;;) {
            if (at >= s.size()) return fail("unterminated string");
            auto c = static_cast<unsigned char>(s[at++]);
            if (c == '"') return true;
            if (c < 0x20) return fail("raw control byte in a string");
            if (c != '\\') {
                out += char(c);
                continue;
            }
            static constexpr std::string_view escapes = "\"\"\\\\//b\bf\fn\nr\rt\t";
            char e = peek();
            ++at;
            if (e == 'u') {
                if (!unicode(out)) return false;
                continue;
            }
            size_t k = escapes.find(e);
            if (e == '\0' || k == std::string_view::npos || k % 2 != 0)
                return fail("unknown escape");
            out += escapes[k + 1];
        }
    }
    size_t digits() {
        size_t from = at;
        while (peek() >= '0' && peek() <= '9') ++at;
        return at - from;
    }
    bool number(Json& out) {
        size_t start = at;
        take('-');
        size_t first = at;
        size_t n = digits();
        if (n == 0 || (n > 1 && s[first] == '0')) return fail("bad number");
        if (take('.') && digits() == 0) return fail("bad fraction");
        if (take('e') || take('E')) {
            if (!take('+')) take('-');
            if (digits() == 0) return fail("bad exponent");
        }
        out.kind = Json::number;
        out.value = strtod(std::string(s.substr(start, at - start)).c_str(), nullptr);
        return true;
    }
    // The members of an object or the items of an array, up to close.
    template <typename One> bool sequence(char close, One one) {
        blanks();
        if (take(close)) return true;
        for (;;) {
            if (!one()) return false;
            blanks();
            if (take(close)) return true;
            if (!take(',')) return fail("expected ',' or the end");
        }
    }
    bool value(Json& out, int depth) {
        if (depth > 64) return fail("too deep");
        blanks();
        char c = peek();
        if (take('{')) {
            out.kind = Json::object;
            return sequence('}', [&] {
                blanks();
                std::string key;
                if (!string(key)) return false;
                if (out.members.count(key) != 0) return fail("duplicate key");
                blanks();
                if (!take(':')) return fail("expected ':'");
                return value(out.members[key], depth + 1);
            });
        }
        if (take('[')) {
            out.kind = Json::array;
            return sequence(']', [&] {
                out.items.emplace_back();
                return value(out.items.back(), depth + 1);
            });
        }
        if (c == '"') {
            out.kind = Json::string;
            return string(out.text);
        }
        if (c == 't' || c == 'f') {
            out.kind = Json::boolean;
            out.flag = c == 't';
            return literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') return literal("null");
        return number(out);
    }
};

} // namespace

const Json& Json::operator[](const std::string& key) const {
    static const Json none;
    auto it = members.find(key);
    return it == members.end() ? none : it->second;
}

std::optional<Json> parse_json(std::string_view text, std::string& why) {
    Reader r{text};
    Json out;
    bool ok = valid_utf8(text) ? r.value(out, 0) : r.fail("not UTF-8");
    r.blanks();
    if (ok && r.at != text.size()) ok = r.fail("text after the value");
    if (!ok) {
        why = r.why;
        return std::nullopt;
    }
    return out;
}
