// The user's bookmarks: places in document texts, each with a name, kept in the settings.
//
// A bookmark is a document number, a character position in its text and a name (UTF-8). They are
// kept in the section "Bookmarks" of the profile ("Count", then "Number<i>", "Position<i>" and
// "Name<i>" for i from 0); a change writes the entries it moves and the count. Reading trusts nothing stored there:
// a count past kMaxBookmarks is cut to it, and an entry whose number or position does not read as
// one is skipped. No Qt; user-interface thread only. The profile must outlive the object.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "frame/NavigationHistory.h"

namespace Norik {

class IProfile;

struct Bookmark {
    TextPlace place;
    std::string name;
};

class Bookmarks {
public:
    static constexpr int kMaxBookmarks = 1000;

    // Reads the bookmarks kept in profile.
    explicit Bookmarks(IProfile& profile);

    const std::vector<Bookmark>& all() const { return m_bookmarks; }

    // Each change is written to the profile at once; false when the profile could not keep it (the
    // change stays for this run). An index out of range changes nothing and returns false.
    bool Add(const Bookmark& bookmark);
    bool Rename(std::size_t index, const std::string& name);
    bool Remove(std::size_t index);

private:
    // Writes the entries from first on and the count.
    bool Write(std::size_t first);

    IProfile& m_profile;
    std::vector<Bookmark> m_bookmarks;
};

}  // namespace Norik
