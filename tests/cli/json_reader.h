// A strict reader of one JSON text (RFC 8259), for checking what a program
// wrote: objects, arrays, strings with their escapes, numbers, true, false,
// null. Strings come back as UTF-8. Characters beyond U+FFFF, which no text
// of 8-bit characters becomes, are refused.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct Json {
    enum Kind { null, boolean, number, string, array, object } kind = null;
    bool flag = false;
    double value = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    bool has(const std::string& key) const { return members.count(key) != 0; }
    // The member, or a null for a key the object does not have.
    const Json& operator[](const std::string& key) const;
};

// nullopt, with the reason in why, for anything that is not exactly one
// JSON value (blanks around it aside).
std::optional<Json> parse_json(std::string_view text, std::string& why);
