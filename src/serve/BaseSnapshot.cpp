#include "serve/BaseSnapshot.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "Helpers/Cp1251.h"
#include "tools/ToolCommon.h"

namespace Norik::Serve {

namespace {

const std::vector<ShowData::DocItem> kNoRows;

}  // namespace

std::string FoldCase(std::string text) {
    for (char& c : text) {
        auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDF)) byte += 32;
        if (byte == 0xA8) byte = 0xB8;
        c = static_cast<char>(byte);
    }
    return text;
}

std::string DateText(ShowData::DayCode code) { return ShowData::DottedDayCode(code); }

std::shared_ptr<const BaseSnapshot> BaseSnapshot::Load(std::ostream& err) {
    ConsoleUserPort port;
    if (LoadClassifier(port, err) != 0) return nullptr;
    if (LoadDocuments(err) != 0) return nullptr;
    auto snapshot = std::make_shared<BaseSnapshot>();
    for (const ShowData::ClassRow& row : ShowData::GetClassTable()) {
        if (snapshot->m_sectionAt.count(row.id) != 0) continue;  // the first row of an id answers
        SectionInfo section;
        section.id = row.id;
        section.parentId = row.effectiveParentId;
        section.name = Cp1251ToUtf8(row.name);
        section.path = Cp1251ToUtf8(ShowData::ClassPath(row.id));
        section.hasDocuments = row.hasDocuments != 0;
        snapshot->m_sectionAt[row.id] = snapshot->sections.size();
        snapshot->sections.push_back(std::move(section));
    }
    for (const SectionInfo& section : snapshot->sections) {
        if (section.parentId == 0) {
            snapshot->top.push_back(section.id);
        } else if (const auto it = snapshot->m_sectionAt.find(section.parentId); it != snapshot->m_sectionAt.end()) {
            snapshot->sections[it->second].children.push_back(section.id);
        }
    }
    for (const ShowData::DocItem& row : ShowData::GetDocTable()) {
        snapshot->m_rows[row.classId].push_back(row);
        auto [at, fresh] = snapshot->m_documentAt.try_emplace(row.number, snapshot->documents.size());
        if (fresh) {
            DocumentInfo document;
            document.number = row.number;
            std::string_view type = row.type;
            while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
            document.type = Cp1251ToUtf8(type);
            document.title = Cp1251ToUtf8(row.title);
            document.numberText = Cp1251ToUtf8(row.numberText);
            document.date = row.dateOfIntroduction;
            document.dateAdded = row.dateAdded;
            document.inForce = row.inForce;
            document.foldedTitle = FoldCase(std::string(row.title));
            snapshot->documents.push_back(std::move(document));
        }
        std::vector<int>& filed = snapshot->documents[at->second].sections;
        if (std::find(filed.begin(), filed.end(), row.classId) == filed.end()) filed.push_back(row.classId);
    }
    snapshot->baseDate = ShowData::BaseDate();
    snapshot->baseDateText = ShowData::BaseDateText();
    snapshot->indexedWords = ShowData::IndexedWordCount();
    snapshot->averageVocabulary = ShowData::AverageVocabulary();
    for (const ShowData::ModelTable table : {ShowData::ModelTable::Class, ShowData::ModelTable::TypeList,
                                             ShowData::ModelTable::Descript, ShowData::ModelTable::Items})
        if (const DataDamage* damage = ShowData::TableDamage(table))
            snapshot->damage.push_back(std::filesystem::path(damage->file).filename().string() + ": " +
                                       DamageKindText(damage->kind));
    return snapshot;
}

const SectionInfo* BaseSnapshot::Section(int id) const {
    const auto it = m_sectionAt.find(id);
    return it == m_sectionAt.end() ? nullptr : &sections[it->second];
}

const DocumentInfo* BaseSnapshot::Document(int number) const {
    const auto it = m_documentAt.find(number);
    return it == m_documentAt.end() ? nullptr : &documents[it->second];
}

const std::vector<ShowData::DocItem>& BaseSnapshot::SectionRows(int id) const {
    const auto it = m_rows.find(id);
    return it == m_rows.end() ? kNoRows : it->second;
}

}  // namespace Norik::Serve
