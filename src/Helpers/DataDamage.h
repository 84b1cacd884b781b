// What is wrong with one data file of the base, as the reader that noticed it describes it.
//
// Readers keep such a record where a caller can ask for it (the tables of the data model, each
// index handle, a container entry), so that an answer resting on a damaged file is never taken
// for the base's answer; the reader writes the error-log entry itself. Plain data; any thread.
#pragma once

#include <string>

namespace Norik {

struct DataDamage {
    std::string file;     // the data file's path (for a container entry, the container's)
    std::string problem;  // what is wrong, in English: "holds 144 of the 300 rows its first line announces"

    bool operator==(const DataDamage&) const = default;
    // "file: problem", one line.
    std::string Text() const { return file + ": " + problem; }
};

}  // namespace Norik
