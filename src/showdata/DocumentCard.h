// The information card of a document, composed as RTF from the document table and the
// classifier: type and number, title, date of introduction, status, every classifier path under
// which the document is filed (each once), and the date it was added to the base.
//
// Texts from the tables are inserted with "\", "{" and "}" escaped, so a title holding them shows
// as written and cannot break the card's groups. Long titles and classifier names are cut into
// lines at blanks (WrapCardText).
//
// Pure composition over the loaded tables (ListDoc.h); the caller makes sure they are loaded.
// Used by the viewer's information card and by norik-tool. User-interface thread (the tables
// belong to it). Never fails: a number without a row gives the card of an empty row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Norik {

// The card of document number as Windows-1251 RTF.
std::string ComposeDocumentCard(std::int16_t number);

// Cuts text into lines of at most 75 - indent characters at blanks (inside a run without blanks
// when there is none), joined by "\par\n". Each line is RTF-escaped; the width counts the
// characters of text, not of its escapes.
std::string WrapCardText(std::string_view text, int indent);

// text with "\", "{" and "}" escaped for RTF.
std::string EscapeRtfText(std::string_view text);

// " DD.MM.YYYY г." (Windows-1251) for a day code, "-" for 0.
std::string CardDate(std::int32_t dayCode);

}  // namespace Norik
