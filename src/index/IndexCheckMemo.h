// Remembers what the check of an index file read in place found (IndexView::Checked), so that the
// next process reading the same unchanged file takes it without walking all of it again: a search
// from the command line then costs a few lookups instead of a pass over a word index of megabytes.
//
// Kept in the user's cache folder (UserCache.h), one file per index file, named by its path; a
// record holds the file's stamp (device, inode, size, modification and status-change times) and is
// used only while the file's stamp is the same. A file changed less than kSettleSeconds before it
// was checked is not remembered: the file system's clock moves in steps, and a second write within
// the same step would keep its times. Records are read with the sizes they state checked against
// their length, written whole under a fresh name and renamed into place, never through a link.
// A record that cannot be read or written is no fault: the file is checked as if there were none.
#pragma once

#include <optional>
#include <string>

#include "Helpers/FileBytes.h"
#include "index/IndexView.h"

namespace IndexSpace::IndexImpl {

inline constexpr int kSettleSeconds = 2;

// What was found of file in the state stamp tells, if it was remembered.
std::optional<IndexView::CheckResult> RecallCheck(const std::string& file, const Norik::FileStamp& stamp);

// Remembers checked for file in the state stamp tells.
void RememberCheck(const std::string& file, const Norik::FileStamp& stamp, const IndexView::CheckResult& checked);

}  // namespace IndexSpace::IndexImpl
