// The documents a document text links to, for "Документ ссылается на…" and norik-tool links.
//
// A link leads to the document whose file name its number gives (DocNumberByFileNumber); links
// to numbers the document table has no row for, and links that lead to no document, are left out.
// Each document is listed once, where its first link appears. The table must be loaded. Never
// fails: unreadable RTF gives the links read before the damage. User-interface thread (the
// tables belong to it).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace ShowData {

// The documents the RTF text links to, in the order their first links appear.
std::vector<std::int16_t> LinkedDocuments(std::string_view rtf);

}  // namespace ShowData
