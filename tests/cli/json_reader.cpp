#include "json_reader.h"

#include <cstdlib>

namespace {

struct Reader {
    std::string_view s;
    size_t at = 0;
    std::string why;

    bool fail(const char* what) {
        if (why.empty()) why = std::string(what) + " at offset " + std::to_string(at);
        return false;
    }
    void blanks() {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\n' || s[at] == '\r'))
            ++at;
    }
    bool literal(std::string_view word) {
        if (s.substr(at, word.size()) != word) return fail("bad literal");
        at += word.size();
        return true;
    }
    static void put_utf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    bool hex4(unsigned& cp) {
        if (at + 4 > s.size()) return fail("short \\u escape");
        cp = 0;
        for (int i = 0; i < 4; ++i) {
            char c = s[at++];
            int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
            if (d < 0) return fail("bad \\u escape");
            cp = cp * 16 + unsigned(d);
        }
        return true;
    }
    bool string(std::string& out) {
        if (at >= s.size() || s[at] != '"') return fail("expected a string");
        ++at;
        for (;;) {
            if (at >= s.size()) return fail("unterminated string");
            auto c = static_cast<unsigned char>(s[at++]);
            if (c == '"') return true;
            if (c < 0x20) return fail("raw control byte in a string");
            if (c != '\\') {
                out += char(c);
                continue;
            }
            if (at >= s.size()) return fail("unterminated escape");
            char e = s[at++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned cp = 0;
                if (!hex4(cp)) return false;
                if (cp >= 0xD800 && cp < 0xDC00) {
                    unsigned low = 0;
                    if (s.substr(at, 2) != "\\u") return fail("lone high surrogate");
                    at += 2;
                    if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return fail("bad surrogate");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp < 0xE000) {
                    return fail("lone low surrogate");
                }
                put_utf8(out, cp);
                break;
            }
            default:
                return fail("unknown escape");
            }
        }
    }
    bool number(Json& out) {
        size_t start = at;
        if (at < s.size() && s[at] == '-') ++at;
        auto digits = [&] {
            size_t from = at;
            while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
            return at - from;
        };
        size_t first = at;
        size_t n = digits();
        if (n == 0 || (n > 1 && s[first] == '0')) return fail("bad number");
        if (at < s.size() && s[at] == '.') {
            ++at;
            if (digits() == 0) return fail("bad fraction");
        }
        if (at < s.size() && (s[at] == 'e' || s[at] == 'E')) {
            ++at;
            if (at < s.size() && (s[at] == '+' || s[at] == '-')) ++at;
            if (digits() == 0) return fail("bad exponent");
        }
        out.kind = Json::number;
        out.value = strtod(std::string(s.substr(start, at - start)).c_str(), nullptr);
        return true;
    }
    bool value(Json& out, int depth) {
        if (depth > 64) return fail("too deep");
        blanks();
        if (at >= s.size()) return fail("expected a value");
        char c = s[at];
        if (c == '{') {
            out.kind = Json::object;
            ++at;
            blanks();
            if (at < s.size() && s[at] == '}') return ++at, true;
            for (;;) {
                blanks();
                std::string key;
                if (!string(key)) return false;
                if (out.members.count(key) != 0) return fail("duplicate key");
                blanks();
                if (at >= s.size() || s[at++] != ':') return fail("expected ':'");
                if (!value(out.members[key], depth + 1)) return false;
                blanks();
                if (at < s.size() && s[at] == ',') {
                    ++at;
                    continue;
                }
                if (at < s.size() && s[at] == '}') return ++at, true;
                return fail("expected ',' or '}'");
            }
        }
        if (c == '[') {
            out.kind = Json::array;
            ++at;
            blanks();
            if (at < s.size() && s[at] == ']') return ++at, true;
            for (;;) {
                out.items.emplace_back();
                if (!value(out.items.back(), depth + 1)) return false;
                blanks();
                if (at < s.size() && s[at] == ',') {
                    ++at;
                    continue;
                }
                if (at < s.size() && s[at] == ']') return ++at, true;
                return fail("expected ',' or ']'");
            }
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

// Well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing past U+10FFFF.
bool valid_utf8(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) continue;
        size_t n = c >= 0xC2 && c < 0xE0   ? 1
                   : c >= 0xE0 && c < 0xF0 ? 2
                   : c >= 0xF0 && c < 0xF5 ? 3
                                           : 0;
        if (n == 0 || i + n >= s.size()) return false;
        unsigned cp = c & (0x3Fu >> n);
        for (size_t k = 1; k <= n; ++k) {
            auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3Fu);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp < 0xE000))
            return false;
        i += n;
    }
    return true;
}

} // namespace

const Json& Json::operator[](const std::string& key) const {
    static const Json none;
    auto it = members.find(key);
    return it == members.end() ? none : it->second;
}

std::optional<Json> parse_json(std::string_view text, std::string& why) {
    if (!valid_utf8(text)) {
        why = "not UTF-8";
        return std::nullopt;
    }
    Reader r{text, 0, {}};
    Json out;
    bool ok = r.value(out, 0);
    if (ok) {
        r.blanks();
        if (r.at != text.size()) ok = r.fail("text after the value");
    }
    if (!ok) {
        why = r.why;
        return std::nullopt;
    }
    return out;
}
