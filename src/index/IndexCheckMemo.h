// Remembers what the check of an index file read in place found (IndexView::Checked), so that the
// next process reading the same unchanged file takes it without walking all of it again: a search
// from the command line then costs a few lookups instead of a pass over a word index of megabytes.
//
// Kept in the user's cache folder (UserCache.h), one file per index file, named by its path; a
// record holds the file's stamp (device, inode, size, modification and status-change times) and a
// digest of its content (ContentDigest), and is used only while both are the same: a record that
// does not match the content it is recalled for is removed. A file changed less than kSettleSeconds before it
// was checked is not remembered: the file system's clock moves in steps, and a second write within
// the same step would keep its times. Records are read with the sizes they state checked against
// their length, written whole under a fresh name and renamed into place, never through a link.
// A record that cannot be read or written is no fault: the file is checked as if there were none.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Helpers/FileBytes.h"
#include "index/IndexView.h"

namespace IndexSpace::IndexImpl {

inline constexpr int kSettleSeconds = 2;

// A digest of a file's content: its size and its first and last kDigestEdgeBytes bytes (a check
// record carries the marks of the whole file; a file whose head or tail differs is another file).
inline constexpr std::size_t kDigestEdgeBytes = 65536;
std::uint64_t ContentDigest(std::span<const unsigned char> bytes);

// What was found of file in the state stamp tells, with the content digest digest, if it was
// remembered.
std::optional<IndexView::CheckResult> RecallCheck(const std::string& file, const Norik::FileStamp& stamp,
                                                  std::uint64_t digest);

// Remembers checked for file in the state stamp tells, with the content digest digest.
void RememberCheck(const std::string& file, const Norik::FileStamp& stamp, std::uint64_t digest,
                   const IndexView::CheckResult& checked);

}  // namespace IndexSpace::IndexImpl
