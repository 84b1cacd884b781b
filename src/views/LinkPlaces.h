// The places links lead to in a text window: the link that cites a document (a citing document
// opened from "Ссылки на документ" shows the citing link, selected), and the named place a link
// leads to inside the document it opens (an article: HYPERLINK "220" \l "ст. 5").
//
// A place past the first part of a long text waits for the whole text (the document's wait hooks).
// Neither records a step of the history of places: the caller does. User-interface thread only.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class QTextDocument;

namespace Norik {

class Cvelda1View;

// Where the first link of text that leads to the document number starts and ends; none when none
// does.
std::optional<std::pair<int, int>> FirstLinkTo(const QTextDocument& text, std::int16_t number);

// Selects the first link of view's text that leads to number and shows it at the top of the view;
// false (and nothing changes) when the text has none.
bool ShowLinkTo(Cvelda1View& view, std::int16_t number);

// The place named after the "#" of the target of the link at position ("ст. 5"); empty when the
// link names none.
QString LinkPlaceAt(const QTextDocument& text, int position);

// Shows the article (or other part) place names ("ст. 5", "5", "глава 2") at the top of view;
// false (and nothing changes) when the text has no such part.
bool ShowNamedPlace(Cvelda1View& view, const QString& place);

}  // namespace Norik
