#include "showdata/TextPool.h"

#include <cstring>

namespace Norik {

std::string_view TextPool::Add(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > m_left) {
        // A text larger than a block gets a block of its own; the current block stays open for
        // the smaller texts that follow.
        if (text.size() > m_blockSize / 4) {
            auto block = std::make_unique<char[]>(text.size());
            std::memcpy(block.get(), text.data(), text.size());
            const std::string_view stored(block.get(), text.size());
            m_reserved += text.size();
            m_blocks.push_back(std::move(block));
            return stored;
        }
        m_blocks.push_back(std::make_unique<char[]>(m_blockSize));
        m_next = m_blocks.back().get();
        m_left = m_blockSize;
        m_reserved += m_blockSize;
    }
    std::memcpy(m_next, text.data(), text.size());
    const std::string_view stored(m_next, text.size());
    m_next += text.size();
    m_left -= text.size();
    return stored;
}

void TextPool::Clear() {
    m_blocks.clear();
    m_next = nullptr;
    m_left = 0;
    m_reserved = 0;
}

}  // namespace Norik
