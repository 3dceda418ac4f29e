// The SHA-1 digest of a text as 40 upper-case hexadecimal characters.
#pragma once

#include "codec/sha1.h"

#include <string>

inline std::string sha1_of(const std::string& data) {
    Sha1 s;
    sha1_update(s, data.data(), data.size());
    char hex[41];
    sha1_hex(sha1_final(s), hex);
    return hex;
}
