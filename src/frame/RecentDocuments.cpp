#include "frame/RecentDocuments.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Profile.h"

namespace Norik {

namespace {

const char* const kSection = "Recent";
const char* const kPlaces = "Places";

std::optional<int> Whole(std::string_view text, int low, int high) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || text.empty() || value < low || value > high) return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace

RecentDocuments::RecentDocuments(IProfile& profile) : m_profile(profile) {
    const std::string stored = m_profile.GetProfileString(kSection, kPlaces, "");
    std::string_view rest(stored);
    while (!rest.empty() && m_places.size() < static_cast<std::size_t>(kMaxDocuments)) {
        const std::size_t blank = rest.find(' ');
        const std::string_view pair = rest.substr(0, blank);
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
        const std::size_t colon = pair.find(':');
        if (colon == std::string_view::npos) continue;
        const auto number = Whole(pair.substr(0, colon), std::numeric_limits<std::int16_t>::min(),
                                  std::numeric_limits<std::int16_t>::max());
        const auto position = Whole(pair.substr(colon + 1), 0, std::numeric_limits<int>::max());
        if (!number || !position) continue;
        const TextPlace place{static_cast<std::int16_t>(*number), *position};
        if (std::none_of(m_places.begin(), m_places.end(),
                         [&](const TextPlace& kept) { return kept.number == place.number; }))
            m_places.push_back(place);
    }
}

bool RecentDocuments::Note(const TextPlace& place) {
    if (!m_places.empty() && m_places.front() == place) return true;
    std::erase_if(m_places, [&](const TextPlace& kept) { return kept.number == place.number; });
    m_places.insert(m_places.begin(), place);
    if (m_places.size() > static_cast<std::size_t>(kMaxDocuments)) m_places.resize(kMaxDocuments);
    return Write();
}

bool RecentDocuments::Write() {
    std::string places;
    for (const TextPlace& place : m_places) {
        if (!places.empty()) places += ' ';
        places += std::to_string(place.number) + ':' + std::to_string(place.position);
    }
    return m_profile.WriteProfileString(kSection, kPlaces, places);
}

}  // namespace Norik
