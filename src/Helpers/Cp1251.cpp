#include "Helpers/Cp1251.h"

namespace Norik {

const char16_t kCp1251HighHalf[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

namespace {

// The Windows-1251 byte of a code point, or 0 when it has none.
unsigned char UnicodeToCp1251(char32_t code) {
    if (code < 0x80) return static_cast<unsigned char>(code);
    if (code >= 0x0410 && code <= 0x044F) return static_cast<unsigned char>(code - 0x0410 + 0xC0);
    for (std::size_t i = 0; i < 128; ++i) {
        if (kCp1251HighHalf[i] == code && code != 0xFFFD) return static_cast<unsigned char>(0x80 + i);
    }
    return 0;
}

}  // namespace

char32_t Cp1251ToUnicode(unsigned char byte) { return byte < 0x80 ? byte : kCp1251HighHalf[byte - 0x80]; }

namespace {

struct UpperTable {
    unsigned char upper[256]{};
    constexpr UpperTable() {
        for (int b = 0; b < 256; ++b) upper[b] = static_cast<unsigned char>(b);
        for (int b = 'a'; b <= 'z'; ++b) upper[b] = static_cast<unsigned char>(b - 0x20);
        for (int b = 0xE0; b <= 0xFF; ++b) upper[b] = static_cast<unsigned char>(b - 0x20);
        // The letters outside the two contiguous alphabets pair up irregularly: small -> capital.
        constexpr unsigned char pairs[][2] = {
            {0x90, 0x80},  // ђ Ђ
            {0x83, 0x81},  // ѓ Ѓ
            {0x9A, 0x8A},  // љ Љ
            {0x9C, 0x8C},  // њ Њ
            {0x9D, 0x8D},  // ќ Ќ
            {0x9E, 0x8E},  // ћ Ћ
            {0x9F, 0x8F},  // џ Џ
            {0xA2, 0xA1},  // ў Ў
            {0xBC, 0xA3},  // ј Ј
            {0xB4, 0xA5},  // ґ Ґ
            {0xB8, 0xA8},  // ё Ё
            {0xBA, 0xAA},  // є Є
            {0xBF, 0xAF},  // ї Ї
            {0xB3, 0xB2},  // і І
            {0xBE, 0xBD},  // ѕ Ѕ
        };
        for (const auto& pair : pairs) upper[pair[0]] = pair[1];
    }
};

constexpr UpperTable kUpper;

}  // namespace

unsigned char UpperCp1251(unsigned char byte) { return kUpper.upper[byte]; }

std::string UpperCp1251(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(kUpper.upper[static_cast<unsigned char>(c)]);
    return out;
}

std::string Cp1251ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) AppendUtf8(out, Cp1251ToUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1251(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendUtf8AsCp1251(out, text);
    return out;
}

namespace {

// The code point of the well-formed UTF-8 sequence at text[at] and its length; 0 when the bytes
// there are no such sequence (a stray continuation byte, a lead byte that is never used, a cut or
// broken sequence, an overlong form, a surrogate, a value past U+10FFFF).
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t& code) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    // C0 and C1 could only start overlong forms of ASCII, F5 and above values past U+10FFFF.
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || text.size() - at < length) return 0;
    code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    // The shortest form only: three bytes from U+0800, four from U+10000.
    if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
        return 0;
    return length;
}

}  // namespace

void AppendUtf8AsCp1251(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text, i, code);
        if (length == 0) {
            out.push_back('?');
            ++i;
            continue;
        }
        const unsigned char byte = UnicodeToCp1251(code);
        out.push_back(byte == 0 && code != 0 ? '?' : static_cast<char>(byte));
        i += length;
    }
}

Utf8Form ClassifyUtf8(std::string_view text) {
    Utf8Form form = Utf8Form::Ascii;
    char32_t code = 0;
    for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
        if ((length = DecodeUtf8(text, i, code)) == 0) return Utf8Form::NotUtf8;
        if (length > 1) form = Utf8Form::MultiByte;
    }
    return form;
}

bool IsValidUtf8(std::string_view text) { return ClassifyUtf8(text) != Utf8Form::NotUtf8; }

}  // namespace Norik
