// The information card of a document, composed as RTF from the document table and the
// classifier: type and number, title, date of introduction, status, every classifier path under
// which the document is filed, and the date it was added to the base.
//
// Pure composition over the loaded tables (ListDoc.h); the caller makes sure they are loaded.
// User-interface thread (the tables belong to it). Never fails: a number without a row gives the
// card of an empty row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Norik {

// The card of document number as Windows-1251 RTF.
std::string ComposeDocumentCard(std::int16_t number);

// Cuts text into lines of at most 75 - indent characters at blanks, joined by "\par\n".
std::string WrapCardText(std::string_view text, int indent);

// " DD.MM.YYYY г." for a day code, "-" for 0.
std::string CardDate(std::int32_t dayCode);

}  // namespace Norik
