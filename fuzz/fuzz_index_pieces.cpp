// libFuzzer target: the readers of what the full-text index keeps of a text for passages, which
// come from the index folder of a base (outside bytes). The input is a packed piece; its bytes are
// also read as a value of piece start positions. A piece unpacks to at most a piece's size, and
// what unpacks packs back to itself; positions come out rising, four bytes each.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fulltext/FullTextTerms.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Norik::FullText;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    if (const std::optional<std::string> piece = UnpackPiece(input)) {
        if (piece->size() > kPieceBytes) __builtin_trap();
        if (UnpackPiece(PackPiece(*piece)) != piece) __builtin_trap();
    }
    const auto positions = UnpackPositions(input);
    if (!positions.empty() && positions.size() * 4 != size) __builtin_trap();
    for (std::size_t k = 1; k < positions.size(); ++k)
        if (positions[k] < positions[k - 1]) __builtin_trap();
    if (!positions.empty() && PackPositions(positions) != input) __builtin_trap();
    return 0;
}
