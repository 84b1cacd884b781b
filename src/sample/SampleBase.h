// The deterministic synthetic sample base.
//
// SampleBase invents a base from the Russian legal vocabulary (Vocabulary.h) and a seed: a
// classifier of the vocabulary's sections in three levels, the document types with their number
// forms, and documents filed under the sections of one topic (taxes, labour, land, ...) whose
// titles and texts talk about that topic, with titles, dates of introduction from 1991 on, status, one to three
// sections each, and RichEdit-style RTF texts (code page 1251 \'hh bytes, chapters and articles,
// bold headings, numbered parts, tables, a few small pictures, HYPERLINK fields naming other
// documents of the base). The same vocabulary, options and seed always give the same bytes.
//
// It is a BaseSource: the builder reads its tables and texts as it would read a source folder;
// WriteSourceFolder writes that folder. Texts are generated on demand, from several threads at
// once (the object is immutable after construction).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/BaseSource.h"
#include "sample/Vocabulary.h"

namespace Norik {

struct SampleOptions {
    int documents = 2000;
    std::uint64_t seed = 1;
    bool large = false;  // a few documents of 5 to 20 MB of RTF
    // Words invented beyond the vocabulary, each named in the texts of about four documents: a
    // base whose word index has as many keys as a real one of many subjects. 0 for none.
    int inventedWords = 0;
};

// The most invented words a sample base can take: every one of them is distinct.
inline constexpr int kMaxInventedWords = 1000000;

// Invented word i (0 <= i < kMaxInventedWords): seven Windows-1251 letters, consonant and vowel
// in turn and a consonant last, so that the word index keeps each of them apart from every other.
std::string InventedWord(int i);

// The largest number of documents a base can hold: file names keep the low 14 bits of a number.
inline constexpr int kMaxSampleDocuments = 16383;

// What a document is mainly about: the action its title names (уплата налога на имущество
// организаций), as indexes into the vocabulary's verbs and its topic's objects; verb -1 for none.
struct DocumentSubject {
    int verb = -1;
    int kind = 0;
    int object = 0;
    bool plural = false;
};

struct SampleDocument {
    std::int16_t number = 0;
    std::vector<int> classIds;
    std::int32_t dateAdded = 0;
    int typeIndex = 0;  // into the vocabulary's types
    int topic = 0;      // into the vocabulary's topics: what the title and the text talk about
    DocumentSubject subject;
    std::string title;
    std::string numberText;
    std::int32_t dateOfIntroduction = 0;
    bool inForce = true;
    std::size_t targetSize = 0;  // approximate RTF size in bytes
};

struct SampleSection {
    int id = 0;
    int parentId = 0;
    bool hasDocuments = false;
    std::string name;
};

class SampleBase : public BaseSource {
public:
    // options.documents must lie in 1..kMaxSampleDocuments.
    SampleBase(const Vocabulary& vocabulary, SampleOptions options);

    std::string Describe(const std::string& name) const override;
    bool ReadTable(const std::string& name, std::string& bytes, std::string& message) const override;
    std::vector<std::string> TextNames() const override;
    bool ReadText(const std::string& fileName, std::string& bytes, std::string& message) const override;

    // The RTF text of document i (0-based, in number order).
    std::string DocumentText(std::size_t i) const;
    // Writes the four tables and texts/ into folder (created when missing).
    bool WriteSourceFolder(const std::string& folder, std::string& message) const;

    const std::vector<SampleDocument>& documents() const { return m_documents; }
    const std::vector<SampleSection>& sections() const { return m_sections; }
    std::int32_t baseDate() const { return m_baseDate; }

    std::string ClassTableText() const;
    std::string TypeListText() const;
    std::string ItemsText() const;
    std::string DescriptText() const;

private:
    const Vocabulary& m_vocabulary;
    SampleOptions m_options;
    std::vector<SampleSection> m_sections;
    std::vector<std::string> m_typeNames;  // distinct type names, typelist order
    std::vector<SampleDocument> m_documents;
    std::int32_t m_baseDate = 0;
};

}  // namespace Norik
