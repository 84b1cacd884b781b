#include <gtest/gtest.h>

#include <set>

#include "BuilderTestSupport.h"
#include "TestSupport.h"
#include "sample/Vocabulary.h"

using Norik::Case;
using NorikTest::W;

namespace {

struct NounCase {
    const char* line;  // lemma and flags
    Case grammaticalCase;
    bool plural;
    const char* form;
};

class NounDeclension : public ::testing::TestWithParam<NounCase> {};

TEST_P(NounDeclension, DerivesTheForm) {
    const NounCase& c = GetParam();
    std::vector<std::string> words;
    std::string word;
    for (const char* p = c.line;; ++p) {
        if (*p == ' ' || *p == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*p == '\0') break;
        } else {
            word += *p;
        }
    }
    Norik::Noun noun;
    const std::string lemma = words.front();
    words.erase(words.begin());
    ASSERT_TRUE(Norik::DeclineNoun(lemma, words, noun)) << c.line;
    EXPECT_EQ(Norik::Cp1251ToUtf8(noun.Form(c.grammaticalCase, c.plural)), c.form) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Declensions, NounDeclension,
    ::testing::Values(
        NounCase{"закон m", Case::Genitive, false, "закона"}, NounCase{"закон m", Case::Genitive, true, "законов"},
        NounCase{"налог m", Case::Nominative, true, "налоги"}, NounCase{"платеж m", Case::Genitive, true, "платежей"},
        NounCase{"порядок m st=порядк", Case::Genitive, false, "порядка"},
        NounCase{"порядок m st=порядк", Case::Accusative, false, "порядок"},
        NounCase{"работодатель m a", Case::Accusative, false, "работодателя"},
        NounCase{"работодатель m a", Case::Accusative, true, "работодателей"},
        NounCase{"контроль m sg", Case::Instrumental, true, "контролем"},
        NounCase{"случай m", Case::Genitive, true, "случаев"}, NounCase{"норма f", Case::Instrumental, false, "нормой"},
        NounCase{"проверка f gp=проверок", Case::Genitive, true, "проверок"},
        NounCase{"проверка f gp=проверок", Case::Genitive, false, "проверки"},
        NounCase{"земля f gp=земель", Case::Dative, false, "земле"},
        NounCase{"комиссия f", Case::Prepositional, true, "комиссиях"},
        NounCase{"деятельность f", Case::Instrumental, false, "деятельностью"},
        NounCase{"право n", Case::Genitive, true, "прав"},
        NounCase{"положение n", Case::Instrumental, true, "положениями"},
        NounCase{"гражданин m a pl=граждане,граждан,гражданам,граждан,гражданами,гражданах", Case::Nominative, true,
                 "граждане"}));

TEST(NounDeclension, RefusesUnknownFlagsAndEndings) {
    Norik::Noun noun;
    EXPECT_FALSE(Norik::DeclineNoun("закон", {"x"}, noun));
    EXPECT_FALSE(Norik::DeclineNoun("закон", {}, noun));    // no gender
    EXPECT_FALSE(Norik::DeclineNoun("поле", {"f"}, noun));  // no feminine declension for -е
    EXPECT_FALSE(Norik::DeclineNoun("гражданин", {"m", "pl=a,b"}, noun));
}

TEST(AdjectiveDeclension, FollowsSpellingAfterVelarsAndSibilants) {
    Norik::Noun law, norm, right;
    ASSERT_TRUE(Norik::DeclineNoun("закон", {"m"}, law));
    ASSERT_TRUE(Norik::DeclineNoun("норма", {"f"}, norm));
    ASSERT_TRUE(Norik::DeclineNoun("право", {"n"}, right));
    Norik::Adjective russian, common, labour, city;
    ASSERT_TRUE(Norik::DeclineAdjective("российский", russian));
    ASSERT_TRUE(Norik::DeclineAdjective("общий", common));
    ASSERT_TRUE(Norik::DeclineAdjective("трудовой", labour));
    ASSERT_TRUE(Norik::DeclineAdjective("городской", city));
    EXPECT_EQ(russian.AgreeWith(norm, Case::Genitive, false), W("российской"));
    EXPECT_EQ(russian.AgreeWith(law, Case::Nominative, true), W("российские"));
    EXPECT_EQ(common.AgreeWith(right, Case::Nominative, false), W("общее"));
    EXPECT_EQ(common.AgreeWith(law, Case::Genitive, false), W("общего"));
    EXPECT_EQ(common.AgreeWith(norm, Case::Instrumental, false), W("общей"));
    EXPECT_EQ(labour.AgreeWith(law, Case::Instrumental, false), W("трудовым"));
    EXPECT_EQ(city.AgreeWith(law, Case::Instrumental, false), W("городским"));
    Norik::Adjective wrong;
    EXPECT_FALSE(Norik::DeclineAdjective("закон", wrong));
}

