// The index file read in place: the one check of the whole file, and the lookups.
#include "index/IndexView.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "index/DocBitmap.h"

namespace IndexSpace::IndexImpl {

namespace {

constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kEntryHeadBytes = 10;  // key + list length

bool StrictlyAscending(std::span<const DocNumber> list) {
    // Eight neighbouring pairs a step, each marked in a lane of its own, with no branch on the
    // numbers: the compiler turns the steps into vector compares. A sound file's lists are read
    // whole by this, so it sets the cost of reading an index in place.
    constexpr std::size_t kLanes = 8;
    std::array<std::int16_t, kLanes> unordered{};
    std::size_t i = 1;
    for (; i + kLanes <= list.size(); i += kLanes)
        for (std::size_t lane = 0; lane < kLanes; ++lane)
            unordered[lane] =
                static_cast<std::int16_t>(unordered[lane] | (list[i + lane - 1] >= list[i + lane] ? -1 : 0));
    int any = 0;
    for (const std::int16_t lane : unordered) any |= lane;
    for (; i < list.size(); ++i) any |= static_cast<int>(list[i - 1] >= list[i]);
    return any == 0;
}

}  // namespace

inline bool IndexView::Next(std::size_t& offset, Entry& entry) const {
    const std::size_t size = m_bytes.size();
    if (offset > size || size - offset < kEntryHeadBytes) return false;
    // The view is only made on a little-endian machine (Attach): the file's numbers read as they lie.
    const unsigned char* head = m_bytes.data() + offset;
    std::int16_t length = 0;
    std::memcpy(&length, head + 8, sizeof length);
    if (length < 0) return false;
    const std::size_t listBytes = static_cast<std::size_t>(length) * sizeof(DocNumber);
    if (size - offset - kEntryHeadBytes < listBytes) return false;
    std::memcpy(&entry.key, head, sizeof entry.key);
    // The start of the bytes is aligned for document numbers (Attach) and every entry takes an
    // even number of bytes, so each list is aligned too.
    entry.list = {reinterpret_cast<const DocNumber*>(head + kEntryHeadBytes), static_cast<std::size_t>(length)};
    offset += kEntryHeadBytes + listBytes;
    return true;
}

bool IndexView::Attach(std::span<const unsigned char> bytes) {
    *this = IndexView{};
    // The lists are taken in place as document numbers: stored little-endian, aligned.
    if constexpr (std::endian::native != std::endian::little) return false;
    if (bytes.size() < kHeaderBytes || reinterpret_cast<std::uintptr_t>(bytes.data()) % alignof(DocNumber) != 0)
        return false;
    std::uint32_t declared = 0;
    std::memcpy(&declared, bytes.data(), sizeof declared);
    // A count the bytes cannot hold is refused before anything is reserved for it.
    if (declared > (bytes.size() - kHeaderBytes) / kEntryHeadBytes) return false;
    m_bytes = bytes;
    m_markKeys.reserve(declared / kStride + 1);
    m_markPlaces.reserve(declared / kStride + 1);
    std::size_t offset = kHeaderBytes;
    Entry entry;
    for (std::uint32_t i = 0; i < declared; ++i) {
        const std::size_t place = offset;
        const IndexKey previous = entry.key;
        if (!Next(offset, entry) || (i > 0 && entry.key <= previous) || !StrictlyAscending(entry.list)) {
            *this = IndexView{};
            return false;
        }
        if (i % kStride == 0) {
            m_markKeys.push_back(entry.key);
            m_markPlaces.push_back(place);
        }
        m_total += static_cast<std::int64_t>(entry.list.size());
    }
    // Bytes after the last entry, or more postings than a loaded index can count, are damage.
    if (offset != bytes.size() || m_total > std::numeric_limits<std::uint32_t>::max()) {
        *this = IndexView{};
        return false;
    }
    m_count = declared;
    return true;
}

IndexView::CheckResult IndexView::Checked() const {
    return {m_markKeys, {m_markPlaces.begin(), m_markPlaces.end()}, m_count, m_total};
}

bool IndexView::AttachChecked(std::span<const unsigned char> bytes, CheckResult checked) {
    *this = IndexView{};
    if constexpr (std::endian::native != std::endian::little) return false;
    if (bytes.size() < kHeaderBytes || reinterpret_cast<std::uintptr_t>(bytes.data()) % alignof(DocNumber) != 0)
        return false;
    std::uint32_t declared = 0;
    std::memcpy(&declared, bytes.data(), sizeof declared);
    const std::size_t marks = declared == 0 ? 0 : (std::size_t{declared} - 1) / kStride + 1;
    if (checked.count != declared || checked.markKeys.size() != marks || checked.markPlaces.size() != marks ||
        checked.total < 0 || checked.total > std::numeric_limits<std::uint32_t>::max())
        return false;
    m_bytes = bytes;
    // Every kept place in order and inside the bytes; the entries at the first and the last are
    // read, the rest only by the lookups that start there (reading them all would bring every page
    // of the file in, which is what remembering the check saves).
    Entry entry;
    for (std::size_t i = 0; i < marks; ++i) {
        std::size_t offset = checked.markPlaces[i];
        const bool inOrder = i == 0
                                 ? offset == kHeaderBytes
                                 : offset > checked.markPlaces[i - 1] && checked.markKeys[i] > checked.markKeys[i - 1];
        const bool read = i == 0 || i + 1 == marks;
        if (!inOrder || bytes.size() < kEntryHeadBytes || offset > bytes.size() - kEntryHeadBytes ||
            (read && (!Next(offset, entry) || entry.key != checked.markKeys[i]))) {
            *this = IndexView{};
            return false;
        }
    }
    m_markKeys = std::move(checked.markKeys);
    m_markPlaces.assign(checked.markPlaces.begin(), checked.markPlaces.end());
    m_count = declared;
    m_total = checked.total;
    return true;
}

std::size_t IndexView::StartFor(IndexKey low) const {
    // The last kept entry whose key is below low: every entry before it is below low as well.
    const auto after = std::lower_bound(m_markKeys.begin(), m_markKeys.end(), low);
    if (after == m_markKeys.begin()) return kHeaderBytes;
    return m_markPlaces[static_cast<std::size_t>(after - m_markKeys.begin()) - 1];
}

template <class Visit>
std::size_t IndexView::ForEachInRange(IndexKey low, IndexKey high, Visit&& visit) const {
    if (low > high || m_count == 0) return 0;
    std::size_t visited = 0;
    Entry entry;
    for (std::size_t offset = StartFor(low); Next(offset, entry);) {
        if (entry.key < low) continue;
        if (entry.key > high) break;
        visit(entry);
        ++visited;
    }
    return visited;
}

DocNumberList IndexView::Find(IndexKey key) const {
    DocNumberList found;
    if (ForEachInRange(key, key, [&](const Entry& entry) { found.assign(entry.list.begin(), entry.list.end()); }) == 0)
        throw Value_Not_Found{};
    return found;
}

DocNumberList IndexView::FindRange(IndexKey low, IndexKey high) const {
    Norik::DocBitmap bits;
    if (!CollectRange(low, high, bits)) throw Value_Not_Found{};
    return bits.ToList();
}

bool IndexView::CollectRange(IndexKey low, IndexKey high, Norik::DocBitmap& bits) const {
    return ForEachInRange(low, high, [&](const Entry& entry) { bits.SetAll(entry.list); }) > 0;
}

std::int32_t IndexView::Count() const {
    return static_cast<std::int32_t>(std::min<std::size_t>(m_count, std::numeric_limits<std::int32_t>::max()));
}

bool IndexView::HoldsDocument(DocNumber doc) const {
    Entry entry;
    for (std::size_t offset = kHeaderBytes; m_count > 0 && Next(offset, entry);)
        if (std::binary_search(entry.list.begin(), entry.list.end(), doc)) return true;
    return false;
}

}  // namespace IndexSpace::IndexImpl
