#include "showdata/ListDoc.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <unordered_map>

#include "Helpers/BaseLimits.h"
#include "Helpers/Cp1251.h"
#include "Helpers/SFile.h"
#include "diagnostics/ErrorLog.h"
#include "index/IndexSpace.h"
#include "platform/UserPort.h"
#include "showdata/DocSort.h"
#include "showdata/TextPool.h"

namespace ShowData {

using Norik::DamageKind;
using Norik::HResult;
using Norik::kMaxFilingsPerDocument;
using Norik::kOk;

namespace {

// Line buffers of the text tables.
constexpr int kClassLineSize = 256;
constexpr int kTypeLineSize = 500;
constexpr int kDocLineSize = 512;
// The field readers' line lengths.
constexpr int kClassFieldLength = 256;
constexpr int kTypeFieldLength = 512;
constexpr int kDocFieldLength = 512;
// Classifier levels below a top-level node; real classifiers are a handful deep.
constexpr int kMaxClassDepth = 32;

// The process-wide tables of the data model and what is derived from them at load.
struct ModelTables {
    ClassTable classTable;
    // Row of the first node with each id, so look-ups by id need not scan the table.
    std::unordered_map<std::int32_t, int> classRowById;
    TypeList typeList;

    DocTable docTable;
    Norik::TextPool text;
    // Type names are few and repeated on every row; each is stored once.
    std::unordered_map<std::string_view, std::string_view> typeTexts;
    // Row positions ordered by number (stable), kept only when the file's rows are not ascending
    // by number; empty means the table itself is in number order.
    std::vector<std::uint32_t> rowsByNumber;
    DayCode baseDate = 0;
    int documentCount = 0;

    // What kept each table (by ModelTable) from loading whole at its last reading, and the damage
    // last reported for it: a table that stays empty is read again at every use, and the same
    // damage is written to the error log once.
    std::optional<Norik::DataDamage> damage[kModelTableCount];
    std::optional<Norik::DataDamage> reported[kModelTableCount];

