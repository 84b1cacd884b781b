// The key functions and their character tables. Bytes are Windows-1251: А..Я are 0xC0..0xDF,
// а..я 0xE0..0xFF, Ё 0xA8, ё 0xB8, « 0xAB, » 0xBB, … 0x85.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index/IndexSpace.h"

namespace IndexSpace {

namespace {

constexpr std::array<std::uint8_t, 256> MakeLetterCodes() {
    std::array<std::uint8_t, 256> codes{};
    // Cyrillic in alphabet order; Й shares И's code, Ъ and Ь have none.
    constexpr std::uint8_t cyrillic[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  8,  9, 10, 11, 12, 13, 14,
                                           15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 0, 25, 0,  26, 27, 28};
    for (int i = 0; i < 32; ++i) {
        codes[0xC0 + i] = cyrillic[i];
        codes[0xE0 + i] = cyrillic[i];
    }
    codes[0xA8] = 5;  // Ё
    codes[0xB8] = 5;  // ё
    // Latin letters run on their own numbering: I and J fall on E's code, K on H's, and L
    // continues at 8.
    constexpr std::uint8_t latin[26] = {0,  1,  2,  3,  4,  5,  6,  7,  4,  4,  7,  8,  9,
                                        10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22};
    for (int i = 0; i < 26; ++i) {
        codes['A' + i] = latin[i];
        codes['a' + i] = latin[i];
    }
    for (int i = 0; i < 10; ++i) codes['0' + i] = static_cast<std::uint8_t>(i);
    codes['-'] = 29;
    codes['+'] = 30;
    // The highest code: a text followed by asterisks hashes to the largest key with its prefix.
    codes['*'] = 31;
    return codes;
}

constexpr std::array<bool, 256> MakeSet(std::string_view bytes) {
    std::array<bool, 256> set{};
    for (const char ch : bytes) set[static_cast<unsigned char>(ch)] = true;
    return set;
}

// ъ Ъ ь Ь " ' - ` [ ( { < « . _ # / and the space.
constexpr auto kSkip = MakeSet("\xFA\xDA\xFC\xDC\"'-`[({<\xAB._#/ ");
// ё й у е ъ ы а о э я и ь ю, their capitals, and . , ; - / : " ' ? ! ( ) [ ] { } < > « » _ … space.
constexpr auto kEnding = MakeSet(
    "\xB8\xE9\xF3\xE5\xFA\xFB\xE0\xEE\xFD\xFF\xE8\xFC\xFE"
    "\xA8\xC9\xD3\xC5\xDA\xDB\xC0\xCE\xDD\xDF\xC8\xDC\xDE"
    ".,;-/:\"'?!()[]{}<>\xAB\xBB_\x85 ");
constexpr auto kCodes = MakeLetterCodes();

inline std::uint64_t Push(std::uint64_t hash, unsigned char ch) {
    return (hash >> 5) | (static_cast<std::uint64_t>(kCodes[ch]) << 59);
}

}  // namespace

const std::array<std::uint8_t, 256> LetterCode = kCodes;
const std::array<bool, 256> SkipChars = kSkip;
const std::array<bool, 256> EndingChars = kEnding;

IndexKey StrHash(std::string_view text) {
    // Characters after the thirteenth are shifted out entirely, so only the first 13 matter.
    const std::size_t length = text.size() < 13 ? text.size() : 13;
    std::uint64_t hash = 0;
    for (std::size_t i = length; i-- > 0;) hash = Push(hash, static_cast<unsigned char>(text[i]));
    return static_cast<IndexKey>(hash);
}

IndexKey WordHash(std::string_view word) {
    std::size_t end = word.size();
    while (end > 0 && kEnding[static_cast<unsigned char>(word[end - 1])]) --end;

    std::uint64_t hash = 0;
    unsigned char previous = 0;
    std::size_t counted = 0;
    for (std::size_t i = end; i-- > 0;) {
        const auto ch = static_cast<unsigned char>(word[i]);
        ++counted;  // skipped characters count towards the minimum length too
        if (!kSkip[ch] && ch != previous) hash = Push(hash, ch);
        // Digits and asterisks never merge with a neighbour: "11" is two ones.
        previous = ((ch >= '0' && ch <= '9') || ch == '*') ? 0 : ch;
    }
    // Stems shorter than three characters are too common to be keys.
    if (counted < 3) return 0;
    return static_cast<IndexKey>(hash);
}

std::vector<std::string> SplitWords(std::string_view text) {
    const auto separator = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && separator(text[at])) ++at;
        const std::size_t begin = at;
        while (at < text.size() && !separator(text[at])) ++at;
        if (at > begin) words.emplace_back(text.substr(begin, at - begin));
    }
    return words;
}

}  // namespace IndexSpace
