#include "showdata/DayCode.h"

#include <charconv>
#include <cstdio>

namespace ShowData {

std::string DottedDayCode(DayCode code) {
    if (code == 0) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", DayOfCode(code), MonthOfCode(code), YearOfCode(code));
    return text;
}

namespace {

// Reads minDigits to maxDigits decimal digits at the start of text and drops them from it.
bool TakeNumber(std::string_view& text, std::size_t minDigits, std::size_t maxDigits, int& value) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits < minDigits || digits > maxDigits) return false;
    std::from_chars(text.data(), text.data() + digits, value);
    text.remove_prefix(digits);
    return true;
}

bool TakeDot(std::string_view& text) {
    if (text.empty() || text.front() != '.') return false;
    text.remove_prefix(1);
    return true;
}

}  // namespace

std::optional<DayCode> ParseDottedDate(std::string_view text) {
    const std::string_view blanks = " \t";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
    int day = 0, month = 0, year = 0;
    if (!TakeNumber(text, 1, 2, day) || !TakeDot(text) || !TakeNumber(text, 1, 2, month) || !TakeDot(text) ||
        !TakeNumber(text, 4, 4, year) || !text.empty())
        return std::nullopt;
    if (year < 1900 || !IsCalendarDate(year, month, day)) return std::nullopt;
    return MakeDayCode(year, month, day);
}

}  // namespace ShowData