    void ResetDamage(ModelTable table) {
        damage[static_cast<int>(table)].reset();
        reported[static_cast<int>(table)].reset();
    }
    void ResetClassifier() {
        classTable.clear();
        classRowById.clear();
        typeList.clear();
        ResetDamage(ModelTable::Class);
        ResetDamage(ModelTable::TypeList);
    }
    void ResetDocuments() {
        ResetDamage(ModelTable::Descript);
        ResetDamage(ModelTable::Items);
        docTable.clear();
        docTable.shrink_to_fit();
        typeTexts.clear();
        text.Clear();
        rowsByNumber.clear();
        baseDate = 0;
        documentCount = 0;
    }
};

ModelTables& Tables() {
    static ModelTables tables;
    return tables;
}

// Keeps what is wrong with table and writes one error-log entry for it, naming the file, unless
// the same damage was reported already. Returns code.
HResult NoteDamage(ModelTable table, HResult code, const std::string& path, std::string problem, Norik::DamageKind kind,
                   const char* function, int line) {
    auto& tables = Tables();
    const auto slot = static_cast<int>(table);
    Norik::DataDamage damage{path, std::move(problem), kind};
    if (tables.reported[slot] != damage) {
        Norik::ReportDamage(code, line, __FILE__, function, damage.file, damage.problem);
        tables.reported[slot] = damage;
    }
    tables.damage[slot] = std::move(damage);
    return code;
}
#define NOTE_DAMAGE(table, code, path, problem, kind, function) \
    NoteDamage((table), (code), (path), (problem), (kind), (function), __LINE__)

std::string OpenProblem(HResult code) { return "cannot be opened: " + Norik::FormatSystemError(code); }

// "record 5 of 178": where reading a table stopped.
std::string Where(const char* what, std::int32_t index, std::int32_t count) {
    return std::string(what) + " " + std::to_string(index + 1) + " of " + std::to_string(count);
}

constexpr const char* kDocInit = "ShowData::CShowDoc::Init";
constexpr const char* kClassInit = "ShowData::CShowClass::Init";

// The program's own texts, converted once from the UTF-8 of the source to Windows-1251.
struct ModelTexts {
    std::string caption = Norik::Utf8ToCp1251("База документов");
    std::string classLoadFailed =
        Norik::Utf8ToCp1251("При загрузке данных были ошибки.\nВышлите, пожалуйста лог-файл разработчику!");
    std::string docLoadFailed =
        Norik::Utf8ToCp1251("При загрузке данных были ошибки\nВышлите, пожалуйста лог-файл разработчику!");
    std::string classTitle = Norik::Utf8ToCp1251("Классификатор");
    std::string classNumber = Norik::Utf8ToCp1251("Номер классификатора - ");
    std::string docTitle = Norik::Utf8ToCp1251("Список документов");
    std::string fileName = Norik::Utf8ToCp1251("Имя файла - ");
    std::string insertDisk = Norik::Utf8ToCp1251("Вставьте диск ");
};

const ModelTexts& Texts() {
    static const ModelTexts texts;
    return texts;
}

// How many rows to reserve for a table announcing count rows: never more than the file could
// hold (a row takes at least six bytes, "0 0 0" and its line end) nor more than a generous bound,
// so that a damaged count cannot demand huge memory; a larger table grows as it is read.
std::size_t ReservationFor(std::int32_t count, const std::string& path) {
    constexpr std::size_t kShortestRow = 6;
    constexpr std::size_t kMostReserved = std::size_t{1} << 18;
    if (count <= 0) return 0;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) return 0;
    return std::min({static_cast<std::size_t>(count), static_cast<std::size_t>(size / kShortestRow), kMostReserved});
}

// Whether the texts of a table were written in UTF-8 instead of Windows-1251: every text reads as
// UTF-8 and some have characters beyond ASCII. Such a table would show every Russian letter as
// two wrong ones.
class Utf8Evidence {
public:
    void Add(std::string_view text) {
        const Norik::Utf8Form form = Norik::ClassifyUtf8(text);
        m_notUtf8 = m_notUtf8 || form == Norik::Utf8Form::NotUtf8;
        m_multiByte = m_multiByte || form == Norik::Utf8Form::MultiByte;
    }
    bool InUtf8() const { return m_multiByte && !m_notUtf8; }

private:
    bool m_notUtf8 = false;
    bool m_multiByte = false;
};

constexpr const char* kInUtf8 = "is written in UTF-8, not Windows-1251";

// After a ReadLine into buffer of size bytes: when the line did not fit, reads and drops the rest
// of it, so that the next record starts at the start of a line instead of inside this one. False
// when the line goes on past kMaxTableLineBytes: no record is that long, and reading a hostile
// line of a gigabyte to its end would hold the program for seconds; the caller stops there.
bool SkipRestOfLongLine(Norik::SFile& stream, const char* buffer, int size) {
    std::size_t length = std::strlen(buffer);
    if (length + 1 < static_cast<std::size_t>(size) || buffer[length - 1] == '\n') return true;
    std::size_t lineLength = length;
    char rest[4096];
    do {
        if (lineLength >= Norik::kMaxTableLineBytes) return false;
        rest[0] = '\0';
        if (stream.ReadLine(rest, sizeof rest) != 0) return true;
        length = std::strlen(rest);
        lineLength += length;
    } while (length + 1 == sizeof rest && rest[length - 1] != '\n');
    return lineLength <= Norik::kMaxTableLineBytes;
}

// "is longer than 65536 bytes": the problem of a record whose line passes the bound.
std::string TooLong() { return " is longer than " + std::to_string(Norik::kMaxTableLineBytes) + " bytes"; }

// True when nothing but white space is left in the file: the table ended before its announced
// count, which is no damage and is not reported (a following number read would fail and report).
bool OnlyWhiteSpaceLeft(Norik::SFileStream& stream) {
    std::FILE* file = stream.handle();
    if (!file) return true;
    int c = std::fgetc(file);
    while (c != EOF && std::isspace(static_cast<unsigned char>(c))) c = std::fgetc(file);
    if (c == EOF) return true;
    (void)std::ungetc(c, file);  // one character back always fits
    return false;
}

// What a table whose rows ended without damage still says about its count: rows missing (the
// file ends before the count) or left over (more rows than the count). Empty when neither.
std::string CountProblem(Norik::SFileStream& stream, std::int32_t read, std::int32_t count, const char* rows) {
    if (read < count) {
        return "holds " + std::to_string(read) + " of the " + std::to_string(count) + " " + rows +
               " its first line announces";
    }
    if (!OnlyWhiteSpaceLeft(stream))
        return "holds more " + std::string(rows) + " than the " + std::to_string(count) + " its first line announces";
    return {};
}

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

// Number of the table row at position i of the number order.
std::uint32_t RowAtNumberPosition(const ModelTables& tables, std::size_t position) {
    return tables.rowsByNumber.empty() ? static_cast<std::uint32_t>(position) : tables.rowsByNumber[position];
}

// [first, last) positions, in number order, of the rows with number.
std::pair<std::size_t, std::size_t> NumberRange(std::int16_t number) {
    const auto& tables = Tables();
    if (tables.rowsByNumber.empty()) {
        const auto& table = tables.docTable;
        const auto first = std::lower_bound(table.begin(), table.end(), number,
                                            [](const DocItem& row, std::int16_t n) { return row.number < n; });
        const auto last = std::upper_bound(first, table.end(), number,
                                           [](std::int16_t n, const DocItem& row) { return n < row.number; });
        return {static_cast<std::size_t>(first - table.begin()), static_cast<std::size_t>(last - table.begin())};
    }
    const auto& table = tables.docTable;
    const auto first = std::lower_bound(tables.rowsByNumber.begin(), tables.rowsByNumber.end(), number,
                                        [&table](std::uint32_t row, std::int16_t n) { return table[row].number < n; });
    const auto last = std::upper_bound(first, tables.rowsByNumber.end(), number,
                                       [&table](std::int16_t n, std::uint32_t row) { return n < table[row].number; });
    return {static_cast<std::size_t>(first - tables.rowsByNumber.begin()),
            static_cast<std::size_t>(last - tables.rowsByNumber.begin())};
}

const DocItem* FirstRowOfNumber(std::int16_t number) {
    const auto& tables = Tables();
    const auto range = NumberRange(number);
    if (range.first == range.second) return nullptr;
    return &tables.docTable[RowAtNumberPosition(tables, range.first)];
}

// Checks the number order of the table; when the file broke it, reports it once and builds the
// order the look-ups need (so the answers stay right, and the table counts as whole). Then counts
// the distinct documents.
void IndexNumbers(ModelTables& tables, const std::string& path) {
    const auto& table = tables.docTable;
    const bool ordered = std::is_sorted(table.begin(), table.end(),
                                        [](const DocItem& a, const DocItem& b) { return a.number < b.number; });
    tables.rowsByNumber.clear();
    if (!ordered) {
        NORIK_REPORT_DAMAGE(Norik::kFail, kDocInit, path, "rows are not in ascending order of number");
        tables.rowsByNumber.resize(table.size());
        for (std::size_t i = 0; i < table.size(); ++i) tables.rowsByNumber[i] = static_cast<std::uint32_t>(i);
        std::stable_sort(tables.rowsByNumber.begin(), tables.rowsByNumber.end(),
                         [&table](std::uint32_t a, std::uint32_t b) { return table[a].number < table[b].number; });
    }
    int count = 0;
    std::size_t filings = 0;
    std::int16_t overFiled = 0;
    std::size_t mostFilings = 0;
    for (std::size_t position = 0; position < table.size(); ++position) {
        const std::int16_t number = table[RowAtNumberPosition(tables, position)].number;
        if (position == 0 || number != table[RowAtNumberPosition(tables, position - 1)].number) {
            ++count;
            filings = 0;
        }
        if (++filings > kMaxFilingsPerDocument && filings > mostFilings) {
            overFiled = number;
            mostFilings = filings;
        }
    }
    tables.documentCount = count;
    // A document filed more often than any real one is damage; the rows stay (each is a filing
    // a list may show), and the card shows each section once.
    if (mostFilings > 0 && !tables.damage[static_cast<int>(ModelTable::Items)]) {
        NOTE_DAMAGE(ModelTable::Items, Norik::kDataDamaged, path,
                    "document " + std::to_string(overFiled) + " is filed " + std::to_string(mostFilings) +
                        " times, more than the " + std::to_string(kMaxFilingsPerDocument) + " a document may have",
                    DamageKind::TooLarge, kDocInit);
    }
}

std::string_view StoreType(ModelTables& tables, const std::string& type) {
    if (type.empty()) return {};
    if (const auto found = tables.typeTexts.find(type); found != tables.typeTexts.end()) return found->second;
    const std::string_view stored = tables.text.Add(type);
    tables.typeTexts.emplace(stored, stored);
    return stored;
}

// Stores a text of a row; a document filed under several nodes repeats its texts on adjacent
// rows, which then share one copy.
std::string_view StoreText(ModelTables& tables, const std::string& text, std::string_view previous) {
    if (text == previous) return previous;
    return tables.text.Add(text);
}

// Reads the three numbers of one "Items" row into row and the rest of its line into line. cut is
// set when the file ends inside the row's line: no line end and fewer than the six fields;
// tooLong when the line passes kMaxTableLineBytes (its rest is then left unread).
HResult ReadDocRowLine(Norik::SFile& stream, DocItem& row, char (&line)[kDocLineSize], bool& cut, bool& tooLong) {
    cut = false;
    tooLong = false;
    if (const HResult code = stream.ReadType(row.number); code != kOk) {
        return NORIK_REPORT(code, "ShowData::CShowDoc::LoadDocItem");
    }
    if (const HResult code = stream.ReadType(row.classId); code != kOk) {
        return NORIK_REPORT(code, "ShowData::CShowDoc::LoadDocItem");
    }
    if (const HResult code = stream.ReadType(row.dateAdded); code != kOk) {
        return NORIK_REPORT(code, "ShowData::CShowDoc::LoadDocItem");
    }
    line[0] = '\0';
    const int result = stream.ReadLine(line, sizeof line);
    if (result == 0) {
        const std::size_t length = std::strlen(line);
        const bool ended = length > 0 && line[length - 1] == '\n';
        const bool bufferFull = length + 1 >= sizeof line;
        cut = !ended && !bufferFull && std::count(line, line + length, '|') < 5;
        tooLong = !SkipRestOfLongLine(stream, line, sizeof line);
    }
    return result;
}

// Fills the six fields of row from the rest of its line, its texts stored with previous's where
// they are equal.
void StoreDocFields(DocItem& row, const char* line, const DocItem* previous) {
    Norik::CLineFields<kDocFieldLength> fields(line);
    auto& tables = Tables();
    row.type = StoreType(tables, fields.NextField());
    row.title = StoreText(tables, fields.NextField(), previous ? previous->title : std::string_view{});
    row.numberText = StoreText(tables, fields.NextField(), previous ? previous->numberText : std::string_view{});
    row.dateOfIntroduction = Norik::FieldToInt(fields.NextField());
    row.inForce = Norik::FieldToInt(fields.NextField()) != 0;
    row.disk = Norik::FieldToInt(fields.NextField());
    row.marked = false;
}

// Reads one "Items" row into row; cut as ReadDocRowLine.
HResult ReadDocRow(Norik::SFile& stream, DocItem& row, const DocItem* previous, bool& cut) {
    char line[kDocLineSize];
    bool tooLong = false;
    const HResult result = ReadDocRowLine(stream, row, line, cut, tooLong);
    if (result == 0 && tooLong) return NORIK_REPORT(Norik::kDataTooLarge, "ShowData::CShowDoc::LoadDocItem");
    if (result < 0) return result;
    StoreDocFields(row, line, previous);
    return result;
}

// Reads the rows of "Items" after its count as far as they are whole - up to the count, up to the
// first damage, which is then noted - and hands each to keep(row, restOfLine), which stores it
// and returns true, or returns false to stop reading (nothing is noted then).
template <class Keep>
void ReadDocRows(Norik::SFileStream& items, std::int32_t count, Keep&& keep) {
    std::string problem;
    DamageKind kind = DamageKind::Damaged;
    std::int32_t read = 0;
    char line[kDocLineSize];
    for (; read < count && !OnlyWhiteSpaceLeft(items); ++read) {
        DocItem row;
        bool cut = false;
        bool tooLong = false;
        const HResult result = ReadDocRowLine(items, row, line, cut, tooLong);
        if (result != 0) {
            problem = result < 0 ? Where("row", read, count) + ": a number does not parse"
                                 : "ends inside " + Where("row", read, count);
            if (result > 0) kind = DamageKind::Cut;
            break;
        }
        if (tooLong) {
            problem = Where("row", read, count) + TooLong();
            kind = DamageKind::TooLarge;
            break;
        }
        if (items.lineHeldNul()) {
            problem = Where("row", read, count) + " holds a NUL byte";
            break;
        }
        if (!keep(row, static_cast<const char*>(line))) return;
        if (cut) {
            problem = "ends inside " + Where("row", read, count);
            kind = DamageKind::Cut;
            ++read;
            break;
        }
    }
    if (problem.empty()) {
        problem = CountProblem(items, read, count, "rows");
        if (read < count) kind = DamageKind::Cut;
    }
    if (!problem.empty()) NOTE_DAMAGE(ModelTable::Items, Norik::kDataDamaged, items.path(), problem, kind, kDocInit);
}

void EnsureDocTable() {
    if (Tables().docTable.empty()) CShowDoc::Init();
}

}  // namespace

