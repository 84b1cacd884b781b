// What the full-text index takes from the configured base: the attributes of its documents from
// the model's document table, and the text of each from the container. The command line and the
// viewer build their indexes from these, so both index a base alike.
//
// Threads: DocumentsOfLoadedBase reads the model's table, on the user-interface thread (the
// result is plain data for a building thread); ContainerDocumentText reads with a reader of its
// own, each thread keeping the container it reads open, and may run on several threads at once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fulltext/FullTextIndex.h"

namespace Norik::FullText {

// One entry per document of the loaded document table, in table order: its first row's
// attributes in UTF-8, the type without its leading blanks.
std::vector<DocumentFields> DocumentsOfLoadedBase();

// The identity of the configured base (its date and BaseKey of its document table and
// container); the key is empty when they cannot be read.
BaseIdentity IdentityOfLoadedBase();

// The plain text and links of document number, decoded from the container at containerPath
// (GetDataFolder() + "Norik.sdb" of the base); nothing, with problem set to what is wrong, when
// its entry cannot be read whole.
std::optional<DocumentText> ContainerDocumentText(const std::string& containerPath, std::int16_t number,
                                                  std::string& problem);

}  // namespace Norik::FullText
