// libFuzzer target: the link-target parser of the rich-text reader. The input is a field
// instruction and a link's visible text, separated by the first byte 0x1E. The instruction's
// target, and the document number a link leads to (from the target's address, the part before a
// "#", else from the visible text), are checked against a plain reading of the rules: a number is
// ASCII digits within the range of int, with blanks (space, tab, CR, LF and the UTF-8 no-break
// space) around it and nowhere else. The place after the "#" is what follows it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "richtext/RtfLinks.h"
#include "richtext/RtfReaderImpl.h"

namespace {

std::optional<int> PlainNumber(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    for (;;) {
        if (begin < end && (text[begin] == ' ' || text[begin] == '\t' || text[begin] == '\r' || text[begin] == '\n')) {
            ++begin;
        } else if (end - begin >= 2 && text.substr(begin, 2) == "\xC2\xA0") {
            begin += 2;
        } else {
            break;
        }
    }
    for (;;) {
        const char last = end > begin ? text[end - 1] : 'x';
        if (last == ' ' || last == '\t' || last == '\r' || last == '\n') {
            --end;
        } else if (end - begin >= 2 && text.substr(end - 2, 2) == "\xC2\xA0") {
            end -= 2;
        } else {
            break;
        }
    }
    if (begin == end) return std::nullopt;
    long long value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483647) return std::nullopt;
    }
    return static_cast<int>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\x1e');
    const std::string_view instruction = input.substr(0, cut);
    const std::string_view visible = cut == std::string_view::npos ? std::string_view{} : input.substr(cut + 1);

    std::string target;
    if (Norik::RtfReaderDetail::HyperlinkTarget(instruction, target)) {
        if (target.size() > instruction.size()) __builtin_trap();
        // The address is the target up to a "#"; what follows names a place in the document.
        const std::string_view address = std::string_view(target).substr(0, target.find('#'));
        if (Norik::LinkDocumentNumber(target, visible) !=
            (PlainNumber(address) ? PlainNumber(address) : PlainNumber(visible)))
            __builtin_trap();
        const std::string_view place = Norik::LinkPlace(target);
        if (address.size() < target.size() && place != std::string_view(target).substr(address.size() + 1))
            __builtin_trap();
        if (address.size() == target.size() && !place.empty()) __builtin_trap();
    }
    if (Norik::ParseDecimalNumber(visible) != PlainNumber(visible)) __builtin_trap();

    // A plain address written in quotes comes back as it was written.
    if (!visible.empty() && visible.find_first_of("\"\\") == std::string_view::npos) {
        std::string back;
        const std::string quoted = "HYPERLINK \"" + std::string(visible) + "\"";
        if (!Norik::RtfReaderDetail::HyperlinkTarget(quoted, back) || back != visible) __builtin_trap();
    }
    return 0;
}