// --- Table access ---

const ClassTable& GetClassTable() { return Tables().classTable; }
const TypeList& GetTypeList() { return Tables().typeList; }
const DocTable& GetDocTable() { return Tables().docTable; }
DayCode BaseDate() { return Tables().baseDate; }

const Norik::DataDamage* TableDamage(ModelTable table) {
    const auto& damage = Tables().damage[static_cast<int>(table)];
    return damage ? &*damage : nullptr;
}

void ResetTablesForTests() {
    Tables().ResetClassifier();
    Tables().ResetDocuments();
}

std::size_t DocTableMemoryBytes() {
    const auto& tables = Tables();
    return tables.docTable.capacity() * sizeof(DocItem) + tables.text.ReservedBytes() +
           tables.rowsByNumber.capacity() * sizeof(std::uint32_t);
}

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

// --- Document look-ups ---

std::vector<DocItem> DocRowsByNumber(std::int16_t number) {
    const auto& tables = Tables();
    const auto range = NumberRange(number);
    std::vector<DocItem> rows;
    rows.reserve(range.second - range.first);
    for (std::size_t position = range.first; position < range.second; ++position) {
        rows.push_back(tables.docTable[RowAtNumberPosition(tables, position)]);
    }
    return rows;
}

bool DocByNumber(std::int16_t number, DocItem& out) {
    const DocItem* row = FirstRowOfNumber(number);
    if (!row) return false;
    out = *row;
    return true;
}

