// libFuzzer target: the documents read lately as the settings keep them (the value "Places" of the
// section "Recent"). Whatever the value holds, the list read is at most RecentDocuments::kMaxDocuments
// places, each document once, no position negative; noting a place puts it first, and the list
// written back reads the same.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "frame/RecentDocuments.h"
#include "platform/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Norik::MemoryProfile profile;
    profile.WriteProfileString("Recent", "Places", std::string(reinterpret_cast<const char*>(data), size));
    Norik::RecentDocuments recent(profile);
    const auto check = [](const Norik::RecentDocuments& list) {
        if (list.all().size() > static_cast<std::size_t>(Norik::RecentDocuments::kMaxDocuments)) __builtin_trap();
        std::set<std::int16_t> numbers;
        for (const Norik::TextPlace& place : list.all()) {
            if (place.position < 0 || !numbers.insert(place.number).second) __builtin_trap();
        }
    };
    check(recent);
    const Norik::TextPlace noted{static_cast<std::int16_t>(size), static_cast<int>(size)};
    recent.Note(noted);
    check(recent);
    if (recent.all().front() != noted) __builtin_trap();
    const Norik::RecentDocuments again(profile);
    if (again.all() != recent.all()) __builtin_trap();
    return 0;
}
