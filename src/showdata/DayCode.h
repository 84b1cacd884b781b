// Day codes: a date as one signed 32-bit integer,
//     (year - 1900) * 372 + (month - 1) * 31 + (day - 1),
// so that later dates have larger codes and the parts come back by division and remainder by 372
// and 31. A code of 0 means "no date" where a field allows it. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace ShowData
