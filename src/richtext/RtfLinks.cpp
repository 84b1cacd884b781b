#include "richtext/RtfLinks.h"

#include <climits>

#include "Helpers/DecimalText.h"

namespace Norik {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

std::optional<int> ParseDecimalNumber(std::string_view text) {
    // UTF-8 no-break space (C2 A0) around a number is a blank too, in any mix with the others.
    constexpr std::string_view kNoBreakSpace = "\xC2\xA0";
    for (;;) {
        if (!text.empty() && IsBlank(text.front()))
            text.remove_prefix(1);
        else if (text.starts_with(kNoBreakSpace))
            text.remove_prefix(kNoBreakSpace.size());
        else
            break;
    }
    for (;;) {
        if (!text.empty() && IsBlank(text.back()))
            text.remove_suffix(1);
        else if (text.ends_with(kNoBreakSpace))
            text.remove_suffix(kNoBreakSpace.size());
        else
            break;
    }
    // Digits only: a sign makes a target no document number.
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    const std::optional<long long> value = ParseDecimal(text, 0, INT_MAX);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<int> LinkDocumentNumber(std::string_view target, std::string_view visibleText) {
    if (auto number = ParseDecimalNumber(target.substr(0, target.find('#')))) return number;
    return ParseDecimalNumber(visibleText);
}

std::string_view LinkPlace(std::string_view target) {
    const std::size_t hash = target.find('#');
    return hash == std::string_view::npos ? std::string_view() : target.substr(hash + 1);
}

}  // namespace Norik
