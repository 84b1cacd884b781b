// The document table of the data model: its loading (CShowDoc::Init) with the base date, the
// look-ups by document number, the statistics, and CShowDoc, a list of documents.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "Helpers/BaseLimits.h"
#include "Helpers/SFile.h"
#include "diagnostics/ErrorLog.h"
#include "index/IndexSpace.h"
#include "platform/UserPort.h"
#include "showdata/DocSort.h"
#include "showdata/ListDoc.h"
#include "showdata/ListDocImpl.h"

namespace ShowData {

using Norik::DamageKind;
using Norik::HResult;
using Norik::kMaxFilingsPerDocument;
using Norik::kOk;
using namespace ListDocDetail;

namespace {

// The line buffer of the document table, and the field reader's line length.
constexpr int kDocLineSize = 512;
constexpr int kDocFieldLength = 512;

constexpr const char* kDocInit = "ShowData::CShowDoc::Init";

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
        LISTDOC_REPORT_DAMAGE(Norik::kFail, kDocInit, path, "rows are not in ascending order of number");
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
        return LISTDOC_REPORT(code, "ShowData::CShowDoc::LoadDocItem");
    }
    if (const HResult code = stream.ReadType(row.classId); code != kOk) {
        return LISTDOC_REPORT(code, "ShowData::CShowDoc::LoadDocItem");
    }
    if (const HResult code = stream.ReadType(row.dateAdded); code != kOk) {
        return LISTDOC_REPORT(code, "ShowData::CShowDoc::LoadDocItem");
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
    if (result == 0 && tooLong) return LISTDOC_REPORT(Norik::kDataTooLarge, "ShowData::CShowDoc::LoadDocItem");
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

namespace {

// The text a list shows for a row: its type, number and title.
std::string RowText(std::string_view type, std::string_view numberText, std::string_view title) {
    std::string text;
    text.reserve(type.size() + numberText.size() + title.size() + 2);
    text.append(type).append(" ").append(numberText).append(" ").append(title);
    return text;
}

}  // namespace

HResult CShowDoc::RowTexts(const std::vector<std::int16_t>& numbers,
                           std::vector<std::pair<std::int16_t, std::string>>& texts) {
    texts.clear();
    std::vector<std::int16_t> wanted(numbers);
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    if (!Tables().docTable.empty()) {
        for (const std::int16_t number : wanted)
            if (const DocItem* row = FirstRowOfNumber(number))
                texts.emplace_back(number, RowText(row->type, row->numberText, row->title));
        return kOk;
    }
    Norik::SFileStream items;
    std::int32_t count = 0;
    if (const HResult code = OpenDocumentTables(items, count); code != kOk) return code;
    BindIndexFiles();
    if (wanted.empty()) return kOk;
    std::size_t left = wanted.size();
    bool ascending = true;
    std::int16_t last = std::numeric_limits<std::int16_t>::min();
    ReadDocRows(items, count, [&](const DocItem& row, const char* line) {
        ascending = ascending && row.number >= last;
        last = row.number;
        const auto at = std::lower_bound(wanted.begin(), wanted.end(), row.number);
        if (at != wanted.end() && *at == row.number &&
            std::none_of(texts.begin(), texts.end(), [&](const auto& text) { return text.first == row.number; })) {
            Norik::CLineFields<kDocFieldLength> fields(line);
            const std::string type = fields.NextField();
            const std::string title = fields.NextField();
            const std::string numberText = fields.NextField();
            texts.emplace_back(row.number, RowText(type, numberText, title));
            --left;
        }
        return left > 0 && !(ascending && row.number > wanted.back());
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
    return RowText(row.type, row.numberText, row.title);
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
