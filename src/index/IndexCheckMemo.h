// Remembers what the check of an index file read in place found (IndexView::Checked), so that the
// next process reading the same unchanged file takes it without walking all of it again: a search
// from the command line then costs a few lookups instead of a pass over a word index of megabytes.
//
// Kept as a record of the file's check (CheckRecord.h), used only while the file's stamp (device,
// inode, size, modification and status-change times) is the same; a finding that does not fit the
// file (more marks than it could have entries) is taken as none.
#pragma once

#include <optional>
#include <string>

#include "Helpers/MappedFile.h"
#include "index/IndexView.h"

namespace IndexSpace::IndexImpl {

// What was found of file in the state stamp tells, if it was remembered.
std::optional<IndexView::CheckResult> RecallCheck(const std::string& file, const Norik::FileStamp& stamp);

// Remembers checked for file in the state stamp tells.
void RememberCheck(const std::string& file, const Norik::FileStamp& stamp, const IndexView::CheckResult& checked);

}  // namespace IndexSpace::IndexImpl
