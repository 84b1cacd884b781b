// Bringing the local base up to date from an update folder.
//
// UpdateBase copies every "*.ttx" table of a newer update folder over the local tables as one
// transaction: either every table is replaced or none is. Each table is copied to name + ".tmp"
// in the target folder, flushed to disk, and then renamed over its target in one atomic step, so
// a table is never lost; the table it replaces is kept as name + ".old" until every rename has
// succeeded, and put back when one fails. "descript.ttx", which holds the base date, is replaced
// last, so a failed or interrupted update still carries the old date and runs again at the next
// start.
// User-interface thread, at start-up, before any table is opened.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/ResultCode.h"

namespace Norik {

class IUserPort;

// The base date of a folder: the second integer of its descript.ttx; 0 when unreadable.
int ReadBaseDate(const std::string& folder);

// True when the target's base date is below the source's (signed comparison).
bool IsUpdateNewer(const std::string& source, const std::string& target);

// The name without its folder and its extension.
std::string GetFileBaseName(const std::string& fileName);

// Replaces the target's tables by the source's when the source is newer; tells the user when the
// copy failed. Always returns 0.
HResult UpdateBase(const std::string& source, const std::string& target, IUserPort* userPort);

class CopyTransaction {
public:
    // Thrown and caught inside Commit to abandon the transaction; never leaves Commit.
    struct AbortTrans {};

    std::string sourceFolder;  // ends with "/"
    std::string targetFolder;  // ends with "/"
    std::vector<std::string> names;   // file names to copy, in the order added
    std::vector<std::string> copied;  // names whose temporary copy is complete
    // Source file names that differ from their table name (an upper-case ".TTX" extension).
    std::map<std::string, std::string> sourceNames;

    // Copies every name to its temporary copy, then renames each over its target. A failed copy,
    // rename or flush puts back every table already replaced, removes the temporary copies,
    // reports once and returns the code: the target keeps its old tables.
    HResult Commit();
    // Deletes the temporary copies of the copied names.
    void Rollback();

private:
    void CopyToTemporary(const std::string& name);
};

}  // namespace Norik
