// Strict reading of the four text tables of a base (class, typelist, Items, descript).
//
// The program's own loaders keep what they read up to the first damage. The builder and the
// verifier must instead say exactly what is wrong, so this reader checks the same formats line by
// line and names every problem as "file:line: what". Beyond the format it checks what the viewer
// relies on: rows of Items ascending by document number, the rows of one document alike except
// for their section, known sections that hold documents, classifier parents that exist without
// cycles, lines that fit the loaders' buffers, and Windows-1251 rather than UTF-8 text.
//
// A problem is what the viewer would read wrongly or what breaks the base; it stops a build.
// What the viewer reads correctly but looks unusual - an empty type, title or number text, a type
// missing from typelist.ttx, a date that is no calendar date, a status other than 0 and 1, a
// repeated or empty type list - is a warning (SourceTables::warnings), which does not. A type
// name is the first field of its typelist.ttx line, as the viewer takes it.
//
// Pure data and functions; any thread. Nothing is reported to the error log: problems are
// returned to the caller, which shows them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/BaseSource.h"

namespace Norik {

struct SourceClass {
    int id = 0;
    int parentId = 0;
    std::int16_t hasDocuments = 0;
    std::int16_t reserved = 0;
    std::string name;
    int line = 0;
};

struct SourceItem {
    std::int16_t number = 0;
    std::int16_t classId = 0;
    std::int32_t dateAdded = 0;
    std::string type;  // as stored, leading blanks included
    std::string title;
    std::string numberText;
    std::int32_t dateOfIntroduction = 0;
    bool inForce = false;
    std::int32_t disk = 0;
    int line = 0;
};

struct SourceTables {
    std::int32_t descriptFirst = 0;
    std::int32_t baseDate = 0;
    std::vector<SourceClass> classes;
    std::vector<std::string> types;
    std::vector<SourceItem> items;
    // The table files as they are written into a base: line ends made LF.
    std::string classText, typeListText, itemsText, descriptText;
    // "file:line: text" of what looks unusual but is read correctly (at most a few hundred).
    std::vector<std::string> warnings;

    // Indexes into items of the first row of each document, in order.
    std::vector<std::size_t> DocumentFirstRows() const;
};

// Reads and checks the four tables of source. Returns true when there is no problem; every
// problem found is appended to problems ("file:line: text"; at most a few hundred are kept).
// Problems are UTF-8: file names as the file system gives them, words of the tables converted.
bool ReadSourceTables(const BaseSource& source, SourceTables& tables, std::vector<std::string>& problems);

// True when code is 0 or a real calendar date written as a day code.
bool IsValidDayCode(std::int32_t code);

// The type without its leading blanks (how it is shown and indexed).
std::string TypeWithoutLeadingBlanks(const std::string& type);

}  // namespace Norik
