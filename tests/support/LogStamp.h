// Reading back the time stamp of an error-log entry.
#pragma once

#include <ctime>
#include <string>

namespace NorikTest {

// Whether the first entry of log, "<Err>:MM/DD/YY hh:mm:ss", is stamped with the local date and
// minute of before or of after (both from std::time around the write), so that a wrong month, day
// or hour fails as surely as a wrong pattern.
inline bool StampedBetween(const std::string& log, std::time_t before, std::time_t after) {
    for (const std::time_t at : {before, after}) {
        std::tm local{};
        localtime_r(&at, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "<Err>:%m/%d/%y %H:%M:", &local);
        if (log.rfind(stamp, 0) == 0) return true;
    }
    return false;
}

}  // namespace NorikTest