std::vector<std::int16_t> NumbersWithRows(const std::vector<std::int16_t>& numbers) {
    std::vector<std::int16_t> listed;
    listed.reserve(numbers.size());
    for (const std::int16_t number : numbers)
        if (FirstRowOfNumber(number)) listed.push_back(number);
    return listed;
}

std::string DocTitleByNumber(std::int16_t number) {
    const DocItem* row = FirstRowOfNumber(number);
    return row ? std::string(row->title) : std::string{};
}

std::string DocNumberTextAt(int i) {
    const auto& table = Tables().docTable;
    return i >= 0 && static_cast<std::size_t>(i) < table.size() ? std::string(table[i].numberText) : std::string{};
}

std::string DocFileName(std::int16_t number) {
    std::string digits = std::to_string(static_cast<std::uint16_t>(number) & 0x3FFF);
    return std::string(6 - digits.size(), '0') + digits;
}

std::string DocFileName(const DocItem& row) { return DocFileName(row.number); }

std::int16_t DocNumberByFileNumber(int fileNumber) {
    const int low = fileNumber & 0x3FFF;
    for (const int high : {0, 0x4000, 0x8000, 0xC000}) {
        const auto number = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | high));
        if (FirstRowOfNumber(number)) return number;
    }
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(fileNumber));
}

