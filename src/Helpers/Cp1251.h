// Conversion between the model's Windows-1251 text and UTF-8, for the user-interface and
// command-line boundary, and for the program's own literal texts (written as UTF-8 in the source).
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace Norik {

// Windows-1251 bytes to UTF-8. Every byte maps to a character (0x98, unassigned, maps to U+FFFD).
std::string Cp1251ToUtf8(std::string_view text);

// UTF-8 to Windows-1251. Characters without a Windows-1251 byte, and malformed UTF-8, become "?".
std::string Utf8ToCp1251(std::string_view text);

// The Unicode code point of one Windows-1251 byte.
char32_t Cp1251ToUnicode(unsigned char byte);

}  // namespace Norik
