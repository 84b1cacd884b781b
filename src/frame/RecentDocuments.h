// The documents read lately, newest first, each with the place the reader was at when last there
// and the name of the part of the text it lies in ("ст. 220"; may be empty), kept in the settings
// between sessions.
//
// Reading a document again moves it to the front with its new place; only the newest kMaxDocuments
// are kept. They are kept in two values of the section "Recent" of the profile, written at each
// change: "Places", "number:position" pairs separated by blanks, newest first, and "Parts", the
// parts' names one a line in the same order. Reading trusts nothing stored there: a pair that does
// not read as two numbers in range is skipped, a number met twice is kept once, the pairs past
// kMaxDocuments are left, and a name is cut at kMaxPartBytes. No Qt; user-interface thread only.
// The profile must outlive the object.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "frame/NavigationHistory.h"

namespace Norik {

class IProfile;

class RecentDocuments {
public:
    static constexpr int kMaxDocuments = 50;
    static constexpr std::size_t kMaxPartBytes = 200;

    explicit RecentDocuments(IProfile& profile);

    // Newest first.
    const std::vector<TextPlace>& all() const { return m_places; }

    // The names of the parts the places lie in, in the order of all().
    const std::vector<std::string>& parts() const { return m_parts; }

    // The reader is at place, in the part named part: its document goes to the front with them.
    // False when the profile could not keep the change (it stays for this run).
    bool Note(const TextPlace& place, const std::string& part = {});

private:
    bool Write();

    IProfile& m_profile;
    std::vector<TextPlace> m_places;
    std::vector<std::string> m_parts;
};

}  // namespace Norik
