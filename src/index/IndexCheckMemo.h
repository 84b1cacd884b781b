// Remembers what the check of an index file read in place found (IndexView::Checked), so that the
// next process reading the same unchanged file takes it without walking all of it again: a search
// from the command line then costs a few lookups instead of a pass over a word index of megabytes.
//
// Kept as a record of the file's check (CheckRecord.h), used only while the file's stamp (device,
// inode, size, modification and status-change times) and a digest of its content (ContentDigest)
// are the same; a finding that does not fit the file (more marks than it could have entries) is
// taken as none.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Helpers/CheckRecord.h"
#include "Helpers/FileBytes.h"
#include "index/IndexView.h"

namespace IndexSpace::IndexImpl {

using Norik::ContentDigest;

// What was found of file in the state stamp tells, with the content digest digest, if it was
// remembered.
std::optional<IndexView::CheckResult> RecallCheck(const std::string& file, const Norik::FileStamp& stamp,
                                                  std::uint64_t digest);

// Remembers checked for file in the state stamp tells, with the content digest digest.
void RememberCheck(const std::string& file, const Norik::FileStamp& stamp, std::uint64_t digest,
                   const IndexView::CheckResult& checked);

}  // namespace IndexSpace::IndexImpl
