// Remembers what the check of a file, or of a folder of files, found, so that the next process
// meeting the same unchanged files takes the finding instead of checking them all again.
//
// Kept in the user's cache folder (UserCache.h) under "index-checks", one record per path and
// kind, named by the path; the folders are opened one at a time without following a link
// (OpenCacheFolder). A record holds the stamps of the files (device, inode, size, modification and
// status-change times) as they were when checked and a digest of their content (ContentDigest), and
// is used only while every stamp and the digest are the same: a record of the same stamps for other
// content was made for other files, or planted, and is removed. Files changed less than
// kSettleSeconds before they were checked are not remembered: the file system's clock moves in
// steps, and a second write within the same step would keep its times. Records are read with the
// sizes they state checked against their length, written whole under a fresh name and renamed into
// place, never through a link. A record that cannot be read or written is no fault: the files are
// checked as if there were none. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Helpers/FileBytes.h"

namespace Norik {

inline constexpr int kSettleSeconds = 2;

// A digest of a file's content: its size and its first and last kDigestEdgeBytes bytes (a record
// carries the finding of the whole file; a file whose head or tail differs is another file).
inline constexpr std::size_t kDigestEdgeBytes = 65536;
std::uint64_t ContentDigest(std::span<const unsigned char> bytes);
// The same digest of the regular file open as fd, read through it; nothing when it cannot be read.
std::optional<std::uint64_t> FileContentDigest(int fd);

// What was remembered of path's check of this kind ("check", "fulltext"), with the files in the
// states stamps tell and of the content digest tells, when it holds at most mostBytes.
std::optional<std::string> RecallRecord(const std::string& path, std::string_view kind,
                                        const std::vector<FileStamp>& stamps, std::uint64_t digest,
                                        std::size_t mostBytes);

// Remembers finding for path's check of this kind, with the files in the states stamps tell and of
// the content digest tells.
void RememberRecord(const std::string& path, std::string_view kind, const std::vector<FileStamp>& stamps,
                    std::uint64_t digest, std::string_view finding);

}  // namespace Norik
