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
const char* const kParts = "Parts";

// A part's name fit to be kept: one line, at most kMaxPartBytes, cut at the start of a character.
std::string PartName(std::string name) {
    std::replace(name.begin(), name.end(), '\n', ' ');
    if (name.size() <= RecentDocuments::kMaxPartBytes) return name;
    std::size_t end = RecentDocuments::kMaxPartBytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    name.resize(end);
    return name;
}

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
    const std::string storedParts = m_profile.GetProfileString(kSection, kParts, "");
    std::string_view rest(stored);
    std::string_view parts(storedParts);
    while (!rest.empty() && m_places.size() < static_cast<std::size_t>(kMaxDocuments)) {
        const std::size_t blank = rest.find(' ');
        const std::string_view pair = rest.substr(0, blank);
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
        // The name of the pair's part is the next line, whether or not the pair is kept.
        const std::size_t lineEnd = parts.find('\n');
        const std::string part = PartName(std::string(parts.substr(0, lineEnd)));
        parts = lineEnd == std::string_view::npos ? std::string_view() : parts.substr(lineEnd + 1);
        const std::size_t colon = pair.find(':');
        if (colon == std::string_view::npos) continue;
        const auto number = Whole(pair.substr(0, colon), std::numeric_limits<std::int16_t>::min(),
                                  std::numeric_limits<std::int16_t>::max());
        const auto position = Whole(pair.substr(colon + 1), 0, std::numeric_limits<int>::max());
        if (!number || !position) continue;
        const TextPlace place{static_cast<std::int16_t>(*number), *position};
        if (std::none_of(m_places.begin(), m_places.end(),
                         [&](const TextPlace& kept) { return kept.number == place.number; })) {
            m_places.push_back(place);
            m_parts.push_back(part);
        }
    }
}

bool RecentDocuments::Note(const TextPlace& place, const std::string& part) {
    const std::string name = PartName(part);
    if (!m_places.empty() && m_places.front() == place && m_parts.front() == name) return true;
    for (std::size_t i = 0; i < m_places.size(); ++i) {
        if (m_places[i].number != place.number) continue;
        m_places.erase(m_places.begin() + static_cast<std::ptrdiff_t>(i));
        m_parts.erase(m_parts.begin() + static_cast<std::ptrdiff_t>(i));
        break;
    }
    m_places.insert(m_places.begin(), place);
    m_parts.insert(m_parts.begin(), name);
    if (m_places.size() > static_cast<std::size_t>(kMaxDocuments)) {
        m_places.resize(kMaxDocuments);
        m_parts.resize(kMaxDocuments);
    }
    return Write();
}

bool RecentDocuments::Write() {
    std::string places;
    for (const TextPlace& place : m_places) {
        if (!places.empty()) places += ' ';
        places += std::to_string(place.number) + ':' + std::to_string(place.position);
    }
    std::string parts;
    for (std::size_t i = 0; i < m_parts.size(); ++i) parts += (i > 0 ? "\n" : "") + m_parts[i];
    // The names first: places read with names of an older list would take the wrong names.
    const bool partsWritten = m_profile.WriteProfileString(kSection, kParts, parts);
    return m_profile.WriteProfileString(kSection, kPlaces, places) && partsWritten;
}

}  // namespace Norik
