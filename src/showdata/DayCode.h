// Day codes: a date as one signed 32-bit integer,
//     (year - 1900) * 372 + (month - 1) * 31 + (day - 1),
// so that later dates have larger codes and the parts come back by division and remainder by 372
// and 31. A code of 0 means "no date" where a field allows it. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ShowData {

using DayCode = std::int32_t;

constexpr DayCode MakeDayCode(int year, int month, int day) {
    return (year - 1900) * 372 + (month - 1) * 31 + (day - 1);
}
constexpr int DayOfCode(DayCode code) { return code % 372 % 31 + 1; }
constexpr int MonthOfCode(DayCode code) { return code % 372 / 31 + 1; }
constexpr int YearOfCode(DayCode code) { return code / 372 + 1900; }

// "day/month/year" in plain decimal without leading zeros, e.g. 5/3/2007.
inline std::string DayCodeText(DayCode code) {
    return std::to_string(DayOfCode(code)) + "/" + std::to_string(MonthOfCode(code)) + "/" +
           std::to_string(YearOfCode(code));
}

// Whether day.month.year is a day of the Gregorian calendar.
constexpr bool IsCalendarDate(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1) return false;
    constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= (month == 2 && !leap ? 28 : kDays[month - 1]);
}

// "DD.MM.YYYY" with leading zeros, e.g. 05.03.2007; empty for 0 (no date).
std::string DottedDayCode(DayCode code);

// The day code of a date typed as DD.MM.YYYY: day and month of one or two digits, a year of four
// from 1900, blanks around the whole ignored. Nothing for any other text or a day the calendar
// does not have (31.04.2005, 29.02.2005).
std::optional<DayCode> ParseDottedDate(std::string_view text);

}  // namespace ShowData
