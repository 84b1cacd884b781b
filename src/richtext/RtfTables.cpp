// Table rows, cells and the borders of paragraphs and cells.
#include <algorithm>
#include <cstddef>

#include "richtext/RtfReaderImpl.h"

namespace Norik {

Border* RtfReader::Impl::CurrentBorder() {
    ParagraphFormat& p = m_state.paragraph;
    switch (m_borderTarget) {
        case BorderTarget::ParaTop:
            return &p.top;
        case BorderTarget::ParaBottom:
            return &p.bottom;
        case BorderTarget::ParaLeft:
            return &p.left;
        case BorderTarget::ParaRight:
            return &p.right;
        case BorderTarget::ParaBox:
            return &p.top;
        case BorderTarget::CellTop:
            return &m_pendingCell.top;
        case BorderTarget::CellBottom:
            return &m_pendingCell.bottom;
        case BorderTarget::CellLeft:
            return &m_pendingCell.left;
        case BorderTarget::CellRight:
            return &m_pendingCell.right;
        case BorderTarget::None:
            return nullptr;
    }
    return nullptr;
}

RowFormat& RtfReader::Impl::DefinitionRow() {
    int level = 1;
    if (m_state.destination == Destination::RowProperties) level = std::max(2, m_state.paragraph.tableLevel());
    return m_rowDefs[static_cast<std::size_t>(std::min(level, kMaxTableLevel))];
}

void RtfReader::Impl::EnsureLevel(int level) {
    level = std::clamp(level, 0, kMaxTableLevel);
    FlushRun();
    while (m_openLevel > level) {
        auto l = static_cast<std::size_t>(m_openLevel);
        if (m_levels[l] == LevelState::RowOpen) m_out.TableRowEnd(m_openLevel, m_rowDefs[l]);
        m_out.TableEnd(m_openLevel);
        m_levels[l] = LevelState::None;
        --m_openLevel;
    }
    for (int l = 1; l <= level; ++l) {
        auto i = static_cast<std::size_t>(l);
        if (m_levels[i] != LevelState::RowOpen) {
            m_levels[i] = LevelState::RowOpen;
            m_cellsEnded[i] = 0;
            m_out.TableRowStart(l, m_rowDefs[i]);
        }
    }
    m_openLevel = level;
}

void RtfReader::Impl::EndCell(int level) {
    if (m_state.destination != Destination::Body) return;
    FlushRun();
    EnsureLevel(level);
    ++m_cellsEnded[static_cast<std::size_t>(std::clamp(level, 0, kMaxTableLevel))];
    m_out.TableCellEnd(level, m_state.paragraph);
    m_dirty = true;
}

void RtfReader::Impl::EndRow(int level) {
    if (m_state.destination != Destination::Body && m_state.destination != Destination::RowProperties) return;
    level = std::clamp(level, 1, kMaxTableLevel);
    FlushRun();
    // A row that ends without content of its own still closes deeper tables.
    if (m_openLevel > level) EnsureLevel(level);
    auto i = static_cast<std::size_t>(level);
    if (m_levels[i] == LevelState::RowOpen && m_openLevel >= level) {
        m_out.TableRowEnd(level, m_rowDefs[i]);
        m_levels[i] = LevelState::TableNoRow;
    }
    m_dirty = true;
}

}  // namespace Norik
