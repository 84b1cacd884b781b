// What the web reader shows of a base, taken once from the model's process-wide tables and then
// only read: the classifier with its children, the documents with every section they are filed
// under, the lists of the sections, the figures of the base information and what kept a table
// from loading whole. Texts are UTF-8; the rows keep the model's Windows-1251 views for sorting.
//
// Threads: Load runs on the thread that owns the model (before the server starts); the snapshot
// is immutable and shared by every request thread.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "showdata/DayCode.h"
#include "showdata/ListDoc.h"

namespace Norik::Serve {

struct SectionInfo {
    int id = 0;
    int parentId = 0;  // effective parent: 0 at the top
    std::string name;
    std::string path;
    bool hasDocuments = false;
    std::vector<int> children;  // ids, in table order
};

struct DocumentInfo {
    std::int16_t number = 0;
    std::string type;  // without the stored leading blank
    std::string title;
    std::string numberText;
    ShowData::DayCode date = 0;  // of introduction; 0: none
    ShowData::DayCode dateAdded = 0;
    bool inForce = false;
    std::vector<int> sections;  // the sections it is filed under, each once, in table order
    std::string foldedTitle;    // the title's Windows-1251 bytes, letters in lower case (FoldCase)
};

class BaseSnapshot {
public:
    // Loads the tables of the configured base (a failure is one line on err and nothing).
    static std::shared_ptr<const BaseSnapshot> Load(std::ostream& err);

    const SectionInfo* Section(int id) const;
    const DocumentInfo* Document(int number) const;
    // The rows filed under section id, in table order.
    const std::vector<ShowData::DocItem>& SectionRows(int id) const;

    std::vector<int> top;  // the top-level sections, in table order
    std::vector<SectionInfo> sections;
    std::vector<DocumentInfo> documents;  // one per number, in table order
    ShowData::DayCode baseDate = 0;
    std::string baseDateText;  // as the base information shows it
    int indexedWords = 0;
    std::uint32_t averageVocabulary = 0;
    std::vector<std::string> damage;  // what kept each table from loading whole, for the pages

private:
    std::unordered_map<int, std::size_t> m_sectionAt;
    std::unordered_map<int, std::size_t> m_documentAt;
    std::unordered_map<int, std::vector<ShowData::DocItem>> m_rows;
};

// Windows-1251 text with its Latin and Cyrillic capitals made small, for comparing without case.
std::string FoldCase(std::string text);

// "DD.MM.YYYY", empty for 0.
std::string DateText(ShowData::DayCode code);

}  // namespace Norik::Serve