// --- Statistics ---

int RecordCount() {
    EnsureDocTable();
    return static_cast<int>(Tables().docTable.size());
}

int DocumentCount() {
    EnsureDocTable();
    return Tables().documentCount;
}

std::string BaseDateText() {
    EnsureDocTable();
    return DayCodeText(Tables().baseDate);
}

int IndexedWordCount() {
    EnsureDocTable();
    return IndexSpace::TextWordIndex().Count();
}

std::uint32_t AverageVocabulary() {
    const int records = RecordCount();
    if (records == 0) return 0;
    return IndexSpace::TextWordIndex().TotalRefs() / static_cast<std::uint32_t>(records);
}

// --- CShowData defaults ---

int CShowData::GetNumber(unsigned) { return -1; }

const DocItem* CShowData::GetDocRow(unsigned) { return nullptr; }
void CShowData::SetParent(int, const std::string&) {}
std::string CShowData::GetTitle() { return "*"; }

// --- CShowClass ---

CShowClass::CShowClass(Norik::IUserPort& userPort) : m_userPort(userPort) {
    if (Init(userPort) < 0) {
        m_userPort.MessageBox(Texts().classLoadFailed, Texts().caption, Norik::MessageButtons::Ok,
                              Norik::MessageIcon::None);
    }
}