TEST(VocabularyFiles, LoadWithAFewThousandWordForms) {
    const std::string folder = Norik::FindVocabularyFolder();
    ASSERT_FALSE(folder.empty());
    Norik::Vocabulary vocabulary;
    std::string message;
    ASSERT_TRUE(Norik::LoadVocabulary(folder, vocabulary, message)) << message;
    EXPECT_GE(vocabulary.WordFormCount(), 2000u);
    EXPECT_GE(vocabulary.sections.size(), 140u);
    EXPECT_GE(vocabulary.types.size(), 20u);
    int levels[3] = {0, 0, 0};
    for (const auto& section : vocabulary.sections) ++levels[section.level];
    EXPECT_GT(levels[0], 10);
    EXPECT_GT(levels[1], 40);
    EXPECT_GT(levels[2], 40);
}

TEST(VocabularyFiles, NameTheFileAndLineOfABadEntry) {
    NorikTest::TempDir dir;
    const std::string source = Norik::FindVocabularyFolder();
    for (const char* name :
         {"sections.txt", "types.txt", "nouns.txt", "adjectives.txt", "verbs.txt", "names.txt", "topics.txt"})
        NorikTest::WriteFile(dir.file(name), NorikTest::ReadFile(source + name));
    NorikTest::WriteFile(dir.file("nouns.txt"), "# nouns\nзакон m\nполе q\n");
    Norik::Vocabulary vocabulary;
    std::string message;
    EXPECT_FALSE(Norik::LoadVocabulary(dir.folder(), vocabulary, message));
    EXPECT_NE(message.find("nouns.txt:3:"), std::string::npos) << message;

    NorikTest::WriteFile(dir.file("nouns.txt"), "закон m\n");
    NorikTest::WriteFile(dir.file("sections.txt"), "Top\n      Too deep\n");
    EXPECT_FALSE(Norik::LoadVocabulary(dir.folder(), vocabulary, message));
    EXPECT_NE(message.find("sections.txt:2:"), std::string::npos) << message;
}

TEST(VocabularyFiles, GiveEverySectionATopicWhoseActionsAndActorsFit) {
    Norik::Vocabulary vocabulary;
    std::string message;
    ASSERT_TRUE(Norik::LoadVocabulary(Norik::FindVocabularyFolder(), vocabulary, message)) << message;
    ASSERT_GE(vocabulary.topics.size(), 10u);
    for (std::size_t i = 0; i < vocabulary.sections.size(); ++i)
        EXPECT_GE(vocabulary.TopicOfSection(i), 0) << Norik::Cp1251ToUtf8(vocabulary.sections[i].name);
    for (const Norik::Topic& topic : vocabulary.topics) {
        // Each role has something to do in every topic: a verb it may use on an object the topic has.
        for (const Norik::Role role : {Norik::Role::Authority, Norik::Role::Party}) {
            bool acts = false;
            for (const Norik::Verb& verb : vocabulary.verbs)
                for (int k = 0; k < Norik::kObjectKindCount; ++k)
                    acts = acts || (verb.Takes(role) && verb.Takes(static_cast<Norik::ObjectKind>(k)) &&
                                    !topic.objects[static_cast<std::size_t>(k)].empty());
            EXPECT_TRUE(acts) << topic.key << " role " << static_cast<int>(role);
        }
    }
    // The section names of a topic are found under the topic, subsections included.
    const int tax = vocabulary.TopicOfSection([&] {
        std::size_t i = 0;
        while (vocabulary.sections[i].name != W("Налог на добавленную стоимость")) ++i;
        return i;
    }());
    ASSERT_GE(tax, 0);
    EXPECT_EQ(vocabulary.topics[static_cast<std::size_t>(tax)].key, "tax");
}

