// The user's bookmarks: places in document texts, each with a name, kept in the settings.
//
// A bookmark is a document number, a character position in its text, a name, the folder it is
// filed in (empty: none) and a note of the user's own (all UTF-8). They are kept in the section
// "Bookmarks" of the profile ("Count", then "Number<i>", "Position<i>", "Name<i>", "Folder<i>" and
// "Note<i>" for i from 0); a change writes the entries it moves and the count. Reading trusts
// nothing stored there: a count past kMaxBookmarks is cut to it, an entry whose number or position
// does not read as one is skipped, and a folder or note is cut at kMaxTextBytes. No Qt;
// user-interface thread only. The profile must outlive the object.
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
    std::string folder;
    std::string note;
};

class Bookmarks {
public:
    static constexpr int kMaxBookmarks = 1000;
    static constexpr std::size_t kMaxTextBytes = 4000;

    // Reads the bookmarks kept in profile.
    explicit Bookmarks(IProfile& profile);

    const std::vector<Bookmark>& all() const { return m_bookmarks; }

    // Each change is written to the profile at once; false when the profile could not keep it (the
    // change stays for this run). An index out of range changes nothing and returns false.
    bool Add(const Bookmark& bookmark);
    bool Rename(std::size_t index, const std::string& name);
    // Files the bookmark in folder (empty: in none).
    bool Move(std::size_t index, const std::string& folder);
    bool SetNote(std::size_t index, const std::string& note);
    // The folders bookmarks are filed in, each once, in byte order.
    std::vector<std::string> Folders() const;
    bool Remove(std::size_t index);

private:
    // Writes the entries from first on and the count.
    bool Write(std::size_t first);

    IProfile& m_profile;
    std::vector<Bookmark> m_bookmarks;
};

}  // namespace Norik
