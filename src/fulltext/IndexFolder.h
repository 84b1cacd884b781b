// An index folder opened for reading (FullTextIndex.h, "How it is read"): shared by the check of
// an index and the searcher, so that both open it one way. Any thread; an OpenedIndex belongs to
// the thread that opened it.
#pragma once

#include <xapian.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "Helpers/FileDescriptor.h"
#include "fulltext/FullTextIndex.h"

namespace Norik::FullText {

struct OpenedIndex {
    // The folder, held open for as long as the database is: Xapian reads it through this
    // descriptor, whatever is renamed into the folder's place meanwhile.
    FileDescriptor folder;
    std::optional<Xapian::Database> database;
};

// Opens the index in folder: Current with opened filled when it is whole and sound and stamped
// with base (any base when base is null), else what is wrong.
IndexCheck OpenIndex(const std::filesystem::path& folder, const BaseIdentity* base, OpenedIndex& opened);

}  // namespace Norik::FullText
