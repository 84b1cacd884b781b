// The data model: the classifier, the document table, and the two kinds of list over them.
//
// Tables. The classifier (ClassTable, from "class"), the document type names (TypeList, from
// "typelist") and the document table (DocTable, from "Items", with the base date from
// "descript") are process-wide: they are loaded on first use by CShowClass::Init and
// CShowDoc::Init, never reloaded, and live until the process ends. This unit is the one place
// that holds them; other code reads them through the accessors and look-ups below.
// ResetTablesForTests empties them so that a test can load tables of its own.
//
// Lists. CShowClass is one level of the classifier (the children of one node); opening a child
// gives another CShowClass or, for a node that holds documents, a CShowDoc of its documents.
// CShowDoc also shows search results (FillFromNumbers). Both ask the user through the user port
// they are given (message boxes, the wait indicator, text windows, the attribute search); the port
// must outlive the lists.
//
// Text. Every text is Windows-1251 bytes. The texts of a DocItem are views into the table's text
// pool: they stay valid for the rest of the process (until ResetTablesForTests), so rows can be
// copied freely.
//
// Failures. Loading returns result codes; each failure is written once to the error log by the
// site that detects it, and a damaged table leaves whatever was read before the damage usable.
// What kept a table from loading whole - it could not be opened, its leading numbers could not be
// read, it holds fewer or more rows than its count, a row is cut or does not parse, a line passes
// kMaxTableLineBytes (reading stops there rather than read it to its end), a classifier record has
// no name, a document is filed more than kMaxFilingsPerDocument times - is kept per table
// (TableDamage), so that a caller can tell a short answer from a damaged one; the error-log entry
// names the file and the problem. Init still returns 0 for a table read in part, as the rows read
// before the damage are kept.
// Look-ups never fail: an unknown id or number gives an empty or neutral answer.
// Threads: user-interface thread only; nothing is locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Helpers/DataDamage.h"
#include "common/ResultCode.h"
#include "showdata/DayCode.h"
#include "showdata/ShowData.h"

namespace Norik {
class IUserPort;
class SFile;
}  // namespace Norik

namespace ShowData {

// One classifier node.
struct ClassItem {
    std::int32_t id = 0;            // key of the "clasidx" index and classId of documents
    std::int32_t parentId = 0;      // 0 for a top-level node
    std::int16_t hasDocuments = 0;  // non-zero: opening the node lists its documents
    std::int16_t reserved = 0;      // kept as read; unused
    std::string name;
    bool marked = false;  // visited mark
};

// A node of the classifier table with its full name.
struct ClassRow : ClassItem {
    // The names from the top-level ancestor down to the node joined by "-"; computed after loading.
    std::string path;
    // The parent that paths and ClassParentId follow: parentId, or 0 where parentId names no node
    // or would close a cycle of parent links, so every chain of parents ends at the top.
    std::int32_t effectiveParentId = 0;
};

using ClassTable = std::vector<ClassRow>;
using TypeList = std::vector<std::string>;

// One filing of a document under a classifier node.
struct DocItem {
    std::int16_t number = 0;   // document number; its low 14 bits name the document's text
    std::int16_t classId = 0;  // classifier node the row files the document under
    DayCode dateAdded = 0;     // inclusion in the base
    std::string_view type;     // as stored, leading blank included
    std::string_view title;
    std::string_view numberText;
    DayCode dateOfIntroduction = 0;  // 0: none
    bool inForce = false;
    bool marked = false;    // visited mark of a list's copy
    std::int32_t disk = 0;  // disk that holds the text
};

using DocTable = std::vector<DocItem>;

// The four text tables of the model.
enum class ModelTable { Class, TypeList, Descript, Items };
inline constexpr int kModelTableCount = 4;

// --- The process-wide tables (read-only views; empty until loaded) ---
const ClassTable& GetClassTable();
const TypeList& GetTypeList();
const DocTable& GetDocTable();
// Day code of the base's last update; 0 until "descript" has been read.
DayCode BaseDate();
// What kept table from loading whole at its last reading; null when it loaded whole or has not
// been read yet. Cleared when the table is read again.
const Norik::DataDamage* TableDamage(ModelTable table);
// Empties every table, the base date and the document count, so the next list loads afresh.
// Invalidates every DocItem text handed out before. Tests only.
void ResetTablesForTests();
// Bytes held by the document table: its rows and the pool of their texts.
std::size_t DocTableMemoryBytes();

// --- Classifier look-ups (first row with the id, in table order) ---
// Row index of node id, or -1.
int ClassIndexById(std::int32_t id);
// The parent that node id's path follows (see ClassRow::effectiveParentId); 0 for an unknown id.
std::int32_t ClassParentId(std::int32_t id);
// Name of node id; empty for id 0 or an unknown id.
std::string ClassName(std::int32_t id);
// Full name of node id (computed and kept on first request); empty for id 0 or an unknown id.
std::string ClassPath(std::int32_t id);
int TypeCount();
// Entry i of the type list; empty when i is out of range.
std::string TypeName(int i);

// --- Document table look-ups by number ---
// Copies of all rows with that number, in table order; possibly none.
std::vector<DocItem> DocRowsByNumber(std::int16_t number);
// Copies the first row (in table order) with that number into out; false and out unchanged when
// there is none.
bool DocByNumber(std::int16_t number, DocItem& out);
// The numbers, in the order given, that have a row in the table: the documents a list of them
// shows (an index may name documents whose rows a damaged table lost).
std::vector<std::int16_t> NumbersWithRows(const std::vector<std::int16_t>& numbers);
// Title of the first row with that number; empty when there is none.
std::string DocTitleByNumber(std::int16_t number);
// numberText of row i of the table; empty when i is out of range.
std::string DocNumberTextAt(int i);
// The document's file name: number AND 0x3FFF in decimal, padded with "0" to six digits.
std::string DocFileName(std::int16_t number);
std::string DocFileName(const DocItem& row);
// The number of the document whose file name is DocFileName(fileNumber). A file name keeps only
// the low 14 bits of a number, so the four numbers that share them are looked up, in the order
// 0..16383, 16384..32767, then the negative ones; no two documents share a file name (the builder
// refuses such a base). fileNumber itself (cut to 16 bits) when none of them has a row.
std::int16_t DocNumberByFileNumber(int fileNumber);

// --- Base statistics (each loads the document table first while it is empty) ---
int RecordCount();
// Number of distinct documents in the table.
int DocumentCount();
// BaseDate as day/month/year, e.g. 5/3/2007.
std::string BaseDateText();
// Keys of the full-text word index.
int IndexedWordCount();
// Postings of the full-text word index per table row (integer division); 0 for an empty table.
std::uint32_t AverageVocabulary();

// One level of the classifier: the children of one node, in table order.
class CShowClass : public CShowData {
public:
    // Loads the tables on the first construction; when that fails the user is told, and the list
    // is usable with whatever was loaded.
    explicit CShowClass(Norik::IUserPort& userPort);

