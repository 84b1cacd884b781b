// The documents read lately, newest first, each with the place the reader was at when last there,
// kept in the settings between sessions.
//
// Reading a document again moves it to the front with its new place; only the newest kMaxDocuments
// are kept. They are kept in the value "Places" of the section "Recent" of the profile, one value
// written at each change: "number:position" pairs separated by blanks, newest first. Reading trusts
// nothing stored there: a pair that does not read as two numbers in range is skipped, a number met
// twice is kept once, and the pairs past kMaxDocuments are left. No Qt; user-interface thread only. The profile must
// outlive the object.
#pragma once

#include <cstddef>
#include <vector>

#include "frame/NavigationHistory.h"

namespace Norik {

class IProfile;

class RecentDocuments {
public:
    static constexpr int kMaxDocuments = 50;

    explicit RecentDocuments(IProfile& profile);

    // Newest first.
    const std::vector<TextPlace>& all() const { return m_places; }

    // The reader is at place: its document goes to the front with it. False when the profile could
    // not keep the change (it stays for this run).
    bool Note(const TextPlace& place);

private:
    bool Write();

    IProfile& m_profile;
    std::vector<TextPlace> m_places;
};

}  // namespace Norik
