#include "richtext/RtfLinks.h"

#include <charconv>

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
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<int> LinkDocumentNumber(std::string_view target, std::string_view visibleText) {
    if (auto number = ParseDecimalNumber(target)) return number;
    return ParseDecimalNumber(visibleText);
}

}  // namespace Norik
