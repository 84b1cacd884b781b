// Case folding of Windows-1251 text; what is well-formed UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "Helpers/Cp1251.h"

namespace {

// The Unicode upper case of the letters the code page holds: a-z, а-я (U+0430-044F) to
// U+0410-042F, ѐ-џ (U+0450-045F) to U+0400-040F, ґ to Ґ. Every other character stays.
char32_t UnicodeUpper(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 0x20;
    if (c >= 0x0430 && c <= 0x044F) return c - 0x20;
    if (c >= 0x0450 && c <= 0x045F) return c - 0x50;
    if (c == 0x0491) return 0x0490;
    return c;
}

TEST(Cp1251, UpperCaseAgreesWithUnicodeForEveryByte) {
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        EXPECT_EQ(Norik::Cp1251ToUnicode(Norik::UpperCp1251(byte)), UnicodeUpper(Norik::Cp1251ToUnicode(byte)))
            << "byte " << b;
    }
    EXPECT_EQ(Norik::UpperCp1251(Norik::Utf8ToCp1251("ёлка, Їжак і z-1")), Norik::Utf8ToCp1251("ЁЛКА, ЇЖАК І Z-1"));
}

// IsValidUtf8 decides whether a table or a plain text is UTF-8 or Windows-1251, and the command
// line's conversion follows it: only the shortest form of a character is UTF-8.
TEST(Utf8, OnlyWellFormedShortestFormsAreUtf8) {
    const struct {
        const char* bytes;
        bool valid;
        const char* cp1251;  // what Utf8ToCp1251 makes of them
    } cases[] = {
        {"", true, ""},
        {"a\xD0\x90\xD1\x8F", true, "a\xC0\xFF"},         // "aАя"
        {"\xE2\x80\xA6\xF0\x9F\x98\x80", true, "\x85?"},  // "…" and an emoji
        {"\xC0\xAF", false, "??"},                        // "/" in two bytes
        {"\xE0\x80\xAF", false, "???"},                   // "/" in three bytes
        {"\xF0\x80\x80\xAF", false, "????"},              // "/" in four bytes
        {"\xE0\x9F\xBF", false, "???"},                   // U+07FF in three bytes
        {"\xED\xA0\x80", false, "???"},                   // a surrogate
        {"\xF4\x90\x80\x80", false, "????"},              // past U+10FFFF
        {"\xF5\x80\x80\x80", false, "????"},
        {"\xD0", false, "?"},                           // cut short
        {"\x80", false, "?"},                           // a stray continuation byte
        {"\xCF\xF0\xE8\xEA\xE0\xE7", false, "??????"},  // "Приказ" in Windows-1251
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Norik::IsValidUtf8(c.bytes), c.valid) << Norik::Cp1251ToUtf8(c.bytes);
        EXPECT_EQ(Norik::Utf8ToCp1251(c.bytes), c.cp1251) << Norik::Cp1251ToUtf8(c.bytes);
    }
}

// The tables' loaders tell a table written in UTF-8 from one in Windows-1251 by this.
TEST(Cp1251, Utf8FormTellsUtf8FromWindows1251) {
    using Norik::ClassifyUtf8;
    using Norik::Utf8Form;
    EXPECT_EQ(ClassifyUtf8(""), Utf8Form::Ascii);
    EXPECT_EQ(ClassifyUtf8("12-FZ"), Utf8Form::Ascii);
    EXPECT_EQ(ClassifyUtf8("12-ФЗ"), Utf8Form::MultiByte);
    EXPECT_EQ(ClassifyUtf8(Norik::Utf8ToCp1251("О налогах")), Utf8Form::NotUtf8);
    EXPECT_EQ(ClassifyUtf8("12-ФЗ\xC0\xAF"), Utf8Form::NotUtf8);
}

}  // namespace
