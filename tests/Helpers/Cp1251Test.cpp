// Case folding of Windows-1251 text.
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

TEST(Cp1251, Utf8FormTellsUtf8FromWindows1251) {
    using Norik::ClassifyUtf8;
    using Norik::Utf8Form;
    using Norik::Utf8ToCp1251;
    const std::pair<std::string, Utf8Form> cases[] = {
        {"", Utf8Form::Ascii},
        {"12-ФЗ", Utf8Form::MultiByte},
        {"\xF0\x9F\x98\x80", Utf8Form::MultiByte},
        {Utf8ToCp1251("О налогах"), Utf8Form::NotUtf8},
        {"\xC0\xAF", Utf8Form::NotUtf8},          // overlong
        {"\xED\xA0\x80", Utf8Form::NotUtf8},      // surrogate
        {"\xF4\x90\x80\x80", Utf8Form::NotUtf8},  // past U+10FFFF
        {"\xD0", Utf8Form::NotUtf8},              // cut
    };
    for (const auto& [text, form] : cases) EXPECT_EQ(ClassifyUtf8(text), form) << text;
}

}  // namespace
