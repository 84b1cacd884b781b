// Reading back the time stamp of an error-log entry.
#pragma once

#include <charconv>
#include <ctime>
#include <string>

namespace NorikTest {

// What is wrong with the stamp of the first entry of log: empty when it is a local time between
// before and after (both from std::time, one second of slack each way). The stamp
// "<Err>:MM/DD/YY hh:mm:ss" is read back as a date, so that a wrong month or day fails as surely
// as a wrong pattern.
inline std::string StampOutside(const std::string& log, std::time_t before, std::time_t after) {
    // "<Err>:" then six two-digit fields, each followed by its separator.
    const char separators[] = "// ::";
    int fields[6] = {};
    bool read = log.size() >= 23 && log.compare(0, 6, "<Err>:") == 0;
    for (std::size_t i = 0; read && i < 6; ++i) {
        const char* start = log.data() + 6 + 3 * i;
        read = std::from_chars(start, start + 2, fields[i]).ptr == start + 2 && (i == 5 || start[2] == separators[i]);
    }
    if (!read) return "no stamp at the start of: " + log.substr(0, 40);
    std::tm stamp{};
    stamp.tm_mon = fields[0] - 1;
    stamp.tm_mday = fields[1];
    stamp.tm_year = 100 + fields[2];
    stamp.tm_hour = fields[3];
    stamp.tm_min = fields[4];
    stamp.tm_sec = fields[5];
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
