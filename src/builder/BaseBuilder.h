// The base builder: turns a source (the four text tables and one RTF text per document) into a
// complete base: the tables, the seven index files, the container Norik.sdb and the full-text
// index in "fulltext/" (FullTextIndex.h), stamped with the base date.
//
// The keys of the indexes: clasidx the section id of every row; date_beg the date of
// introduction; work_now 1 or 0; numbidx StrHash of the number text; typeidx StrHash of the type
// without its leading blanks; titidx and index WordHash of every white-space separated word of the
// title and of the document's plain text (words whose WordHash is 0 give no key).
//
// The source is checked first (SourceTables.h); a source with any problem builds nothing, its
// warnings are handed back in the report (also when the build fails). Texts
// are converted, indexed and compressed on every core; the container is written in document
// order on the calling thread. Everything is written into a temporary folder beside the output
// folder and renamed into place at the end, so a failed build leaves no half base: the output
// folder is either untouched or a complete new base. An existing output folder is replaced only
// when it holds nothing but the files of a base and its full-text index; a source folder
// (BaseSource::Folder) that is the output folder, lies inside it or holds it is refused before
// anything is touched. Temporary folders that killed builds of the same output folder left behind
// are removed.
//
// Threads: BuildBase runs on the calling thread and starts its own workers. Failures: false, with
// every problem in problems ("file:line: text" where a line is known).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "builder/BaseSource.h"

namespace Norik {

struct BuildOptions {
    int threads = 0;  // worker threads; 0: one per core
    // Told on the calling thread as each document's text goes into the container: the count of
    // documents done and of all.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

struct BuildReport {
    std::size_t documents = 0;
    std::size_t rows = 0;
    std::uint64_t textBytes = 0;       // RTF bytes before compression
    std::uint64_t containerBytes = 0;  // size of Norik.sdb
    std::uint64_t baseBytes = 0;       // every file of the base
    std::size_t textWordKeys = 0;      // keys of the index "index"
    double seconds = 0;
    // What looks unusual in the source but is read correctly (SourceTables::warnings).
    std::vector<std::string> warnings;
};

bool BuildBase(const BaseSource& source, const std::string& outFolder, const BuildOptions& options, BuildReport& report,
               std::vector<std::string>& problems);

}  // namespace Norik
