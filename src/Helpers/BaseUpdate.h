// Bringing the local base up to date from an update folder.
//
// UpdateBase copies every "*.ttx" table of a newer update folder that the base knows (the four
// tables and seven indexes; other names are left where they are) over the local tables as one
// transaction: either every table is replaced or none is. A table is taken only as a regular file
// that is no symbolic link, of at most MaxBaseFileBytes (BaseLimits.h); any other refuses the
// whole update, and the message and the error log name the file and say why. Each table is copied to name + ".tmp"
// in the target folder and flushed to disk; then a journal naming every table is written, and
// each copy is renamed over its target in one atomic step, the table it replaces kept as
// name + ".old". Once every rename is on disk the journal is removed: that is the moment the
// update is done. A failing step puts the old tables back at once; a process that dies between
// two renames leaves the journal, and the next UpdateBase on that folder puts the old tables back
// before anything else (RecoverInterruptedUpdate). So the folder holds the old base or the new
// one, never a mix, whenever the program reads it. "descript.ttx", which holds the base date, is
// replaced last, so a base that was not updated keeps its old date and the update runs again at
// the next start.
// User-interface thread, at start-up, before any table is opened.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Helpers/DataDamage.h"
#include "common/ResultCode.h"

namespace Norik {

class IUserPort;

// The base date of a folder: the second integer of its descript.ttx; 0 when unreadable.
int ReadBaseDate(const std::string& folder);

// True when the target's base date is below the source's (signed comparison).
bool IsUpdateNewer(const std::string& source, const std::string& target);

// The name without its folder and its extension.
std::string GetFileBaseName(const std::string& fileName);

// First undoes an update of target that was interrupted; then replaces the target's tables by
// the source's when the source is newer, and tells the user when that failed. Always returns 0.
HResult UpdateBase(const std::string& source, const std::string& target, IUserPort* userPort);

// When an update of folder (ending with "/") was interrupted between its renames, puts the old
// tables back and removes what the update left (its journal, copies and kept tables). Nothing
// happens when there was none.
void RecoverInterruptedUpdate(const std::string& folder);

class CopyTransaction {
public:
    // Thrown and caught inside Commit to abandon the transaction; never leaves Commit.
    struct AbortTrans {};

    std::string sourceFolder;         // ends with "/"
    std::string targetFolder;         // ends with "/"
    std::vector<std::string> names;   // file names to copy, in the order added
    std::vector<std::string> copied;  // names whose temporary copy is complete
    // Source file names that differ from their table name (an upper-case ".TTX" extension).
    std::map<std::string, std::string> sourceNames;
    // The source file Commit refused to take (a link, no regular file, past its bound), and why.
    std::optional<DataDamage> refused;

    // Copies every name to its temporary copy, then renames each over its target (see above). A
    // failed copy, rename or flush puts back every table already replaced, removes the temporary
    // copies, reports once and returns the code: the target keeps its old tables.
    HResult Commit();
    // Called by Commit after each table is renamed into place, with its name; a test stops the
    // process there to see what an interrupted update leaves.
    std::function<void(const std::string& name)> betweenRenames;
    // Deletes the temporary copies of the copied names.
    void Rollback();

private:
    void CopyToTemporary(const std::string& name);
};

}  // namespace Norik