HResult CShowClass::LoadClassItem(Norik::SFile& stream, ClassItem& item) {
    if (const HResult code = stream.ReadType(item.id); code != kOk) {
        return NORIK_REPORT(code, "ShowData::CShowClass::LoadClassItem");
    }
    if (const HResult code = stream.ReadType(item.parentId); code != kOk) {
        return NORIK_REPORT(code, "ShowData::CShowClass::LoadClassItem");
    }
    if (const HResult code = stream.ReadType(item.hasDocuments); code != kOk) {
        return NORIK_REPORT(code, "ShowData::CShowClass::LoadClassItem");
    }
    if (const HResult code = stream.ReadType(item.reserved); code != kOk) {
        return NORIK_REPORT(code, "ShowData::CShowClass::LoadClassItem");
    }
    char line[kClassLineSize];
    line[0] = '\0';
    const int result = stream.ReadLine(line, sizeof line);
    if (result == 0 && !SkipRestOfLongLine(stream, line, sizeof line))
        return NORIK_REPORT(Norik::kDataTooLarge, "ShowData::CShowClass::LoadClassItem");
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

// --- CShowDoc ---

CShowDoc::CShowDoc(Norik::IUserPort& userPort) : m_userPort(userPort) {
    if (Init() < 0) {
        m_userPort.MessageBox(Texts().docLoadFailed, Texts().caption, Norik::MessageButtons::Ok,
                              Norik::MessageIcon::None);
    }
}

HResult CShowDoc::LoadDocItem(Norik::SFile& stream, DocItem& row) {
    bool cut = false;
    return ReadDocRow(stream, row, nullptr, cut);
}

namespace {

// Opens "descript" and "Items" and reads their heads: the base date into the tables, and the row
// count of "Items", which is left positioned after it. kOk, or the failure code with the damage
// noted. The full load and the two light readings below begin alike, so they fail alike.
HResult OpenDocumentTables(Norik::SFileStream& items, std::int32_t& count) {
    auto& tables = Tables();
    tables.damage[static_cast<int>(ModelTable::Descript)].reset();
    tables.damage[static_cast<int>(ModelTable::Items)].reset();

    const std::string descriptPath = Norik::GetTablePath("descript");
    Norik::SFileStream descriptor;
    if (const HResult code = descriptor.Open(descriptPath, Norik::kModeRead, false); code != kOk) {
        return NOTE_DAMAGE(ModelTable::Descript, code, descriptPath, OpenProblem(code), DamageKind::CannotOpen,
                           kDocInit);
    }
    std::int32_t unused = 0;
    std::int32_t baseDate = 0;
    for (std::int32_t* number : {&unused, &baseDate}) {
        if (const HResult code = descriptor.ReadType(*number); code != kOk) {
            return NOTE_DAMAGE(ModelTable::Descript, code, descriptPath, "does not hold two numbers",
                               DamageKind::Damaged, kDocInit);
        }
    }
    tables.baseDate = baseDate;
    // The date ends where its digits do: anything but white space right after them (a NUL byte, a
    // letter) means the number was spoilt, and the date read may be only part of it.
    if (const int next = std::fgetc(descriptor.handle()); next != EOF && !std::isspace(next)) {
        NOTE_DAMAGE(ModelTable::Descript, Norik::kDataDamaged, descriptPath, "holds more than digits in its base date",
                    DamageKind::Damaged, kDocInit);
    }
    descriptor.Close();

    const std::string itemsPath = Norik::GetTablePath("Items");
    if (const HResult code = items.Open(itemsPath, Norik::kModeRead, false); code != kOk) {
        return NOTE_DAMAGE(ModelTable::Items, code, itemsPath, OpenProblem(code), DamageKind::CannotOpen, kDocInit);
    }
    if (const HResult code = items.ReadType(count); code != kOk) {
        return NOTE_DAMAGE(ModelTable::Items, code, itemsPath, "does not begin with the number of rows",
                           DamageKind::Damaged, kDocInit);
    }
    return kOk;
}

void BindIndexFiles() {
    for (const std::string_view name : IndexSpace::kIndexFileNames) {
        if (IndexSpace::IIndexInt* index = IndexSpace::IndexByName(name)) {
            index->SetFile(Norik::GetTablePath(std::string(name)));
        }
    }
}

}  // namespace

HResult CShowDoc::Init() {
    auto& tables = Tables();
    if (!tables.docTable.empty()) return kOk;
    Norik::SFileStream items;
    std::int32_t count = 0;
    if (const HResult code = OpenDocumentTables(items, count); code != kOk) return code;
    const std::string& itemsPath = items.path();
    tables.docTable.reserve(ReservationFor(count, itemsPath));
    // Reading stops at the first damage and keeps the rows before it; the damage is noted.
    ReadDocRows(items, count, [&tables](DocItem& row, const char* line) {
        StoreDocFields(row, line, tables.docTable.empty() ? nullptr : &tables.docTable.back());
        tables.docTable.push_back(row);
        return true;
    });
    if (!tables.damage[static_cast<int>(ModelTable::Items)]) {
        Utf8Evidence texts;
        for (const DocItem& row : tables.docTable) {
            texts.Add(row.type);
            texts.Add(row.title);
            texts.Add(row.numberText);
        }
        if (texts.InUtf8())
            NOTE_DAMAGE(ModelTable::Items, Norik::kDataDamaged, itemsPath, kInUtf8, DamageKind::WrongEncoding,
                        kDocInit);
    }
    IndexNumbers(tables, itemsPath);
    BindIndexFiles();
    return kOk;
}

HResult CShowDoc::BindIndexes() {
    if (!Tables().docTable.empty()) return kOk;
    Norik::SFileStream items;
    std::int32_t count = 0;
    if (const HResult code = OpenDocumentTables(items, count); code != kOk) return code;
    BindIndexFiles();
    return kOk;
}

HResult CShowDoc::FindDocument(std::int16_t number, bool& found) {
    found = false;
    if (!Tables().docTable.empty()) {
        found = FirstRowOfNumber(number) != nullptr;
        return kOk;
    }
    Norik::SFileStream items;
    std::int32_t count = 0;
    if (const HResult code = OpenDocumentTables(items, count); code != kOk) return code;
    BindIndexFiles();
    // The number index lists every document of the table under its number text: when it reads
    // whole, one pass over its lists finds a document, where the rows before the document's own
    // would be read one by one. A number it does not list, or an index that cannot be read whole,
    // is looked for in the table, which tells the absence and any damage.
    if (IndexSpace::NumberIndex().HoldsDocument(number) == true) {
        found = true;
        return kOk;
    }
    // The rows Init would keep, read as it reads them until one of number is met.
    ReadDocRows(items, count, [&found, number](const DocItem& row, const char*) {
        found = row.number == number;
        return !found;
    });
    return kOk;
}

void CShowDoc::FillFromNumbers(const std::vector<std::int16_t>& numbers) {
    FillInOrder(numbers);
    SortNewestFirst(m_rows);
}

void CShowDoc::FillInOrder(const std::vector<std::int16_t>& numbers) {
    m_rows.reserve(m_rows.size() + numbers.size());
    for (const std::int16_t number : numbers) {
        if (const DocItem* row = FirstRowOfNumber(number)) m_rows.push_back(*row);
    }
}

void CShowDoc::Sort(int key, bool descending) { SortDocRows(m_rows, key, descending); }

int CShowDoc::Count() { return static_cast<int>(m_rows.size()); }

std::string CShowDoc::GetText(unsigned index) {
    if (index >= m_rows.size()) return {};
    const DocItem& row = m_rows[index];
    std::string text;
    text.reserve(row.type.size() + row.numberText.size() + row.title.size() + 2);
    text.append(row.type).append(" ").append(row.numberText).append(" ").append(row.title);
    return text;
}

int CShowDoc::GetNumber(unsigned index) { return index < m_rows.size() ? m_rows[index].number : -1; }

const DocItem* CShowDoc::GetDocRow(unsigned index) { return index < m_rows.size() ? &m_rows[index] : nullptr; }

void CShowDoc::SetParent(int id, const std::string& name) {
    m_id = id;
    m_name = name;
    for (const DocItem& row : Tables().docTable) {
        if (row.classId == id) m_rows.push_back(row);
    }
    SortNewestFirst(m_rows);
}

ShowDataPtr CShowDoc::Open(unsigned index) {
    if (index >= m_rows.size()) return nullptr;
    const DocItem row = m_rows[index];
    for (;;) {
        m_userPort.BeginWait();
        const bool opened = m_userPort.OpenDocumentText(DocFileName(row));
        m_userPort.EndWait();
        if (opened) return nullptr;
        const auto answer = m_userPort.MessageBox(Texts().insertDisk + std::to_string(row.disk), Texts().caption,
                                                  Norik::MessageButtons::OkCancel, Norik::MessageIcon::None);
        if (answer != Norik::MessageAnswer::Ok) return nullptr;
    }
}

std::string CShowDoc::GetTitle() { return Texts().docTitle + m_name; }

std::string CShowDoc::GetName(unsigned index) {
    if (index >= m_rows.size()) return {};
    return Texts().fileName + DocFileName(m_rows[index]);
}

bool CShowDoc::IsFolder() { return false; }

void CShowDoc::Find() {
    std::vector<std::int16_t> numbers;
    numbers.reserve(m_rows.size());
    for (const DocItem& row : m_rows) numbers.push_back(row.number);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    m_userPort.RunAttributeSearch(m_request, &numbers);
}

bool CShowDoc::GetMark(unsigned index) { return index < m_rows.size() && m_rows[index].marked; }

void CShowDoc::SetMark(unsigned index, bool value) {
    if (index < m_rows.size()) m_rows[index].marked = value;
}

}  // namespace ShowData
