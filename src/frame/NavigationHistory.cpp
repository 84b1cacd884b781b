#include "frame/NavigationHistory.h"

namespace Norik {

void NavigationHistory::PushBehind(const TextPlace& place) {
    // The same place twice running would make "Назад" seem to do nothing.
    if (!m_behind.empty() && m_behind.back() == place) return;
    m_behind.push_back(place);
    if (m_behind.size() > kMaxPlaces) m_behind.pop_front();
}

void NavigationHistory::RecordStep(const TextPlace& from, const TextPlace& to) {
    if (from == to) return;
    PushBehind(from);
    m_ahead.clear();
}

std::optional<TextPlace> NavigationHistory::Back(const std::optional<TextPlace>& here) {
    if (m_behind.empty()) return std::nullopt;
    const TextPlace target = m_behind.back();
    m_behind.pop_back();
    if (here && !(*here == target)) m_ahead.push_back(*here);
    return target;
}

std::optional<TextPlace> NavigationHistory::Forward(const std::optional<TextPlace>& here) {
    if (m_ahead.empty()) return std::nullopt;
    const TextPlace target = m_ahead.back();
    m_ahead.pop_back();
    if (here && !(*here == target)) PushBehind(*here);
    return target;
}

}  // namespace Norik
