// Rebalancing the root storage's directory tree of a finished compound file.
//
// libgsf's GsfOutfileMSOle links the children of a storage as one sorted list through their
// right-sibling fields, so the tree is as deep as the storage has entries, and a reader that
// descends the tree by name (CompoundFile) walks half the list on average to find one stream.
// BalanceRootDirectory rewrites, in place, the left-sibling and right-sibling fields and the
// colour byte of the root storage's children and the child field of the root entry, so that the
// children form a balanced red-black tree in the directory order of CompoundFile::CompareNames
// (shorter names first, then the upper-cased UTF-16 code units). Every node is black except those
// of an incomplete deepest level, which are red; the depth is ceil(log2(n + 1)) for n children.
// Nothing else in the file changes: names, types, sizes, sector chains, the FAT and the children
// of sub-storages stay as they are. Balancing an already balanced file leaves it byte for byte.
//
// Before anything is written, the header, the DIFAT, the FAT entries of the directory chain, the
// directory chain itself and every entry of the root storage's tree are checked against the
// file's size and against each other (no loops, no entry reached twice, no directory sector that
// is also a FAT or DIFAT sector, names of valid length). Any fault leaves the file untouched and
// returns a negative result code: kStgFileNotFound, kStgPathNotFound or kStgAccessDenied when the
// file cannot be opened for writing, kStgInvalidHeader for a file that is not a compound file of
// version 3 or 4, kStgDocfileCorrupt for damage, kStgReadFault for a failing or short read,
// kStgInsufficientMemory when memory runs out, and the system error code (SystemErrorCode) of a
// failing write or fsync; only such a write failure can leave the directory partly rewritten.
// Changed directory sectors are written back whole and the file is synced before kOk returns.
//
// Nothing here writes the error log: the caller reports what it gets. The function holds no
// state; calls on different files may run on different threads at once. The file must not be
// open for writing elsewhere while it runs.
#pragma once

#include <string>

#include "common/ResultCode.h"

namespace Norik {

HResult BalanceRootDirectory(const std::string& containerPath);

}  // namespace Norik
