// Remembers what the check of a file, or of a folder of files, found, so that the next process
// meeting the same unchanged files takes the finding instead of checking them all again.
//
// Kept in the user's cache folder (UserCache.h) under "index-checks", one record per path and
// kind, named by the path. A record holds the stamps of the files (device, inode, size,
// modification and status-change times) as they were when checked, and is used only while every
// stamp is the same. Files changed less than kSettleSeconds before they were checked are not
// remembered: the file system's clock moves in steps, and a second write within the same step
// would keep its times. Records are read with the sizes they state checked against their length,
// written whole under a fresh name and renamed into place, never through a link. A record that
// cannot be read or written is no fault: the files are checked as if there were none.
// Any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Helpers/MappedFile.h"

namespace Norik {

inline constexpr int kSettleSeconds = 2;

// What was remembered of path's check of this kind ("check", "fulltext"), with the files in the
// states stamps tell, when it holds at most mostBytes.
std::optional<std::string> RecallRecord(const std::string& path, std::string_view kind,
                                        const std::vector<FileStamp>& stamps, std::size_t mostBytes);

// Remembers finding for path's check of this kind, with the files in the states stamps tell.
void RememberRecord(const std::string& path, std::string_view kind, const std::vector<FileStamp>& stamps,
                    std::string_view finding);

}  // namespace Norik
