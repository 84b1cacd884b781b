// StrHash and WordHash against keys composed by hand from the letter codes.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "Helpers/Cp1251.h"
#include "index/IndexSpace.h"

namespace {

using IndexSpace::IndexKey;
using IndexSpace::StrHash;
using IndexSpace::WordHash;

// Windows-1251 bytes of a UTF-8 literal.
std::string W(const char* utf8) { return Norik::Utf8ToCp1251(utf8); }

// The key made of the given 5-bit codes, first code in bits 63..59; the 13th keeps its upper four bits.
IndexKey Codes(std::initializer_list<unsigned> codes) {
    std::uint64_t key = 0;
    int shift = 59;
    for (const unsigned code : codes) {
        key |= shift >= 0 ? std::uint64_t{code} << shift : std::uint64_t{code} >> -shift;
        shift -= 5;
    }
    return static_cast<IndexKey>(key);
}

struct HashCase {
    const char* text;  // UTF-8
    IndexKey expected;
};

class StrHashTable : public ::testing::TestWithParam<HashCase> {};

TEST_P(StrHashTable, MatchesHandComputedKey) {
    EXPECT_EQ(StrHash(W(GetParam().text)), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StrHashTable,
    ::testing::Values(HashCase{"", 0}, HashCase{"А", 0}, HashCase{"000", 0}, HashCase{"Б", Codes({1})},
                      HashCase{"12-ФЗ", Codes({1, 2, 29, 19, 7})}, HashCase{"закон", Codes({7, 0, 9, 13, 12})},
                      HashCase{"ЗАКОН", Codes({7, 0, 9, 13, 12})}, HashCase{"Ёж", Codes({5, 6})},
                      HashCase{"ёж", Codes({5, 6})},
                      HashCase{"Подъезд", Codes({14, 13, 4, 0, 5, 7, 4})},  // no character is skipped
                      HashCase{"Я", Codes({28})}, HashCase{"a+b*", Codes({0, 30, 1, 31})},
                      HashCase{"ABCDEFGHIJKLM", Codes({0, 1, 2, 3, 4, 5, 6, 7, 4, 4, 7, 8, 9})},
                      HashCase{"nopqrstuvwxyz", Codes({10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22})},
                      HashCase{"1234567890123", Codes({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3})},
                      HashCase{"№ 5, (ст.)", Codes({0, 0, 5, 0, 0, 0, 16, 17, 0, 0})}));

TEST(StrHash, OnlyTheFirstThirteenCharactersCount) {
    EXPECT_EQ(StrHash("12345678901234"), StrHash("1234567890123"));
    EXPECT_EQ(StrHash("1234567890123-XYZ"), StrHash("1234567890123"));
    // The 13th character keeps only its upper four bits: 2 and 3 differ in the lowest one.
    EXPECT_EQ(StrHash("1234567890122"), StrHash("1234567890123"));
    EXPECT_NE(StrHash("1234567890121"), StrHash("1234567890123"));
}

TEST(StrHash, LetterFromСOnwardsGivesNegativeKey) {
    EXPECT_LT(StrHash(W("Т")), 0);
    EXPECT_LT(StrHash(W("Указ")), 0);
    EXPECT_GT(StrHash(W("Приказ")), 0);
}

TEST(StrHash, PrefixRangeBracketsEveryTextWithThePrefix) {
    for (const char* prefix : {"12", "Т", "Постановление", "Z"}) {
        const std::string p = W(prefix);
        const IndexKey low = StrHash(p);
        const IndexKey high = StrHash(p + std::string(IndexSpace::kPrefixRangeSuffix));
        for (const char* tail : {"", "0", "-ФЗ", "ЯЯЯЯЯЯЯЯЯЯЯЯЯЯ", "***", "ааааааааааа"}) {
            const IndexKey key = StrHash(p + W(tail));
            EXPECT_LE(low, key) << prefix << tail;
            EXPECT_LE(key, high) << prefix << tail;
        }
    }
    // A text that differs in its last typed character lies outside.
    EXPECT_GT(StrHash("13"), StrHash("12" + std::string(IndexSpace::kPrefixRangeSuffix)));
}

class WordHashTable : public ::testing::TestWithParam<HashCase> {};

TEST_P(WordHashTable, MatchesHandComputedKey) {
    EXPECT_EQ(WordHash(W(GetParam().text)), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Words, WordHashTable,
    ::testing::Values(HashCase{"", 0}, HashCase{"ее", 0}, HashCase{"ab", 0},  // stripped away or too short
                      HashCase{"abc", Codes({0, 1, 2})}, HashCase{"abe", Codes({0, 1, 4})},  // Latin vowels stay
                      HashCase{"закон", Codes({7, 0, 9, 13, 12})}, HashCase{"Анна", Codes({0, 12})},
                      HashCase{"Анн", Codes({0, 12})},                          // doubled н counted once
                      HashCase{"ббб", Codes({1})},                              // n counts merged letters
                      HashCase{"111", Codes({1, 1, 1})},                        // digits never merge
                      HashCase{"11", 0}, HashCase{"***", Codes({31, 31, 31})},  // nor do asterisks
                      HashCase{"объект", Codes({13, 1, 5, 9, 17})},             // ъ skipped
                      HashCase{"к-к", Codes({9, 9})},                           // skipped byte resets the doubling
                      HashCase{"статья", Codes({16, 17, 0, 17})},               // "ья" stripped
                      HashCase{"«Закон»", Codes({7, 0, 9, 13, 12})},            // « skipped, » stripped
                      HashCase{"(ред.", Codes({15, 5, 4})},                     // "(" skipped but counted
                      HashCase{"ст.", 0},                                       // too short without the dot
                      HashCase{"ООО", 0}, HashCase{"ТТТ", Codes({17})}, HashCase{"Нн1", Codes({12, 12, 1})},
                      HashCase{"2000-х", Codes({2, 0, 0, 0, 20})}, HashCase{"ab***", Codes({0, 1, 31, 31, 31})},
                      // Lower-case ё (0xB8) keys as е and, at the end of a word, is stripped like the vowels.
                      HashCase{"ёлка", Codes({5, 10, 9})}, HashCase{"берёза", Codes({1, 5, 15, 5, 7})},
                      HashCase{"бельё", Codes({1, 5, 10})}, HashCase{"всё", 0}, HashCase{"её", 0}));

TEST(WordHash, WordFormsShareTheirStem) {
    const char* groups[][4] = {
        {"закон", "закона", "законы", "закону"},
        {"постановление", "постановления", "постановлению", "постановлении"},
        {"Российской", "Российская", "российской", "Российскую"},
        {"статья", "статьи", "статье", "статью"},
        {"кодекс", "кодекса", "кодексу", "кодекс,"},
        {"ёлка", "Ёлки", "елку", "ёлкой"},
    };
    for (const auto& group : groups) {
        const IndexKey stem = WordHash(W(group[0]));
        ASSERT_NE(stem, 0) << group[0];
        for (const char* form : group) EXPECT_EQ(WordHash(W(form)), stem) << group[0] << " / " << form;
    }
    EXPECT_NE(WordHash(W("законом")), WordHash(W("закон")));  // м is no ending
    EXPECT_NE(WordHash(W("Российской")), WordHash(W("Россией")));
}

TEST(WordHash, TrailingPunctuationStripsWithTheVowels) {
    EXPECT_EQ(WordHash(W("закона,")), WordHash(W("закон")));
    EXPECT_EQ(WordHash(W("закон\xE2\x80\xA6")), WordHash(W("закон")));  // …
    EXPECT_EQ(WordHash(W("(закона)!?")), WordHash(W("(закон")));
}

TEST(WordHash, PrefixRangeOfAWordCoversItsLongerForms) {
    for (const char* word : {"закон", "закона", "статья", "Анна", "РФ12"}) {
        const std::string w = W(word);
        const IndexKey low = WordHash(w);
        const IndexKey high = WordHash(w + std::string(IndexSpace::kPrefixRangeSuffix));
        ASSERT_NE(low, 0) << word;
        EXPECT_LE(low, high) << word;
        EXPECT_EQ((low < 0), (high < 0)) << word;
    }
    const IndexKey low = WordHash(W("закон"));
    const IndexKey high = WordHash(W("закон") + std::string(IndexSpace::kPrefixRangeSuffix));
    for (const char* form : {"законом", "законодательство", "законный", "закон"}) {
        const IndexKey key = WordHash(W(form));
        EXPECT_TRUE(low <= key && key <= high) << form;
    }
    EXPECT_LT(WordHash(W("заказ")), low);
    EXPECT_GT(WordHash(W("закуп")), high);
}

// The builder and a search split with the same function: a word is what white space separates.
TEST(SplitWords, SplitsAtWhiteSpaceOnly) {
    EXPECT_EQ(IndexSpace::SplitWords(" a,b \t\n c.\r\v\fd  "), (std::vector<std::string>{"a,b", "c.", "d"}));
    EXPECT_TRUE(IndexSpace::SplitWords(" \t ").empty());
}

TEST(CharacterTables, LetterCodesOfBothCases) {
    const std::string upper = W("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
    const std::string lower = W("абвгдежзийклмнопрстуфхцчшщъыьэюя");
    const unsigned expected[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  8,  9, 10, 11, 12, 13, 14,
                                   15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 0, 25, 0,  26, 27, 28};
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(IndexSpace::LetterCode[static_cast<unsigned char>(upper[i])], expected[i]) << i;
        EXPECT_EQ(IndexSpace::LetterCode[static_cast<unsigned char>(lower[i])], expected[i]) << i;
    }
    EXPECT_EQ(IndexSpace::LetterCode[0xA8], 5);  // Ё
    EXPECT_EQ(IndexSpace::LetterCode['.'], 0);
    EXPECT_EQ(IndexSpace::LetterCode[' '], 0);
}

TEST(CharacterTables, SkipAndEndingSets) {
    std::string skip;
    std::string ending;
    for (int ch = 0; ch < 256; ++ch) {
        if (IndexSpace::SkipChars[ch]) skip += static_cast<char>(ch);
        if (IndexSpace::EndingChars[ch]) ending += static_cast<char>(ch);
    }
    EXPECT_EQ(Norik::Cp1251ToUtf8(skip), " \"#'(-./<[_`{«ЪЬъь");
    EXPECT_EQ(Norik::Cp1251ToUtf8(ending), "\x20!\"'(),-./:;<>?[]_{}…Ё«ё»АЕИЙОУЪЫЬЭЮЯаеийоуъыьэюя");
}

}  // namespace
