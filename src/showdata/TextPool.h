// An append-only store of text for the process-wide tables.
//
// The document table holds about a hundred thousand rows with three texts each; keeping each text
// in a string of its own would cost one allocation per text and per copy of a row. The pool keeps
// the bytes in large blocks instead and hands out views that stay valid as long as the pool lives
// (the tables live until the process ends). Blocks never move, so adding text never invalidates
// an earlier view. Not thread-safe: the tables belong to the user-interface thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace Norik {

class TextPool {
public:
    explicit TextPool(std::size_t blockSize = std::size_t{256} * 1024) : m_blockSize(blockSize) {}
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;

    // A copy of text inside the pool (an empty view for empty text).
    std::string_view Add(std::string_view text);

    // Drops every block; all views handed out so far become invalid.
    void Clear();

    // Bytes reserved by the blocks.
    std::size_t ReservedBytes() const { return m_reserved; }

private:
    std::size_t m_blockSize;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    std::size_t m_left = 0;
    std::size_t m_reserved = 0;
};

}  // namespace Norik
