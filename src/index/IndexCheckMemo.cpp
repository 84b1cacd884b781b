#include "index/IndexCheckMemo.h"

#include <cstring>

#include "Helpers/CheckRecord.h"

namespace IndexSpace::IndexImpl {

namespace {

// The finding: the count, the total, the number of marks, then each mark's key and place; every
// number 8 bytes in the machine's order (the view is read in place on little-endian machines only).
struct Head {
    std::uint64_t count = 0;
    std::int64_t total = 0;
    std::uint64_t marks = 0;
};
constexpr std::size_t kMarkBytes = sizeof(IndexKey) + sizeof(std::uint64_t);
constexpr const char* kKind = "check";

}  // namespace

std::optional<IndexView::CheckResult> RecallCheck(const std::string& file, const Norik::FileStamp& stamp,
                                                  std::uint64_t digest) {
    // No more marks than the file could have entries.
    const std::uint64_t mostMarks = stamp.size / IndexView::kStride + 1;
    const std::optional<std::string> finding = Norik::RecallRecord(
        file, kKind, {stamp}, digest, sizeof(Head) + static_cast<std::size_t>(mostMarks) * kMarkBytes);
    if (!finding || finding->size() < sizeof(Head)) return std::nullopt;
    Head head;
    std::memcpy(&head, finding->data(), sizeof head);
    // As many marks as the finding holds bytes for.
    if (head.marks > mostMarks || finding->size() != sizeof head + head.marks * kMarkBytes) return std::nullopt;
    IndexView::CheckResult checked;
    checked.count = head.count;
    checked.total = head.total;
    checked.markKeys.resize(static_cast<std::size_t>(head.marks));
    checked.markPlaces.resize(static_cast<std::size_t>(head.marks));
    const char* marks = finding->data() + sizeof head;
    for (std::size_t i = 0; i < checked.markKeys.size(); ++i) {
        std::memcpy(&checked.markKeys[i], marks + i * kMarkBytes, sizeof(IndexKey));
        std::memcpy(&checked.markPlaces[i], marks + i * kMarkBytes + sizeof(IndexKey), sizeof(std::uint64_t));
    }
    return checked;
}

void RememberCheck(const std::string& file, const Norik::FileStamp& stamp, std::uint64_t digest,
                   const IndexView::CheckResult& checked) {
    std::string bytes(sizeof(Head) + checked.markKeys.size() * kMarkBytes, '\0');
    Head head;
    head.count = checked.count;
    head.total = checked.total;
    head.marks = checked.markKeys.size();
    std::memcpy(bytes.data(), &head, sizeof head);
    for (std::size_t i = 0; i < checked.markKeys.size(); ++i) {
        char* at = bytes.data() + sizeof head + i * kMarkBytes;
        std::memcpy(at, &checked.markKeys[i], sizeof(IndexKey));
        std::memcpy(at + sizeof(IndexKey), &checked.markPlaces[i], sizeof(std::uint64_t));
    }
    Norik::RememberRecord(file, kKind, {stamp}, digest, bytes);
}

}  // namespace IndexSpace::IndexImpl
