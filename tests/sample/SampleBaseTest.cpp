#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

#include "BuilderTestSupport.h"
#include "Helpers/Cp1251.h"
#include "builder/SourceTables.h"
#include "richtext/PlainText.h"
#include "sample/RtfComposer.h"
#include "sample/SampleBase.h"

using Norik::Case;
using NorikTest::W;

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
        for (int id = section.parentId; id != 0; id = sample.sections()[static_cast<std::size_t>(id - 1)].parentId)
            ++depth;
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
            if (rtf[k] == '\\')
                ++k;
            else if (rtf[k] == '{')
                ++depth;
            else if (rtf[k] == '}')
                --depth;
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

// Grammar that is cheap to get right: prepositions, numerals, the status note and the enacting
// formula agree with what they govern.
TEST(SampleBase, ProseAgreesWhereAgreementIsCheap) {
    const Norik::SampleBase sample(TestVocabulary(), {150, 9, false});
    // Alternations, not bracket sets: a Cyrillic letter is two bytes of UTF-8.
    const std::regex aboutBeforeVowel(R"re((^| |\(|«)(О|о) (а|е|и|о|у|э|А|Е|И|О|У|Э))re");
    const std::regex reflexiveThenAbout(R"re(ся об? )re");
    const std::regex days(R"re((\d+) (календарных |календарный )?(дней|дня|день)(?=[ .,;]))re");
    int checkedDays = 0, notInForce = 0;
    for (std::size_t i = 0; i < sample.documents().size(); ++i) {
        const Norik::SampleDocument& doc = sample.documents()[i];
        const std::string text = Norik::RtfToPlainText(sample.DocumentText(i), Norik::TextEncoding::Utf8);
        const std::string type =
            Norik::Cp1251ToUtf8(TestVocabulary().types[static_cast<std::size_t>(doc.typeIndex)].name);
        std::smatch match;
        EXPECT_FALSE(std::regex_search(text, match, aboutBeforeVowel)) << type << ": " << match.str();
        EXPECT_FALSE(std::regex_search(text, match, reflexiveThenAbout)) << type << ": " << match.str();
        for (auto it = std::sregex_iterator(text.begin(), text.end(), days); it != std::sregex_iterator(); ++it) {
            const int n = std::stoi((*it)[1]);
            const bool calendar = (*it)[2].matched;
            const int last = n % 10, lastTwo = n % 100;
            const bool one = last == 1 && lastTwo != 11, few = last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14);
            // "в течение N дней" takes the genitive; "составляет N календарных дней" the accusative.
            const std::string want = calendar ? (one   ? "календарный день"
                                                 : few ? "календарных дня"
                                                       : "календарных дней")
                                              : (one ? "дня" : "дней");
            EXPECT_EQ((*it)[2].str() + (*it)[3].str(), want) << it->str();
            ++checkedDays;
        }
        if (!doc.inForce) {
            ++notInForce;
            const char* note = type.rfind("Постановление", 0) == 0 || type.rfind("Письмо", 0) == 0 ? "(утратило силу)"
                               : type.rfind("Инструкция", 0) == 0               ? "(утратила силу)"
                               : type.rfind("Методические", 0) == 0             ? "(утратили силу)"
                               : type == "Указ" || type.rfind("Приказ", 0) == 0 ? "(утратил силу)"
                                                                                : "утратил";
            EXPECT_NE(text.find(note), std::string::npos) << type;
        }
        if (type.rfind("Приказ", 0) == 0 || type == "Указание") {
            const bool order = type != "Указание";
            EXPECT_EQ(text.find("приказываю:") != std::string::npos, order) << type;
            EXPECT_EQ(text.find("постановляю:"), std::string::npos) << type;
        }
    }
    EXPECT_GT(checkedDays, 20);
    EXPECT_GT(notInForce, 10);
}

