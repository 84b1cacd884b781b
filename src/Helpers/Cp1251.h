// Conversion between the model's Windows-1251 text and UTF-8, for the user-interface and
// command-line boundary, the rich-text reader, and the program's own literal texts (written as
// UTF-8 in the source). Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace Norik {

// Unicode code points of the bytes 0x80-0xFF (0x98, unassigned, is U+FFFD).
extern const char16_t kCp1251HighHalf[128];

// Appends the UTF-8 form of a code point; surrogates and values past U+10FFFF become U+FFFD.
inline void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000 && (c < 0xD800 || c > 0xDFFF)) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c >= 0x10000 && c <= 0x10FFFF) {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.append("\xEF\xBF\xBD");
    }
}

// Windows-1251 bytes to UTF-8. Every byte maps to a character (0x98, unassigned, maps to U+FFFD).
std::string Cp1251ToUtf8(std::string_view text);

// UTF-8 to Windows-1251. Characters without a Windows-1251 byte, and each byte of malformed UTF-8
// (overlong forms and surrogates included, as IsValidUtf8 tells them), become "?".
std::string Utf8ToCp1251(std::string_view text);
// The same, appended to out.
void AppendUtf8AsCp1251(std::string& out, std::string_view text);

// How a text reads as UTF-8: only ASCII bytes, well-formed UTF-8 with characters beyond ASCII, or
// not UTF-8 at all. Russian text in Windows-1251 is practically never well-formed UTF-8 (its small
// letters 0xF0-0xFF cannot stand where UTF-8 puts them), so texts that all read as UTF-8, some
// with characters beyond ASCII, were written in UTF-8.
enum class Utf8Form { Ascii, MultiByte, NotUtf8 };
Utf8Form ClassifyUtf8(std::string_view text);

// The Unicode code point of one Windows-1251 byte.
char32_t Cp1251ToUnicode(unsigned char byte);

// Whether text is well-formed UTF-8: no overlong form, no surrogate, nothing past U+10FFFF, no
// sequence cut at the end. Windows-1251 text almost never is: its letters (0xC0-0xFF) are lead
// bytes, and letters rather than continuation bytes follow them.
bool IsValidUtf8(std::string_view text);

// Upper case of one Windows-1251 byte: Latin a-z, Russian а-я and ё, and the other Cyrillic small
// letters of the code page (ђ ѓ љ њ ќ ћ џ ў ј ґ є і ї ѕ); every other byte is returned as it is.
unsigned char UpperCp1251(unsigned char byte);
// The same for every byte of text. Comparing upper cases is how texts compare ignoring case.
std::string UpperCp1251(std::string_view text);

}  // namespace Norik
