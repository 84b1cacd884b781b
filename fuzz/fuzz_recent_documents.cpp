// libFuzzer target: the documents read lately as the settings keep them (the values "Places" and
// "Parts" of the section "Recent"; the input holds them in this order, separated by the first byte
// 0x1E). Whatever they hold, the list read is at most RecentDocuments::kMaxDocuments places, each
// document once, no position negative, each with one part's name of one line within its bound;
// noting a place puts it first, and the list written back reads the same.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "frame/RecentDocuments.h"
#include "platform/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Norik::MemoryProfile profile;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\x1e');
    profile.WriteProfileString("Recent", "Places", input.substr(0, cut));
    if (cut != std::string::npos) profile.WriteProfileString("Recent", "Parts", input.substr(cut + 1));
    Norik::RecentDocuments recent(profile);
    const auto check = [](const Norik::RecentDocuments& list) {
        if (list.all().size() > static_cast<std::size_t>(Norik::RecentDocuments::kMaxDocuments)) __builtin_trap();
        if (list.parts().size() != list.all().size()) __builtin_trap();
        for (const std::string& part : list.parts())
            if (part.size() > Norik::RecentDocuments::kMaxPartBytes || part.find('\n') != std::string::npos)
                __builtin_trap();
        std::set<std::int16_t> numbers;
        for (const Norik::TextPlace& place : list.all()) {
            if (place.position < 0 || !numbers.insert(place.number).second) __builtin_trap();
        }
    };
    check(recent);
    const Norik::TextPlace noted{static_cast<std::int16_t>(size), static_cast<int>(size)};
    recent.Note(noted, input.substr(0, 300));
    check(recent);
    if (recent.all().front() != noted) __builtin_trap();
    const Norik::RecentDocuments again(profile);
    if (again.all() != recent.all() || again.parts() != recent.parts()) __builtin_trap();
    return 0;
}