TEST(SampleBase, DocumentsKeepToTheTopicOfTheirSections) {
    const Norik::Vocabulary& v = TestVocabulary();
    const Norik::SampleBase sample(v, {200, 5, false});
    // A phrase every topic has (заявление) says nothing about the topic.
    const auto shared = [&](const Norik::Phrase& phrase) {
        const std::string form = v.PhraseForm(phrase, Case::Nominative);
        for (const Norik::Topic& other : v.topics) {
            bool has = false;
            for (const auto& phrases : other.objects)
                for (const Norik::Phrase& p : phrases) has = has || v.PhraseForm(p, Case::Nominative) == form;
            if (!has) return false;
        }
        return true;
    };
    std::set<int> topicsSeen;
    int talking = 0;
    for (std::size_t i = 0; i < sample.documents().size(); ++i) {
        const Norik::SampleDocument& doc = sample.documents()[i];
        const Norik::Topic& topic = v.topics[static_cast<std::size_t>(doc.topic)];
        const Norik::DocumentType& type = v.types[static_cast<std::size_t>(doc.typeIndex)];
        topicsSeen.insert(doc.topic);
        for (const int id : doc.classIds)
            EXPECT_EQ(v.TopicOfSection(static_cast<std::size_t>(id - 1)), doc.topic) << doc.number;
        if (!type.topics.empty() && type.topics.front() != "code") {
            EXPECT_NE(std::find(type.topics.begin(), type.topics.end(), topic.key), type.topics.end()) << doc.number;
        }
        if (type.topics == std::vector<std::string>{"code"}) {
            EXPECT_EQ(doc.title.rfind(topic.code, 0), 0u) << doc.number;
        }
        // The text names things of its own topic: its law or the forms of its objects.
        const std::string text = Norik::RtfToPlainText(sample.DocumentText(i), Norik::TextEncoding::Utf8);
        bool own = text.find(Norik::Cp1251ToUtf8(topic.lawInstrumental)) != std::string::npos ||
                   text.find(Norik::Cp1251ToUtf8(topic.lawGenitive)) != std::string::npos;
        for (const auto& phrases : topic.objects)
            for (const Norik::Phrase& phrase : phrases)
                for (int c = 0; c < Norik::kCaseCount && !own && !shared(phrase); ++c)
                    own =
                        text.find(Norik::Cp1251ToUtf8(v.PhraseForm(phrase, static_cast<Case>(c)))) != std::string::npos;
        talking += own;
    }
    EXPECT_EQ(talking, 200);
    // An order opens with the purpose its title names: "О порядке уплаты X" -> "В целях совершенствования порядка
    // уплаты X".
    int orders = 0;
    for (std::size_t i = 0; i < sample.documents().size(); ++i) {
        const Norik::SampleDocument& doc = sample.documents()[i];
        const std::string title = Norik::Cp1251ToUtf8(doc.title);
        const std::string prefix = "О порядке ";
        if (title.rfind(prefix, 0) != 0 ||
            v.types[static_cast<std::size_t>(doc.typeIndex)].name.rfind(W("Приказ"), 0) != 0)
            continue;
        const std::string text = Norik::RtfToPlainText(sample.DocumentText(i), Norik::TextEncoding::Utf8);
        EXPECT_NE(text.find("В целях совершенствования порядка " + title.substr(prefix.size()) + " приказываю:"),
                  std::string::npos)
            << title;
        ++orders;
    }
    EXPECT_GT(orders, 0);
    EXPECT_GE(topicsSeen.size(), 10u);
}

TEST(SampleBase, TitlesOpenAsTitlesOfTheirTypeDo) {
    const Norik::SampleBase sample(TestVocabulary(), {300, 11, false});
    const std::regex act(
        R"re(^(Об утверждении (Порядка|Правил|Положения|формы|Административного регламента) |О порядке |О внесении изменений в Порядок |О мерах по совершенствованию порядка ))re");
    const std::regex letter(R"re(^(О|Об|По вопросу) )re");
    int acts = 0;
    for (const Norik::SampleDocument& doc : sample.documents()) {
        const std::string type =
            Norik::Cp1251ToUtf8(TestVocabulary().types[static_cast<std::size_t>(doc.typeIndex)].name);
        const std::string title = Norik::Cp1251ToUtf8(doc.title);
        if (type.rfind("Приказ", 0) == 0 || type == "Распоряжение" || type == "Указ") {
            EXPECT_TRUE(std::regex_search(title, act)) << type << ": " << title;
            ++acts;
        } else if (type.rfind("Письмо", 0) == 0) {
            EXPECT_TRUE(std::regex_search(title, letter)) << type << ": " << title;
        }
    }
    EXPECT_GT(acts, 50);
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
    for (std::size_t i = 0; i < small.documents().size(); ++i)
        biggest = std::max(biggest, small.DocumentText(i).size());
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
