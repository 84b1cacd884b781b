// Private to the data model: the process-wide tables and the table-reading helpers shared by the
// files that implement ListDoc.h (ListDoc.cpp: the tables, the shared readers and the table
// access; Classifier.cpp: the classifier and the type list, CShowClass; DocTable.cpp: the document
// table and its look-ups, CShowDoc). Not a public header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Helpers/Cp1251.h"
#include "Helpers/DataDamage.h"
#include "Helpers/SFile.h"
#include "diagnostics/ErrorLog.h"
#include "showdata/ListDoc.h"
#include "showdata/TextPool.h"

namespace ShowData::ListDocDetail {

// The reports of the data model name its unit, ListDoc, as their source file, whichever of the
// unit's files they come from.
inline constexpr const char* kReportSource = "ListDoc.cpp";

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
    // The documents of each section with those below it (SectionCounts.h), counted at the first
    // question after a load; the sizes of the tables they were counted from.
    std::unordered_map<std::int32_t, int> sectionCounts;
    std::size_t sectionsCountedFrom[2] = {0, 0};

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
        sectionCounts.clear();
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
        sectionCounts.clear();
    }
};

ModelTables& Tables();

// Keeps what is wrong with table and writes one error-log entry for it, naming the file, unless
// the same damage was reported already. Returns code.
Norik::HResult NoteDamage(ModelTable table, Norik::HResult code, const std::string& path, std::string problem,
                          Norik::DamageKind kind, const char* function, int line);
#define NOTE_DAMAGE(table, code, path, problem, kind, function) \
    ::ShowData::ListDocDetail::NoteDamage((table), (code), (path), (problem), (kind), (function), __LINE__)
// NORIK_REPORT and NORIK_REPORT_DAMAGE with the unit's source file.
#define LISTDOC_REPORT(code, functionName) \
    ::Norik::ReportError((code), __LINE__, ::ShowData::ListDocDetail::kReportSource, (functionName))
#define LISTDOC_REPORT_DAMAGE(code, functionName, dataFile, problem)                                              \
    ::Norik::ReportDamage((code), __LINE__, ::ShowData::ListDocDetail::kReportSource, (functionName), (dataFile), \
                          (problem))

std::string OpenProblem(Norik::HResult code);

// "record 5 of 178": where reading a table stopped.
std::string Where(const char* what, std::int32_t index, std::int32_t count);

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

const ModelTexts& Texts();

// How many rows to reserve for a table announcing count rows: never more than the file could
// hold (a row takes at least six bytes, "0 0 0" and its line end) nor more than a generous bound,
// so that a damaged count cannot demand huge memory; a larger table grows as it is read.
std::size_t ReservationFor(std::int32_t count, const std::string& path);

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

inline constexpr const char* kInUtf8 = "is written in UTF-8, not Windows-1251";

// After a ReadLine into buffer of size bytes: when the line did not fit, reads and drops the rest
// of it, so that the next record starts at the start of a line instead of inside this one. False
// when the line goes on past kMaxTableLineBytes: no record is that long, and reading a hostile
// line of a gigabyte to its end would hold the program for seconds; the caller stops there.
bool SkipRestOfLongLine(Norik::SFile& stream, const char* buffer, int size);

// "is longer than 65536 bytes": the problem of a record whose line passes the bound.
std::string TooLong();

// True when nothing but white space is left in the file: the table ended before its announced
// count, which is no damage and is not reported (a following number read would fail and report).
bool OnlyWhiteSpaceLeft(Norik::SFileStream& stream);

// What a table whose rows ended without damage still says about its count: rows missing (the
// file ends before the count) or left over (more rows than the count). Empty when neither.
std::string CountProblem(Norik::SFileStream& stream, std::int32_t read, std::int32_t count, const char* rows);

}  // namespace ShowData::ListDocDetail
