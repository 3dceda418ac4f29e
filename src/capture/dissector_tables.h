// The tables the Wireshark dissector (tools/wireshark/varnoke.lua) shares
// with the console: the device's error names and descriptions and the
// captions of the status bits, written as Lua between two marker lines of
// that file. A test keeps the committed file equal to what this gives.
#pragma once

#include <string>

inline constexpr const char* lua_tables_begin = "-- BEGIN TABLES GENERATED FROM THE CONSOLE";
inline constexpr const char* lua_tables_end = "-- END TABLES GENERATED FROM THE CONSOLE";

// The lines between the markers, each ending in a newline.
std::string dissector_tables_lua();

// The Lua text with the part between its markers replaced by the tables;
// "" when the markers are missing.
std::string with_dissector_tables(const std::string& lua);
