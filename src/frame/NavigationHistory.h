// The places the user has visited in text windows, for "Назад" (Alt+Left) and "Вперёд" (Alt+Right).
//
// A place is a document number and a character position in its text. A step from one place to
// another (a link followed, a jump inside a text) is recorded with RecordStep; going back returns
// to the place the last step left, going forward retraces a step gone back over, as a browser
// does: a new step after going back forgets the places ahead. Only the newest kMaxPlaces places
// behind are kept. Plain data, no Qt; user-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace Norik {

struct TextPlace {
    std::int16_t number = 0;
    int position = 0;
    bool operator==(const TextPlace&) const = default;
};

class NavigationHistory {
public:
    static constexpr std::size_t kMaxPlaces = 200;

    // The user went from one place to another.
    void RecordStep(const TextPlace& from, const TextPlace& to);

    bool CanGoBack() const { return !m_behind.empty(); }
    bool CanGoForward() const { return !m_ahead.empty(); }

    // The place to return to; here, where the user is now (none when no text window is active),
    // becomes the way forward. Nothing when there is no place behind.
    std::optional<TextPlace> Back(const std::optional<TextPlace>& here);
    // The place a step gone back over led to; here becomes a place behind. Nothing when none.
    std::optional<TextPlace> Forward(const std::optional<TextPlace>& here);

private:
    void PushBehind(const TextPlace& place);

    std::deque<TextPlace> m_behind;
    std::vector<TextPlace> m_ahead;
};

}  // namespace Norik
