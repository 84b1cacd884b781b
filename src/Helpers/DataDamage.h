// What is wrong with one data file of the base, as the reader that noticed it describes it.
//
// Readers keep such a record where a caller can ask for it (the tables of the data model, each
// index handle, a container entry), so that an answer resting on a damaged file is never taken
// for the base's answer; the reader writes the error-log entry itself. The problem is the exact
// technical text, in English, for the error log and the command line; the kind is what the
// viewer tells its user, in Russian (UserText). Plain data; any thread.
#pragma once

#include <string>

namespace Norik {

// What a user is told about a damaged file.
enum class DamageKind {
    Damaged,        // bytes that cannot belong to the file: a record that does not parse, keys out of order
    CannotOpen,     // missing or unreadable
    NotAFile,       // a symbolic link, a device, a FIFO or a folder where a file belongs
    Cut,            // ends before what it announces: the records after the cut are missing
    TooLarge,       // a size or a record past the bounds of a base (BaseLimits.h)
    WrongEncoding,  // texts in UTF-8 rather than Windows-1251
    Changed,        // rewritten or replaced while the program had it open: the base must be opened again
};

struct DataDamage {
    std::string file;     // the data file's path (for a container entry, the container's)
    std::string problem;  // what is wrong, in English: "holds 144 of the 300 rows its first line announces"
    DamageKind kind = DamageKind::Damaged;

    bool operator==(const DataDamage&) const = default;
    // "file: problem", one line.
    std::string Text() const { return file + ": " + problem; }
    // "file: what is wrong", one line in Russian (UTF-8), for the viewer's messages.
    std::string UserText() const;
};

// What a user is told about damage of kind, in Russian (UTF-8): "файл обрывается, ...".
std::string DamageKindText(DamageKind kind);

}  // namespace Norik
