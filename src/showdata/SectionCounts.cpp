#include "showdata/SectionCounts.h"

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

#include "showdata/ListDoc.h"
#include "showdata/ListDocDoc.h"
#include "showdata/ListDocImpl.h"

namespace ShowData {

namespace {

void CountSections(ListDocDetail::ModelTables& tables) {
    const ClassTable& sections = tables.classTable;
    const DocTable& documents = tables.docTable;
    // Each filing counts for its section and every section above it; the pairs are made unique so
    // that a document filed twice under one branch counts once there.
    std::vector<std::pair<std::int32_t, std::int16_t>> pairs;
    pairs.reserve(documents.size() * 3);
    for (const DocItem& row : documents) {
        std::int32_t id = row.classId;
        // The effective parents end at the top; the bound guards against a table that would not.
        for (std::size_t depth = 0; id != 0 && depth <= sections.size(); ++depth) {
            const auto found = tables.classRowById.find(id);
            if (found == tables.classRowById.end()) break;
            pairs.emplace_back(id, row.number);
            id = sections[static_cast<std::size_t>(found->second)].effectiveParentId;
        }
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    tables.sectionCounts.clear();
    for (const auto& [id, number] : pairs) ++tables.sectionCounts[id];
    tables.sectionsCountedFrom[0] = sections.size();
    tables.sectionsCountedFrom[1] = documents.size();
}

}  // namespace

int SectionDocumentCount(std::int32_t id) {
    ListDocDetail::ModelTables& tables = ListDocDetail::Tables();
    // Counted again when a table has been (re)loaded since.
    if (tables.sectionCounts.empty() || tables.sectionsCountedFrom[0] != tables.classTable.size() ||
        tables.sectionsCountedFrom[1] != tables.docTable.size())
        CountSections(tables);
    const auto found = tables.sectionCounts.find(id);
    return found == tables.sectionCounts.end() ? 0 : found->second;
}

std::optional<int> SectionDocumentCountOfRow(CShowData& list, unsigned row) {
    const auto* level = dynamic_cast<const CShowClass*>(&list);
    if (const auto* window = dynamic_cast<const CListDocDoc*>(&list))
        level = dynamic_cast<const CShowClass*>(window->currentList().get());
    if (!level || row >= level->items().size()) return std::nullopt;
    return SectionDocumentCount(level->items()[row].id);
}

}  // namespace ShowData
