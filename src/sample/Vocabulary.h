// The Russian legal vocabulary of the sample-base generator.
//
// The vocabulary lives in UTF-8 text files (res/vocabulary/: sections.txt, types.txt, nouns.txt,
// adjectives.txt, verbs.txt, names.txt, topics.txt) and is converted to Windows-1251 when it is
// loaded. Nouns and adjectives are stored as lemmas; every case form is derived here by the regular
// declensions, so a few hundred lemmas give a few thousand word forms.
//
// Words carry meaning categories so that generated sentences make sense: a topic (taxes, labour,
// land, ...) groups the classifier sections it covers with the bodies that decide (authorities), the
// persons who act (parties) and what they act on (documents, contracts, payments, property, rights);
// a verb names who does it and to what kind of object; a phrase pairs a noun with adjectives that fit it.
//
// Ownership: a Vocabulary owns plain value data. Threads: immutable after loading, so any number
// of threads may read it at the same time. Failures: LoadVocabulary returns false and sets a
// message naming the file and line that could not be used.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace Norik {

enum class Case { Nominative, Genitive, Dative, Accusative, Instrumental, Prepositional };
inline constexpr int kCaseCount = 6;
enum class Gender { Masculine, Feminine, Neuter };

// One noun with all its forms (Windows-1251): forms[plural][case].
struct Noun {
    std::string lemma;
    Gender gender = Gender::Masculine;
    bool animate = false;
    bool singularOnly = false;
    std::array<std::array<std::string, kCaseCount>, 2> forms;

    const std::string& Form(Case c, bool plural) const {
        return forms[plural && !singularOnly ? 1 : 0][static_cast<int>(c)];
    }
};

// One adjective with the forms of its three genders and the plural: forms[slot][case], slots
// 0 masculine, 1 feminine, 2 neuter, 3 plural; the accusative of an animate masculine or plural
// noun is taken from the genitive by AgreeWith.
struct Adjective {
    std::string lemma;
    std::array<std::array<std::string, kCaseCount>, 4> forms;

    const std::string& AgreeWith(const Noun& noun, Case c, bool plural) const;
};

// Who acts in a sentence: a body that decides, or a person or organisation under its rules.
enum class Role { Authority, Party };
inline constexpr int kRoleCount = 2;
// What an action is done to: documents a party files, contracts, charges a party pays, property,
// rights, documents an authority issues, money paid to persons (benefits, pensions, wages).
enum class ObjectKind { Document, Deal, Payment, Thing, Right, Issued, Benefit };
inline constexpr int kObjectKindCount = 7;

struct Verb {
    std::string active;   // third person singular
    std::string passive;  // third person singular, reflexive
    std::string plural;   // third person plural
    std::string infinitive;
    int action = 0;      // the action noun (уплата, рассмотрение), an index into the nouns
    unsigned roles = 0;  // bit (1 << Role) for each role that may be its subject
    unsigned kinds = 0;  // bit (1 << ObjectKind) for each kind of object it takes

    bool Takes(Role role) const { return (roles >> static_cast<int>(role) & 1u) != 0; }
    bool Takes(ObjectKind kind) const { return (kinds >> static_cast<int>(kind) & 1u) != 0; }
};

// A noun phrase: adjectives that agree with the head noun, the head noun, then words kept as they
// are ("налог" + "на имущество организаций"). Indexes into the vocabulary's adjectives and nouns.
struct Phrase {
    std::vector<int> adjectives;
    int noun = 0;
    std::string tail;     // with its leading blank, or empty
    bool rate = false;    // a payment charged at a rate in percent (a tax, a duty)
    bool common = false;  // shared by every topic (заявление), so it says nothing of the topic
};

struct Topic {
    std::string key;
    std::vector<std::string> sectionNames;
    std::string lawInstrumental;  // "Налоговым кодексом Российской Федерации"
    std::string lawGenitive;
    std::string code;  // nominative, may be empty
    std::array<std::vector<Phrase>, kRoleCount> actors;
    std::array<std::vector<Phrase>, kObjectKindCount> objects;
};

struct SectionName {
    int level = 0;  // 0 top
    std::string name;
};

struct DocumentType {
    std::string name;
    std::string numberForm;  // "#" running number, "9" one random digit, other characters as they are
    int weight = 1;
    std::string issuer;               // genitive, may be empty
    std::vector<std::string> topics;  // keys of the topics it writes about ("code": those with a code); empty: any
};

struct Signatory {
    std::string position;
    std::string name;
    std::vector<std::string> signs;  // words of the type name or issuer whose documents this person signs; empty: any
};

struct Vocabulary {
    std::vector<SectionName> sections;
    std::vector<Signatory> signatories;
    std::vector<DocumentType> types;
    std::vector<Noun> nouns;
    std::vector<Adjective> adjectives;
    std::vector<Verb> verbs;
    std::vector<Topic> topics;

    // Every distinct word form the vocabulary can produce.
    std::size_t WordFormCount() const;
    // The form of a phrase in case c; plural unless its noun has no plural.
    std::string PhraseForm(const Phrase& phrase, Case c, bool plural = false) const;
    // The topic of a section of sections (0-based): the topic naming it or its nearest ancestor
    // that a topic names; -1 when there is none.
    int TopicOfSection(std::size_t section) const;
};

// Derives the forms of a noun from its UTF-8 lemma and flags ("m", "f", "n", "a", "sg", "st=...",
// "gp=...", "pl=six,plural,forms"); false when the ending fits no declension.
bool DeclineNoun(std::string_view lemmaUtf8, const std::vector<std::string>& flags, Noun& noun);
// Derives the forms of an adjective from its masculine nominative (UTF-8, -ый, -ий or -ой).
bool DeclineAdjective(std::string_view lemmaUtf8, Adjective& adjective);

// The folder that holds the vocabulary files: $NORIK_VOCABULARY_DIR, else "vocabulary/" beside
// the executable, else the res/vocabulary/ of the source tree the program was built from. Ends
// with "/"; empty when none exists.
std::string FindVocabularyFolder();

// Loads every file of folder; false with message set when a file is missing or a line is wrong.
bool LoadVocabulary(const std::string& folder, Vocabulary& vocabulary, std::string& message);

}  // namespace Norik
