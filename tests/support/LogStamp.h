// Reading back the time stamp of an error-log entry.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

namespace NorikTest {

// What is wrong with the stamp of the first entry of log: empty when it is a local time between
// before and after (both from std::time, one second of slack each way). The stamp
// "<Err>:MM/DD/YY hh:mm:ss" is read back as a date, so that a wrong month or day fails as surely
// as a wrong pattern.
inline std::string StampOutside(const std::string& log, std::time_t before, std::time_t after) {
    std::tm stamp{};
    int year = 0;
    if (std::sscanf(log.c_str(), "<Err>:%2d/%2d/%2d %2d:%2d:%2d", &stamp.tm_mon, &stamp.tm_mday, &year, &stamp.tm_hour,
                    &stamp.tm_min, &stamp.tm_sec) != 6)
        return "no stamp at the start of: " + log.substr(0, 40);
    stamp.tm_mon -= 1;
    stamp.tm_year = 100 + year;
    stamp.tm_isdst = -1;
    const std::time_t at = std::mktime(&stamp);
    if (at < before - 1 || at > after + 1) {
        char now[32];
        std::tm local{};
        localtime_r(&before, &local);
        std::strftime(now, sizeof now, "%m/%d/%y %H:%M:%S", &local);
        return "stamped " + log.substr(6, 17) + ", written at " + now;
    }
    return {};
}

}  // namespace NorikTest
