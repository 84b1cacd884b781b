#include "builder/SampleBase.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "builder/RtfComposer.h"
#include "builder/SourceTables.h"

namespace {

const Norik::Vocabulary& TestVocabulary() {
    static const Norik::Vocabulary vocabulary = [] {
        Norik::Vocabulary v;
        std::string message;
        if (!Norik::LoadVocabulary(Norik::FindVocabularyFolder(), v, message)) ADD_FAILURE() << message;
        return v;
    }();
    return vocabulary;
}

TEST(SampleBase, IsTheSameForTheSameSeedAndDiffersForAnother) {
    const Norik::SampleBase a(TestVocabulary(), {60, 7, false});
    const Norik::SampleBase b(TestVocabulary(), {60, 7, false});
    const Norik::SampleBase c(TestVocabulary(), {60, 8, false});
    EXPECT_EQ(a.ItemsText(), b.ItemsText());
    EXPECT_EQ(a.ClassTableText(), b.ClassTableText());
    EXPECT_EQ(a.DocumentText(17), b.DocumentText(17));
    EXPECT_NE(a.ItemsText(), c.ItemsText());
    EXPECT_NE(a.DocumentText(17), c.DocumentText(17));
}

TEST(SampleBase, PassesEveryCheckOfTheBuilder) {
    const Norik::SampleBase sample(TestVocabulary(), {300, 3, false});
    Norik::SourceTables tables;
    std::vector<std::string> problems;
    EXPECT_TRUE(Norik::ReadSourceTables(sample, tables, problems));
    for (const std::string& problem : problems) ADD_FAILURE() << problem;
    EXPECT_EQ(tables.DocumentFirstRows().size(), 300u);
    // Sections in three levels; documents filed under one to three of them.
    std::size_t deepest = 0;
    for (const Norik::SampleSection& section : sample.sections()) {
        int depth = 0;
        for (int id = section.parentId; id != 0; id = sample.sections()[static_cast<std::size_t>(id - 1)].parentId) ++depth;
        deepest = std::max<std::size_t>(deepest, static_cast<std::size_t>(depth));
    }
    EXPECT_EQ(deepest, 2u);
    std::set<std::size_t> filings;
    std::set<bool> status;
    for (const Norik::SampleDocument& doc : sample.documents()) {
        filings.insert(doc.classIds.size());
        status.insert(doc.inForce);
        EXPECT_GE(doc.dateOfIntroduction, (1991 - 1900) * 372);
        EXPECT_LE(doc.dateOfIntroduction, sample.baseDate());
    }
    EXPECT_EQ(filings, (std::set<std::size_t>{1, 2, 3}));
    EXPECT_EQ(status.size(), 2u);
}

TEST(SampleBase, TextsAreRichEditStyleRtfWithLinksToDocumentsOfTheBase) {
    const Norik::SampleBase sample(TestVocabulary(), {200, 5, false});
    const std::regex link(R"re(HYPERLINK "(\d+)")re");
    int links = 0, tables = 0, pictures = 0;
    for (std::size_t i = 0; i < sample.documents().size(); ++i) {
        const std::string rtf = sample.DocumentText(i);
        ASSERT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1251", 0), 0u);
        EXPECT_NE(rtf.find("\\fcharset204"), std::string::npos);
        EXPECT_NE(rtf.find("\\'"), std::string::npos);
        EXPECT_NE(rtf.find("\\b "), std::string::npos);
        // Every byte of the text is escaped: the RTF itself is 7-bit.
        for (const char c : rtf) ASSERT_LT(static_cast<unsigned char>(c), 0x80u);
        int depth = 0;
        for (std::size_t k = 0; k < rtf.size(); ++k) {
            if (rtf[k] == '\\') ++k;
            else if (rtf[k] == '{') ++depth;
            else if (rtf[k] == '}') --depth;
            ASSERT_GE(depth, 0);
        }
        EXPECT_EQ(depth, 0);
        for (auto it = std::sregex_iterator(rtf.begin(), rtf.end(), link); it != std::sregex_iterator(); ++it) {
            const int target = std::stoi((*it)[1]);
            EXPECT_GE(target, 1);
            EXPECT_LE(target, 200);
            EXPECT_NE(target, sample.documents()[i].number);
            ++links;
        }
        tables += rtf.find("\\trowd") != std::string::npos;
        pictures += rtf.find("\\pngblip") != std::string::npos;
    }
    EXPECT_GT(links, 50);
    EXPECT_GT(tables, 3);
    EXPECT_GT(pictures, 0);
}

TEST(SampleBase, LargeBaseHasAFewTextsOfFiveToTwentyMegabytes) {
    const Norik::SampleBase sample(TestVocabulary(), {16000, 1, true});
    int large = 0;
    for (const Norik::SampleDocument& doc : sample.documents())
        if (doc.targetSize >= 5'000'000) {
            ++large;
            EXPECT_LE(doc.targetSize, 20'000'000u);
        }
    EXPECT_GE(large, 3);
    EXPECT_LE(large, 8);
    const Norik::SampleBase small(TestVocabulary(), {4, 1, true});
    std::size_t biggest = 0;
    for (std::size_t i = 0; i < small.documents().size(); ++i) biggest = std::max(biggest, small.DocumentText(i).size());
    EXPECT_GE(biggest, 5'000'000u);
}

TEST(SamplePng, IsAWellFormedPngFile) {
    const std::string png = Norik::MakeSamplePng(20, 20, 3);
    ASSERT_GT(png.size(), 8u + 25 + 12);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
}

TEST(RtfEscape, EscapesControlCharactersAndHighBytes) {
    EXPECT_EQ(Norik::RtfEscape("a{b}\\c"), "a\\{b\\}\\\\c");
    EXPECT_EQ(Norik::RtfEscape(std::string("\xe0\xff")), "\\'e0\\'ff");
    EXPECT_EQ(Norik::UpperCp1251(std::string("\xe0\xb8z")), std::string("\xc0\xa8Z"));
}

}  // namespace
