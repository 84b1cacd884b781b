// The document number a link leads to.
//
// A link in a document text carries a target (the HYPERLINK argument) and a visible text. Its
// document number is the target's address (the target up to a "#") when that is a decimal number,
// otherwise the visible text when that is a decimal number; otherwise the link leads to no
// document. What follows the "#" names a place in the document linked to (LinkPlace). Surrounding blanks are
// ignored; a sign, inner blanks or any other character make the text not a number. Pure; any
// thread.
#pragma once

#include <optional>
#include <string_view>

namespace Norik {

// The value of text as a decimal number (ASCII digits only, blanks around allowed), or nothing.
// Numbers beyond the range of int are not numbers.
std::optional<int> ParseDecimalNumber(std::string_view text);

std::optional<int> LinkDocumentNumber(std::string_view target, std::string_view visibleText);

// The place in the document linked to: what follows the first "#" of target; empty when none.
std::string_view LinkPlace(std::string_view target);

}  // namespace Norik
