#include "frame/Bookmarks.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

#include "platform/Profile.h"

namespace Norik {

namespace {

const char* const kSection = "Bookmarks";
const char* const kCount = "Count";

std::string Key(const char* what, std::size_t index) { return what + std::to_string(index); }

std::optional<long long> Whole(const std::string& text) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || text.empty()) return std::nullopt;
    return value;
}

// text cut at kMaxTextBytes, at the start of a UTF-8 character.
std::string Bounded(std::string text) {
    if (text.size() <= Bookmarks::kMaxTextBytes) return text;
    std::size_t end = Bookmarks::kMaxTextBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

}  // namespace

Bookmarks::Bookmarks(IProfile& profile) : m_profile(profile) {
    const int count = std::clamp(m_profile.GetProfileInt(kSection, kCount, 0), 0, kMaxBookmarks);
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        const auto number = Whole(m_profile.GetProfileString(kSection, Key("Number", i), ""));
        const auto position = Whole(m_profile.GetProfileString(kSection, Key("Position", i), ""));
        if (!number || !position) continue;
        if (*number < std::numeric_limits<std::int16_t>::min() || *number > std::numeric_limits<std::int16_t>::max())
            continue;
        if (*position < 0 || *position > std::numeric_limits<int>::max()) continue;
        m_bookmarks.push_back(Bookmark{TextPlace{static_cast<std::int16_t>(*number), static_cast<int>(*position)},
                                       m_profile.GetProfileString(kSection, Key("Name", i), ""),
                                       Bounded(m_profile.GetProfileString(kSection, Key("Folder", i), "")),
                                       Bounded(m_profile.GetProfileString(kSection, Key("Note", i), ""))});
    }
}

bool Bookmarks::Add(const Bookmark& bookmark) {
    if (m_bookmarks.size() >= static_cast<std::size_t>(kMaxBookmarks)) return false;
    m_bookmarks.push_back(bookmark);
    return Write(m_bookmarks.size() - 1);
}

bool Bookmarks::Rename(std::size_t index, const std::string& name) {
    if (index >= m_bookmarks.size()) return false;
    m_bookmarks[index].name = name;
    return m_profile.WriteProfileString(kSection, Key("Name", index), name);
}

bool Bookmarks::Move(std::size_t index, const std::string& folder) {
    if (index >= m_bookmarks.size()) return false;
    m_bookmarks[index].folder = Bounded(folder);
    return m_profile.WriteProfileString(kSection, Key("Folder", index), m_bookmarks[index].folder);
}

bool Bookmarks::SetNote(std::size_t index, const std::string& note) {
    if (index >= m_bookmarks.size()) return false;
    m_bookmarks[index].note = Bounded(note);
    return m_profile.WriteProfileString(kSection, Key("Note", index), m_bookmarks[index].note);
}

std::vector<std::string> Bookmarks::Folders() const {
    std::vector<std::string> folders;
    for (const Bookmark& bookmark : m_bookmarks)
        if (!bookmark.folder.empty()) folders.push_back(bookmark.folder);
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    return folders;
}

bool Bookmarks::Remove(std::size_t index) {
    if (index >= m_bookmarks.size()) return false;
    m_bookmarks.erase(m_bookmarks.begin() + static_cast<std::ptrdiff_t>(index));
    return Write(index);
}

// Each value written is a write of the whole settings file: only the entries from first on change.
bool Bookmarks::Write(std::size_t first) {
    bool written = true;
    for (std::size_t i = first; i < m_bookmarks.size(); ++i) {
        const Bookmark& bookmark = m_bookmarks[i];
        written &= m_profile.WriteProfileString(kSection, Key("Number", i), std::to_string(bookmark.place.number));
        written &= m_profile.WriteProfileString(kSection, Key("Position", i), std::to_string(bookmark.place.position));
        written &= m_profile.WriteProfileString(kSection, Key("Name", i), bookmark.name);
        written &= m_profile.WriteProfileString(kSection, Key("Folder", i), bookmark.folder);
        written &= m_profile.WriteProfileString(kSection, Key("Note", i), bookmark.note);
    }
    // The count last: entries past it are never read.
    written &= m_profile.WriteProfileInt(kSection, kCount, static_cast<int>(m_bookmarks.size()));
    return written;
}

}  // namespace Norik
