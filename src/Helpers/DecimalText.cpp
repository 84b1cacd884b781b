#include "Helpers/DecimalText.h"

#include <algorithm>
#include <charconv>

namespace Norik {

std::optional<long long> ParseDecimal(std::string_view text, long long low, long long high) {
    const bool negative = !text.empty() && text.front() == '-';
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    // The sign goes with the digits so that the most negative value parses too.
    const char* first = negative ? text.data() : digits.data();
    long long value = 0;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace Norik
