// The classifier and the type list of the data model: their loading (CShowClass::Init), the
// look-ups by node id, and CShowClass, one level of the classifier.
#include <cstring>
#include <utility>
#include <vector>

#include "Helpers/SFile.h"
#include "diagnostics/ErrorLog.h"
#include "platform/UserPort.h"
#include "showdata/ListDoc.h"
#include "showdata/ListDocImpl.h"

namespace ShowData {

using Norik::DamageKind;
using Norik::HResult;
using Norik::kOk;
using namespace ListDocDetail;

namespace {

// Line buffers of the classifier and the type list.
constexpr int kClassLineSize = 256;
constexpr int kTypeLineSize = 500;
// The field readers' line lengths.
constexpr int kClassFieldLength = 256;
constexpr int kTypeFieldLength = 512;
// Classifier levels below a top-level node; real classifiers are a handful deep.
constexpr int kMaxClassDepth = 32;

constexpr const char* kClassInit = "ShowData::CShowClass::Init";

// Sets every row's effective parent: its parentId, unless that names no node or would lead the
// chain of parents back into itself. Rows are visited in table order, each chain walked upwards;
// the node whose parent would close a cycle becomes top-level.
void ResolveParents(ModelTables& tables) {
    auto& rows = tables.classTable;
    enum : std::uint8_t { kUnvisited, kOnWalk, kDone };
    std::vector<std::uint8_t> state(rows.size(), kUnvisited);
    std::vector<int> walk;
    for (std::size_t start = 0; start < rows.size(); ++start) {
        walk.clear();
        int row = static_cast<int>(start);
        while (row >= 0 && state[row] == kUnvisited) {
            state[row] = kOnWalk;
            walk.push_back(row);
            ClassRow& node = rows[row];
            node.effectiveParentId = 0;
            if (node.parentId == 0) break;
            const auto parent = tables.classRowById.find(node.parentId);
            if (parent == tables.classRowById.end() || state[parent->second] == kOnWalk) break;
            node.effectiveParentId = node.parentId;
            row = parent->second;
        }
        for (const int visited : walk) state[visited] = kDone;
    }

    // Bound the depth, so that a hostile chain of nodes cannot make the paths (each the names of
    // all its ancestors) grow with the square of the table: a node deeper than the bound starts a
    // new top level.
    std::vector<int> depth(rows.size(), 0);
    for (std::size_t start = 0; start < rows.size(); ++start) {
        walk.clear();
        int row = static_cast<int>(start);
        while (depth[row] == 0) {
            walk.push_back(row);
            if (rows[row].effectiveParentId == 0) break;
            row = tables.classRowById.at(rows[row].effectiveParentId);
        }
        for (std::size_t i = walk.size(); i-- > 0;) {
            ClassRow& node = rows[walk[i]];
            const int parentDepth =
                node.effectiveParentId == 0 ? 0 : depth[tables.classRowById.at(node.effectiveParentId)];
            if (parentDepth >= kMaxClassDepth) {
                node.effectiveParentId = 0;
                depth[walk[i]] = 1;
            } else {
                depth[walk[i]] = parentDepth + 1;
            }
        }
    }
}

ClassRow* FindClassRow(std::int32_t id) {
    auto& tables = Tables();
    const auto found = tables.classRowById.find(id);
    return found == tables.classRowById.end() ? nullptr : &tables.classTable[found->second];
}

// The path of a row, computed along its effective parents and kept in every row on the way.
const std::string& RowPath(ClassRow& row) {
    if (!row.path.empty()) return row.path;
    std::vector<ClassRow*> chain{&row};
    while (chain.back()->effectiveParentId != 0) {
        ClassRow* parent = FindClassRow(chain.back()->effectiveParentId);
        if (!parent) break;  // effective parents always exist; defensive only
        if (!parent->path.empty()) {
            chain.push_back(parent);
            break;
        }
        chain.push_back(parent);
    }
    // chain.back() is either top-level or already has its path.
    if (chain.back()->path.empty()) chain.back()->path = chain.back()->name;
    for (std::size_t i = chain.size() - 1; i-- > 0;) chain[i]->path = chain[i + 1]->path + "-" + chain[i]->name;
    return row.path;
}

}  // namespace

// --- Classifier look-ups ---

int ClassIndexById(std::int32_t id) {
    const auto& tables = Tables();
    const auto found = tables.classRowById.find(id);
    return found == tables.classRowById.end() ? -1 : found->second;
}

std::int32_t ClassParentId(std::int32_t id) {
    const ClassRow* row = FindClassRow(id);
    return row ? row->effectiveParentId : 0;
}

std::string ClassName(std::int32_t id) {
    if (id == 0) return {};
    const ClassRow* row = FindClassRow(id);
    return row ? row->name : std::string{};
}

std::string ClassPath(std::int32_t id) {
    if (id == 0) return {};
    ClassRow* row = FindClassRow(id);
    return row ? RowPath(*row) : std::string{};
}

int TypeCount() { return static_cast<int>(Tables().typeList.size()); }

std::string TypeName(int i) {
    const auto& list = Tables().typeList;
    return i >= 0 && static_cast<std::size_t>(i) < list.size() ? list[i] : std::string{};
}

// --- CShowClass ---

CShowClass::CShowClass(Norik::IUserPort& userPort) : m_userPort(userPort) {
    if (Init(userPort) < 0) {
        m_userPort.MessageBox(Texts().classLoadFailed, Texts().caption, Norik::MessageButtons::Ok,
                              Norik::MessageIcon::None);
    }
}

HResult CShowClass::LoadClassItem(Norik::SFile& stream, ClassItem& item) {
    if (const HResult code = stream.ReadType(item.id); code != kOk) {
        return LISTDOC_REPORT(code, "ShowData::CShowClass::LoadClassItem");
    }
    if (const HResult code = stream.ReadType(item.parentId); code != kOk) {
        return LISTDOC_REPORT(code, "ShowData::CShowClass::LoadClassItem");
    }
    if (const HResult code = stream.ReadType(item.hasDocuments); code != kOk) {
        return LISTDOC_REPORT(code, "ShowData::CShowClass::LoadClassItem");
    }
    if (const HResult code = stream.ReadType(item.reserved); code != kOk) {
        return LISTDOC_REPORT(code, "ShowData::CShowClass::LoadClassItem");
    }
    char line[kClassLineSize];
    line[0] = '\0';
    const int result = stream.ReadLine(line, sizeof line);
    if (result == 0 && !SkipRestOfLongLine(stream, line, sizeof line))
        return LISTDOC_REPORT(Norik::kDataTooLarge, "ShowData::CShowClass::LoadClassItem");
    Norik::CLineFields<kClassFieldLength> fields(line);
    item.name = fields.NextField();
    item.marked = false;
    return result;
}

HResult CShowClass::Init(Norik::IUserPort& userPort) {
    auto& tables = Tables();
    if (!tables.classTable.empty()) return kOk;

    tables.damage[static_cast<int>(ModelTable::Class)].reset();
    tables.damage[static_cast<int>(ModelTable::TypeList)].reset();
    const std::string classPath = Norik::GetTablePath("class");
    Norik::SFileStream classFile;
    if (const HResult code = classFile.Open(classPath, Norik::kModeRead, false); code != kOk) {
        return NOTE_DAMAGE(ModelTable::Class, code, classPath, OpenProblem(code), DamageKind::CannotOpen, kClassInit);
    }
    std::int32_t count = 0;
    if (const HResult code = classFile.ReadType(count); code != kOk) {
        return NOTE_DAMAGE(ModelTable::Class, code, classPath, "does not begin with the number of records",
                           DamageKind::Damaged, kClassInit);
    }
    tables.classTable.reserve(ReservationFor(count, classPath));
    // Reading stops at the first damage (a nameless record among them) and keeps the records
    // before it; the damage is noted.
    std::string problem;
    DamageKind kind = DamageKind::Damaged;
    std::int32_t read = 0;
    for (; read < count && !OnlyWhiteSpaceLeft(classFile); ++read) {
        ClassRow row;
        const HResult result = LoadClassItem(classFile, row);
        if (result == Norik::kDataTooLarge) {
            problem = Where("record", read, count) + TooLong();
            kind = DamageKind::TooLarge;
            break;
        }
        if (result != 0) {
            problem = result < 0 ? Where("record", read, count) + ": a number does not parse"
                                 : "ends inside " + Where("record", read, count);
            if (result > 0) kind = DamageKind::Cut;
            break;
        }
        if (classFile.lineHeldNul()) {
            problem = Where("record", read, count) + " holds a NUL byte";
            break;
        }
        if (row.name.empty()) {
            problem = Where("record", read, count) + " has no name";
            break;
        }
        tables.classRowById.try_emplace(row.id, static_cast<int>(tables.classTable.size()));
        tables.classTable.push_back(std::move(row));
    }
    if (problem.empty()) {
        problem = CountProblem(classFile, read, count, "records");
        if (read < count) kind = DamageKind::Cut;
    }
    if (problem.empty()) {
        Utf8Evidence names;
        for (const ClassRow& row : tables.classTable) names.Add(row.name);
        if (names.InUtf8()) {
            problem = kInUtf8;
            kind = DamageKind::WrongEncoding;
        }
    }
    classFile.Close();
    if (!problem.empty()) NOTE_DAMAGE(ModelTable::Class, Norik::kDataDamaged, classPath, problem, kind, kClassInit);
    ResolveParents(tables);

    const std::string typePath = Norik::GetTablePath("typelist");
    Norik::SFileStream typeFile;
    if (const HResult code = typeFile.Open(typePath, Norik::kModeRead, false); code != kOk) {
        return NOTE_DAMAGE(ModelTable::TypeList, code, typePath, OpenProblem(code), DamageKind::CannotOpen, kClassInit);
    }
    // A classifier that stayed empty makes every construction load again; the type list is
    // read afresh each time instead of growing by another copy.
    tables.typeList.clear();
    char line[kTypeLineSize];
    Utf8Evidence typeNames;
    for (int lines = 1;; ++lines) {
        std::memset(line, 0, sizeof line);
        const int result = typeFile.ReadLine(line, sizeof line);
        if (typeFile.lineHeldNul()) {
            NOTE_DAMAGE(ModelTable::TypeList, Norik::kDataDamaged, typePath,
                        "line " + std::to_string(lines) + " holds a NUL byte", DamageKind::Damaged, kClassInit);
            break;
        }
        if (result == 0 && !SkipRestOfLongLine(typeFile, line, sizeof line)) {
            NOTE_DAMAGE(ModelTable::TypeList, Norik::kDataTooLarge, typePath,
                        "line " + std::to_string(lines) + TooLong(), DamageKind::TooLarge, kClassInit);
            break;
        }
        Norik::CLineFields<kTypeFieldLength> fields(line);
        std::string name = fields.NextField();
        typeNames.Add(name);
        if (!name.empty()) tables.typeList.push_back(std::move(name));
        if (result != 0) break;
    }
    typeFile.Close();
    if (typeNames.InUtf8())
        NOTE_DAMAGE(ModelTable::TypeList, Norik::kDataDamaged, typePath, kInUtf8, DamageKind::WrongEncoding,
                    kClassInit);

    for (ClassRow& row : tables.classTable) RowPath(row);

    // Loading the document table through a document list shows its own message when it fails.
    CShowDoc documents(userPort);
    return kOk;
}

void CShowClass::Sort(int, bool) {}

int CShowClass::Count() { return static_cast<int>(m_items.size()); }

std::string CShowClass::GetText(unsigned index) { return index < m_items.size() ? m_items[index].name : std::string{}; }

void CShowClass::SetParent(int id, const std::string& name) {
    m_id = id;
    m_name = name;
    // Levels follow the effective parent, so a node whose parent is missing or lies on a cycle is
    // listed at the top, where it can be reached, and the tree a user walks always ends.
    for (const ClassRow& row : Tables().classTable) {
        if (row.effectiveParentId == id) m_items.push_back(static_cast<const ClassItem&>(row));
    }
}

ShowDataPtr CShowClass::Open(unsigned index) {
    if (index >= m_items.size()) return nullptr;
    const ClassItem item = m_items[index];
    ShowDataPtr child;
    if (item.hasDocuments != 0) {
        child = std::make_shared<CShowDoc>(m_userPort);
    } else {
        child = std::make_shared<CShowClass>(m_userPort);
    }
    child->SetParent(item.id, m_name + "-" + item.name);
    return child;
}

std::string CShowClass::GetTitle() { return Texts().classTitle + m_name; }

std::string CShowClass::GetName(unsigned index) {
    if (index >= m_items.size()) return {};
    return Texts().classNumber + std::to_string(m_items[index].id);
}

bool CShowClass::IsFolder() { return true; }

void CShowClass::Find() { m_userPort.RunAttributeSearch(m_request, nullptr); }

bool CShowClass::GetMark(unsigned index) {
    if (index >= m_items.size()) return false;
    const ClassRow* row = FindClassRow(m_items[index].id);
    return row && row->marked;
}

void CShowClass::SetMark(unsigned index, bool value) {
    if (index >= m_items.size()) return;
    if (ClassRow* row = FindClassRow(m_items[index].id)) row->marked = value;
}

}  // namespace ShowData
