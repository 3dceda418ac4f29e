// Conversion between the program's 8-bit texts (Windows-1252) and UTF-8 for
// toolkits that take UTF-8. Every byte maps to a valid, visible character and
// converts back to the same byte.
#pragma once

#include <string>
#include <string_view>

std::string text8_to_utf8(std::string_view text);
// Characters that have no byte become '?'; malformed UTF-8 bytes are taken
// as they are.
std::string utf8_to_text8(std::string_view utf8);
