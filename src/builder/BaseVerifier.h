// Checking a finished base: what the viewer relies on, named problem by problem.
//
// VerifyBase reads the base of the configured folders (GetIndexFolder for the tables and index
// files, GetDataFolder for Norik.sdb, Folders.h) and checks that the tables parse and hold
// together (SourceTables.h: Items ordered, sections known, classifier parents existing without
// cycles, ...), that every index file is well formed (its size matches its counts, lists of 1 to
// 32,767 numbers, keys and numbers strictly ascending) and names only documents of the table, that
// the attribute and title indexes hold exactly the keys the table implies, and that every document
// has a container entry that decodes, through the viewer's own entry reader, to its stated length.
//
// Threads: the user-interface thread (it uses the entry reader). Failures: the problems, one UTF-8
// line each; the reader's own failures also go to the error log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Norik {

struct VerifySummary {
    std::size_t documents = 0;
    std::size_t rows = 0;
    std::size_t entriesChecked = 0;
    std::uint64_t decodedBytes = 0;
    // What looks unusual in the tables but is read correctly (SourceTables::warnings).
    std::vector<std::string> warnings;
};

// True when the base has no problem; every problem is appended to problems. progress, when
// given, is told on the calling thread as each container entry is checked: the count of entries
// checked and of all.
bool VerifyBase(std::vector<std::string>& problems, VerifySummary& summary,
                const std::function<void(std::size_t done, std::size_t total)>& progress = {});

// The structural check of one index file's bytes; documents lists the valid numbers (ascending).
// Appends problems prefixed with name; returns the number of entries read.
std::size_t CheckIndexFile(const std::string& name, const std::string& bytes,
                           const std::vector<std::int16_t>& documents, std::vector<std::string>& problems);

}  // namespace Norik