    // Loads "class" and "typelist" (and then the document table) while the classifier is empty.
    static Norik::HResult Init(Norik::IUserPort& userPort);
    // Reads one "class" record: four numbers and the rest of the line. Returns a failure code
    // for a number that does not parse, non-zero at the end of the file, else 0.
    static Norik::HResult LoadClassItem(Norik::SFile& stream, ClassItem& item);

    void Sort(int key, bool descending) override;
    int Count() override;
    std::string GetText(unsigned index) override;
    void SetParent(int id, const std::string& name) override;
    ShowDataPtr Open(unsigned index) override;
    std::string GetTitle() override;
    std::string GetName(unsigned index) override;
    bool IsFolder() override;
    void Find() override;
    bool GetMark(unsigned index) override;
    void SetMark(unsigned index, bool value) override;

    const std::vector<ClassItem>& items() const { return m_items; }

private:
    Norik::IUserPort& m_userPort;
    std::vector<ClassItem> m_items;
};

// A list of documents: those filed under one node, or a search result.
class CShowDoc : public CShowData {
public:
    // Loads the document table while it is empty; when that fails the user is told, and the list
    // is usable (without documents).
    explicit CShowDoc(Norik::IUserPort& userPort);

    // Loads "descript" and "Items" and binds the seven indexes to their files while the table is
    // empty; 0 or the failure code.
    static Norik::HResult Init();
    // For a caller that answers from the indexes alone (the command line's search): reads the
    // heads of "descript" and "Items" and binds the indexes, without reading a row. Fails where
    // Init fails before its first row, with the same damage noted.
    static Norik::HResult BindIndexes();
    // For a caller that needs to know only whether a document is in the table (the command line's
    // cat): found when the number index, read whole, lists number; else reads the rows as Init
    // does, without keeping them, until one of number is met. found tells whether one was; when
    // none was, the table's damage is noted as Init would note it (TableDamage). Fails, and binds
    // the indexes, as BindIndexes does.
    static Norik::HResult FindDocument(std::int16_t number, bool& found);
    // For a caller that shows a few rows (the command line's quick search): the list text
    // (GetText) of the first row of each of numbers, in texts by number (numbers without a row get
    // none), read as Init reads the rows, none kept, until the first row of every number has been
    // met - or, the rows being in ascending order of number, a row past the last of them. The
    // damage of the rows read is noted as Init notes it. Fails, and binds the indexes, as
    // BindIndexes does.
    static Norik::HResult RowTexts(const std::vector<std::int16_t>& numbers,
                                   std::vector<std::pair<std::int16_t, std::string>>& texts);
    // Reads one "Items" row: three numbers and the six fields of the rest of the line. Returns a
    // failure code for a number that does not parse, non-zero at the end of the file, else 0.
    // The row's texts are stored in the table's text pool.
    static Norik::HResult LoadDocItem(Norik::SFile& stream, DocItem& row);

    // Appends the first table row of each number, in the order given (numbers without a row add
    // nothing), then puts the rows newest first.
    void FillFromNumbers(const std::vector<std::int16_t>& numbers);
    // Appends the first table row of each number in the order given (a ranking, best first),
    // which stays until the list is sorted.
    void FillInOrder(const std::vector<std::int16_t>& numbers);

    void Sort(int key, bool descending) override;
    int Count() override;
    std::string GetText(unsigned index) override;
    int GetNumber(unsigned index) override;
    const DocItem* GetDocRow(unsigned index) override;
    void SetParent(int id, const std::string& name) override;
    ShowDataPtr Open(unsigned index) override;
    std::string GetTitle() override;
    std::string GetName(unsigned index) override;
    bool IsFolder() override;
    void Find() override;
    bool GetMark(unsigned index) override;
    void SetMark(unsigned index, bool value) override;

    const std::vector<DocItem>& rows() const { return m_rows; }

private:
    Norik::IUserPort& m_userPort;
    std::vector<DocItem> m_rows;
};

}  // namespace ShowData
