#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "fulltext/TextWords.h"

namespace Norik::FullText {
namespace {

// Every term of a document with its wdf and positions.
using Terms = std::map<std::string, std::pair<Xapian::termcount, std::vector<Xapian::termpos>>>;

Terms TermsOf(const Xapian::Document& document) {
    Terms terms;
    for (auto term = document.termlist_begin(); term != document.termlist_end(); ++term)
        terms[*term] = {term.get_wdf(), {term.positionlist_begin(), term.positionlist_end()}};
    return terms;
}

// The terms Xapian's own generator makes of text after position 7, and where it ends.
std::pair<Terms, Xapian::termpos> Generated(const std::string& text) {
    Xapian::TermGenerator generator;
    generator.set_stemmer(Xapian::Stem("russian"));
    generator.set_stemming_strategy(Xapian::TermGenerator::STEM_SOME);
    Xapian::Document document;
    generator.set_document(document);
    generator.set_termpos(7);
    generator.index_text(text);
    return {TermsOf(document), generator.get_termpos()};
}

// Whether TextWords took text, and if so the terms it made and where it ended.
std::tuple<bool, Terms, Xapian::termpos> Indexed(TextWords& words, const std::string& text) {
    Xapian::Document document;
    Xapian::termpos position = 7;
    const bool taken = words.Index(text, document, position);
    words.AddStems(document);
    return {taken, TermsOf(document), position};
}

TEST(TextWordsTest, MakesTheTermsAndPositionsOfXapiansGeneratorOrLeavesTheTextToIt) {
    TextWords words;
    const std::vector<std::string> taken = {
        "Статья 1. Настоящий Федеральный закон (далее — Закон) регулирует отношения; «договора аренды»…",
        "№ 131-ФЗ от 06.10.2003, п. 3.14, сумма 1,000;2 и 1&2, 1'2; x1.y 1.a",
        "В.В. Путин, Ф.И.О., U.S.A. and A.B.c, AT&T, don't, a'b'c 'a a' a&, abc&123",
        "C++ и c# a+++b x++++ y+z с+ C+",
        "ёлка Ёж ЁЛКА _под_черк __ 2023_г",
        "Слово" + std::string(54, 'x') + " " + std::string(65, 'y') + " после\tтаба\nи\r\nстроки",
        "\xC2\xA0неразрывный\xC2\xA0пробел § 5 °C «" + std::string("кавычки") + "» “лапки” „низкие“ • … –",
        "",
        "   ...   ",
    };
    for (const std::string& text : taken) {
        SCOPED_TRACE(text);
        const auto [generated, end] = Generated(text);
        const auto [ok, terms, position] = Indexed(words, text);
        ASSERT_TRUE(ok);
        EXPECT_EQ(terms, generated);
        EXPECT_EQ(position, end);
    }
    // Words drawn at random from letters, digits and the characters that join or end words.
    std::mt19937 random(5);
    const std::vector<std::string> pieces = {"а", "Б", "ё", "Ё", "z", "Q", "7",  "0",    "_",   ".",    ",", ";",
                                             "'", "&", "+", "#", " ", "-", "\n", "ость", "ами", "U.S.", "«"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int k = static_cast<int>(random() % 30); k > 0; --k) text += pieces[random() % pieces.size()];
        SCOPED_TRACE(text);
        const auto [generated, end] = Generated(text);
        const auto [ok, terms, position] = Indexed(words, text);
        ASSERT_TRUE(ok);
        ASSERT_EQ(terms, generated);
        ASSERT_EQ(position, end);
    }
    // Greek, a typographic apostrophe, a joiner that vanishes, bytes that are no UTF-8: not taken.
    for (const std::string text : {"слово α", "don\u2019t", "a\u200Bb", "слово \xD0", "\xFF"}) {
        SCOPED_TRACE(text);
        const auto [ok, terms, position] = Indexed(words, text);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(terms.empty());
        EXPECT_EQ(position, 7u);
    }
}

}  // namespace
}  // namespace Norik::FullText
