// Printing part of a text window's text: the selection, or the article the caret is in, from its
// heading to the next heading of the same level or above (as the contents pane knows them), or to
// the end of the text. The part is copied into a document of its own and printed as the whole text
// is (TextPrintout, PrintPages): the title at the head of each page, the page number at the foot.
// User-interface thread only.
#pragma once

#include <optional>
#include <utility>

#include "richtext/DocumentOutline.h"

class QPrinter;

namespace Norik {

class Cvelda1View;

// The characters [first, second) of the part of outline position lies in: its article, else the
// innermost part whose heading comes at or before it; textEnd ends the last part. None before the
// first heading.
std::optional<std::pair<int, int>> PartAround(const DocumentOutline& outline, int position, int textEnd);

// The article the caret of view is in, waiting for the whole text (which brings the outline).
std::optional<std::pair<int, int>> CaretArticle(Cvelda1View& view);

// Prints the characters [range.first, range.second) of view's text on printer. False when
// cancelled or failed.
bool PrintRange(Cvelda1View& view, QPrinter& printer, std::pair<int, int> range);

// "Печатать статью": the print dialog, then the article the caret is in. Says so when the caret is
// in no article.
void PrintCaretArticle(Cvelda1View& view);

}  // namespace Norik