TEST(VocabularyFiles, PhrasesAgreeAndKeepTheirTail) {
    Norik::Vocabulary vocabulary;
    std::string message;
    ASSERT_TRUE(Norik::LoadVocabulary(Norik::FindVocabularyFolder(), vocabulary, message)) << message;
    const auto find = [&](const char* key) -> const Norik::Topic& {
        for (const Norik::Topic& topic : vocabulary.topics)
            if (topic.key == key) return topic;
        ADD_FAILURE() << key;
        return vocabulary.topics.front();
    };
    const Norik::Topic& tax = find("tax");
    std::set<std::string> payments, authorities;
    for (const Norik::Phrase& p : tax.objects[static_cast<int>(Norik::ObjectKind::Payment)])
        payments.insert(Norik::Cp1251ToUtf8(vocabulary.PhraseForm(p, Case::Genitive)));
    for (const Norik::Phrase& p : tax.actors[static_cast<int>(Norik::Role::Authority)])
        authorities.insert(Norik::Cp1251ToUtf8(vocabulary.PhraseForm(p, Case::Instrumental)));
    EXPECT_TRUE(payments.count("налога на имущество организаций")) << *payments.begin();
    EXPECT_TRUE(payments.count("транспортного налога"));
    EXPECT_TRUE(authorities.count("налоговым органом"));
    EXPECT_TRUE(authorities.count("уполномоченным органом"));  // the common phrases join every topic
    const Norik::Topic& land = find("land");
    bool plot = false;
    for (const Norik::Phrase& p : land.objects[static_cast<int>(Norik::ObjectKind::Thing)])
        plot = plot || Norik::Cp1251ToUtf8(vocabulary.PhraseForm(p, Case::Accusative, true)) == "земельные участки";
    EXPECT_TRUE(plot);
}

TEST(VocabularyFiles, NameTheLineOfABadTopicOrVerb) {
    NorikTest::TempDir dir;
    const std::string source = Norik::FindVocabularyFolder();
    for (const char* name :
         {"sections.txt", "types.txt", "nouns.txt", "adjectives.txt", "verbs.txt", "names.txt", "topics.txt"})
        NorikTest::WriteFile(dir.file(name), NorikTest::ReadFile(source + name));
    const std::string topics = NorikTest::ReadFile(source + "topics.txt");
    struct Damage {
        const char* file;
        std::string text;
        const char* where;
    } damages[] = {
        {"topics.txt", topics + "topic extra\nsections: Налоги и сборы\nlaw: а|б\nauthority: небывалый зверь\n",
         "topics.txt:"},
        {"topics.txt", topics + "topic extra\nsections: Нет такого раздела\n", "Нет такого раздела"},
        {"topics.txt", topics + "topic extra\nsections: Налоги и сборы\n", "topic extra needs"},
        {"topics.txt", "topic t\nwhatever: налог\n", "topics.txt:2:"},
        {"verbs.txt", "# verbs\nуплачивает|уплачивается|уплачивают|уплачивать|уплата|party|money\n", "verbs.txt:2:"},
        {"verbs.txt", "уплачивает|уплачивается|уплачивают|уплачивать|небыль|party|pay\n", "verbs.txt:1:"},
    };
    for (const Damage& damage : damages) {
        NorikTest::WriteFile(dir.file(damage.file), damage.text);
        Norik::Vocabulary vocabulary;
        std::string message;
        EXPECT_FALSE(Norik::LoadVocabulary(dir.folder(), vocabulary, message)) << damage.where;
        EXPECT_NE(message.find(damage.where), std::string::npos) << message;
        NorikTest::WriteFile(dir.file(damage.file), NorikTest::ReadFile(source + damage.file));
    }
}

}  // namespace
