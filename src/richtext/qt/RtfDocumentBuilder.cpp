#include "richtext/qt/RtfDocumentBuilder.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextOption>
#include <QTextTable>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "richtext/RtfLinks.h"

namespace Norik {

namespace {

// Screen pixels at 96 dpi: 15 twips each.
qreal Pixels(int twips) { return twips / 15.0; }

// Pictures are judged by the size their header states before anything is decoded: one larger than
// kMaxPicturePixels, or one that would take the document's decoded pictures past
// kMaxDocumentPicturePixels, shows as an empty frame of its size instead. Every pixel is counted at
// four bytes, as most pictures decode: the document's pictures hold 256 MB at most.
constexpr qint64 kMaxPicturePixels = qint64{24} * 1000 * 1000;
constexpr qint64 kMaxDocumentPicturePixels = qint64{64} * 1024 * 1024;
// The image reader's own bound on one allocation, in megabytes: past the largest picture decoded,
// so that a header the size check misread cannot take more.
constexpr int kImageAllocationLimitMegabytes = static_cast<int>(kMaxPicturePixels * 4 / (qint64{1024} * 1024)) + 1;

// Laying a block out is one step the window waits for, and so is a whole table. A paragraph longer
// than kMaxBlockLength characters goes on in a new block (at the first break between words past
// that length), and a word longer than kMaxWordLength characters gets a zero-width space after
// each kMaxWordLength characters, so that a line is found without reading the rest of the word.
// A row of a table has at most kMaxTableColumns cells: the cells after that join the last one.
constexpr qsizetype kMaxBlockLength = qsizetype{16} * 1024;
constexpr qsizetype kMaxWordLength = 512;
constexpr int kMaxTableColumns = 64;
// A table is laid out whole in one step on the window's thread, a few tenths of a millisecond a
// cell; a long table therefore goes on in a new table of its own columns once the one it is in holds
// kTableCellsPerPiece cells. The cut waits for a row that continues no cell merged from above, unless
// the piece has grown to four times that.
constexpr int kTableCellsPerPiece = 96;
const QChar kZeroWidthSpace(0x200B);

// The characters after which a line may break in a long paragraph (a zero-width space, too).
bool IsWordBreak(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == kZeroWidthSpace || c == QChar::LineSeparator;
}

// The colour of link text that has no colour of its own.
const QColor kLinkColor(0, 0, 255);

// Cell edges closer than this are the same column edge (writers round differently per row).
constexpr int kEdgeTolerance = 20;

Qt::Alignment QtAlignment(Alignment a) {
    switch (a) {
        case Alignment::Center:
            return Qt::AlignHCenter;
        case Alignment::Right:
            return Qt::AlignRight;
        case Alignment::Justify:
            return Qt::AlignJustify;
        case Alignment::Left:
            break;
    }
    return Qt::AlignLeft;
}

// The stops of a paragraph as the layout takes them. The layout counts a tab position from the
// start of each line, RTF from the left edge of the text column, so positions are moved to
// count from the start of the first line (where tabbed signature and date lines stand); stops
// at or before that start cannot be reached and are left out. A hanging first line (a list
// number before the text) also tabs to the left indent, as word processors do, unless an
// explicit stop comes first. Leaders have no counterpart in the layout and are not drawn.
QList<QTextOption::Tab> TabPositions(const ParagraphFormat& p) {
    QList<QTextOption::Tab> tabs;
    const int lineStart = p.leftIndent + p.firstIndent;
    auto firstReachable =
        std::find_if(p.tabs.begin(), p.tabs.end(), [&](const TabStop& t) { return t.position > lineStart; });
    if (p.firstIndent < 0 && (firstReachable == p.tabs.end() || firstReachable->position > p.leftIndent)) {
        tabs.append(QTextOption::Tab(Pixels(-p.firstIndent), QTextOption::LeftTab));
    }
    for (const TabStop& stop : p.tabs) {
        const int position = stop.position - lineStart;
        if (position <= 0) continue;
        switch (stop.kind) {
            case TabKind::Left:
                tabs.append(QTextOption::Tab(Pixels(position), QTextOption::LeftTab));
                break;
            case TabKind::Right:
                tabs.append(QTextOption::Tab(Pixels(position), QTextOption::RightTab));
                break;
            case TabKind::Center:
                tabs.append(QTextOption::Tab(Pixels(position), QTextOption::CenterTab));
                break;
            // Russian texts write the decimal comma.
            case TabKind::Decimal:
                tabs.append(QTextOption::Tab(Pixels(position), QTextOption::DelimiterTab, QLatin1Char(',')));
                break;
        }
    }
    return tabs;
}

// Block property: which sides of the paragraph have a border (bit 0 top, 1 bottom, 2 left, 3 right).
constexpr int kParagraphBordersProperty = QTextFormat::UserProperty + 2;

int BorderSides(const ParagraphFormat& p) {
    return (p.top.present ? 1 : 0) | (p.bottom.present ? 2 : 0) | (p.left.present ? 4 : 0) | (p.right.present ? 8 : 0);
}

// Paragraph borders are drawn as a rule across the paragraph's width below its text: a bottom
// border below the paragraph, a top border below the paragraph before it (in the same frame).
// Neighbouring paragraphs with the same borders form one group, with no rule between them. A
// shaded paragraph gets no rule: the layout draws a rule instead of the shading, in its colour.
void SetRule(QTextBlockFormat& format, bool on) {
    if (on) {
        format.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                           QTextLength(QTextLength::PercentageLength, 100));
    } else {
        format.clearProperty(QTextFormat::BlockTrailingHorizontalRulerWidth);
    }
}

// A cell border's width in pixels: at least one for the thinnest line, none without a border.
qreal BorderWidth(const Border& b) { return b.present ? std::max<qreal>(1.0, std::round(Pixels(b.width))) : 0.0; }

QTextFrameFormat::BorderStyle BorderStyleOf(const Border& b) {
    return b.present ? QTextFrameFormat::BorderStyle_Solid : QTextFrameFormat::BorderStyle_None;
}

// Whether a top-level table has cells enough that the row starts a new piece of it.
bool PieceIsFull(const QTextTable& table, const RowFormat& row) {
    const int cells = table.rows() * table.columns();
    if (cells < kTableCellsPerPiece) return false;
    const bool continuesMerge = std::any_of(row.cells.begin(), row.cells.end(), [](const CellFormat& c) {
        return c.verticalMerge == VerticalMerge::Continue;
    });
    return !continuesMerge || cells >= 4 * kTableCellsPerPiece;
}

}  // namespace

struct RtfDocumentBuilder::TableContext {
    QTextTable* table = nullptr;
    int row = -1;
    std::size_t cell = 0;          // index of the current cell in the row
    std::vector<int> edges;        // right edges of the table's columns, ascending
    std::vector<int> cellColumns;  // first column of each cell of the current row
    bool pendingAdvance = false;   // the current cell ended; the next content goes to the next
};

RtfDocumentBuilder::RtfDocumentBuilder(QTextDocument* document) : m_document(document), m_cursor(document) {
    m_document->setUndoRedoEnabled(false);
    m_cursor.beginEditBlock();
    m_frameFirstBlock = m_cursor.block();
}

RtfDocumentBuilder::~RtfDocumentBuilder() { Close(); }

void RtfDocumentBuilder::Close() {
    if (m_closed) return;
    m_closed = true;
    m_cursor.endEditBlock();
}

const QTextCharFormat& RtfDocumentBuilder::QtFormat(const CharFormat& f) {
    if (m_formatValid && f == m_lastFormat) return m_lastQtFormat;
    QTextCharFormat q;
    if (f.bold) q.setFontWeight(QFont::Bold);
    if (f.italic) q.setFontItalic(true);
    if (f.strike) q.setFontStrikeOut(true);
    switch (f.underline) {
        case Underline::None:
            break;
        case Underline::Dotted:
            q.setUnderlineStyle(QTextCharFormat::DotLine);
            break;
        case Underline::Dashed:
            q.setUnderlineStyle(QTextCharFormat::DashUnderline);
            break;
        case Underline::Wave:
            q.setUnderlineStyle(QTextCharFormat::WaveUnderline);
            break;
        default:
            q.setUnderlineStyle(QTextCharFormat::SingleUnderline);
            break;
    }
    if (f.vertical == VerticalPosition::Superscript) q.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    if (f.vertical == VerticalPosition::Subscript) q.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (f.caps) q.setFontCapitalization(QFont::AllUppercase);
    if (f.smallCaps) q.setFontCapitalization(QFont::SmallCaps);
    q.setFontPointSize(f.fontSize / 2.0);
    if (!f.fontName.empty()) {
        q.setFontFamilies(QStringList{QString::fromUtf8(f.fontName.data(), static_cast<qsizetype>(f.fontName.size()))});
    }
    if (f.color != kAutoColor) q.setForeground(QColor(QRgb(f.color)));
    if (f.background != kAutoColor) q.setBackground(QColor(QRgb(f.background)));
    if (m_inLink) {
        // A link looks like one whatever its runs say: underlined, in the link colour unless the
        // writer gave the text a colour of its own.
        q.setAnchor(true);
        q.setAnchorHref(m_linkTarget);
        if (f.underline == Underline::None) q.setUnderlineStyle(QTextCharFormat::SingleUnderline);
        if (f.color == kAutoColor) q.setForeground(kLinkColor);
    }
    m_lastFormat = f;
    m_lastQtFormat = q;
    m_formatValid = true;
    return m_lastQtFormat;
}

void RtfDocumentBuilder::ApplyBlockFormat(const ParagraphFormat& p) {
    QTextBlockFormat b;
    b.setAlignment(QtAlignment(p.alignment));
    b.setLeftMargin(Pixels(p.leftIndent));
    b.setRightMargin(Pixels(p.rightIndent));
    b.setTextIndent(Pixels(p.firstIndent));
    if (p.firstIndent < 0 || !p.tabs.empty()) b.setTabPositions(TabPositions(p));
    b.setTopMargin(Pixels(p.spaceBefore));
    b.setBottomMargin(Pixels(p.spaceAfter));
    if (p.lineSpacing != 0) {
        if (p.lineMultiple) {
            b.setLineHeight(p.lineSpacing * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
        } else if (p.lineSpacing > 0) {
            b.setLineHeight(Pixels(p.lineSpacing), QTextBlockFormat::MinimumHeight);
        } else {
            b.setLineHeight(Pixels(-p.lineSpacing), QTextBlockFormat::FixedHeight);
        }
    }
    if (p.keepTogether) b.setNonBreakableLines(true);
    if (p.pageBreakBefore || m_pageBreakPending) b.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    m_pageBreakPending = false;
    if (p.shading != kAutoColor) b.setBackground(QColor(QRgb(p.shading)));
    QTextBlock first = m_cursor.block();
    for (int i = 0; i < m_continuations && first.previous().isValid(); ++i) first = first.previous();
    ApplyBorders(p, b, first);
    if (m_continuations == 0) {
        m_cursor.setBlockFormat(b);
        return;
    }
    // A paragraph continued over several blocks: the space before and the first-line indent belong
    // to its first block, the space after and the rule below to its last.
    QTextBlockFormat head = b;
    head.setBottomMargin(0);
    SetRule(head, false);
    QTextBlockFormat tail = b;
    tail.setTopMargin(0);
    tail.setTextIndent(0);
    tail.clearProperty(QTextFormat::PageBreakPolicy);
    QTextBlockFormat middle = tail;
    middle.setBottomMargin(0);
    SetRule(middle, false);
    for (QTextBlock block = first; block.isValid() && block != m_cursor.block(); block = block.next())
        QTextCursor(block).setBlockFormat(block == first ? head : middle);
    m_cursor.setBlockFormat(tail);
}

void RtfDocumentBuilder::ApplyBorders(const ParagraphFormat& p, QTextBlockFormat& b, const QTextBlock& first) {
    const int sides = BorderSides(p);
    if (sides == 0) return;
    b.setProperty(kParagraphBordersProperty, sides);
    if (p.bottom.present && p.shading == kAutoColor) SetRule(b, true);
    // The first block of a cell, or after a table, has no neighbour above it in its frame.
    if (first == m_frameFirstBlock) return;
    const QTextBlock previous = first.previous();
    if (!previous.isValid()) return;
    QTextBlockFormat before = previous.blockFormat();
    const bool grouped = before.intProperty(kParagraphBordersProperty) == sides;
    if (grouped && p.bottom.present) {
        SetRule(before, false);
    } else if (!grouped && p.top.present && !before.hasProperty(QTextFormat::BackgroundBrush)) {
        SetRule(before, true);
    } else {
        return;
    }
    QTextCursor(previous).setBlockFormat(before);
}

void RtfDocumentBuilder::EnterPendingCell() {
    if (m_tables.empty()) return;
    TableContext& t = m_tables.back();
    if (!t.pendingAdvance) return;
    t.pendingAdvance = false;
    if (t.cell >= t.cellColumns.size()) {
        // More cells than the row defined: the row grows by a column, up to the most a table has.
        const QTextTableCell last = t.table->cellAt(t.row, t.cellColumns.back());
        const int next = last.column() + last.columnSpan();
        if (static_cast<int>(t.cellColumns.size()) >= kMaxTableColumns || next >= kMaxTableColumns) {
            // The rest of the row's cells go on in its last cell.
            m_cursor = last.lastCursorPosition();
            m_blockPending = false;
            m_frameFirstBlock = last.firstCursorPosition().block();
            StartParagraph();
            m_blockLength = m_cursor.block().length() - 1;
            m_separatorPending = m_blockLength > 0;
            return;
        }
        if (next >= t.table->columns()) t.table->appendColumns(1);
        t.cellColumns.push_back(std::min(next, t.table->columns() - 1));
    }
    m_cursor = t.table->cellAt(t.row, t.cellColumns[t.cell]).firstCursorPosition();
    m_blockPending = false;
    m_frameFirstBlock = m_cursor.block();
    StartParagraph();
}

void RtfDocumentBuilder::OpenBlock() {
    EnterPendingCell();
    if (!m_blockPending) return;
    m_blockPending = false;
    m_cursor.insertBlock();
    StartParagraph();
}

void RtfDocumentBuilder::StartParagraph() {
    m_blockLength = 0;
    m_wordLength = 0;
    m_continuations = 0;
    m_separatorPending = false;
}

void RtfDocumentBuilder::InsertBoundedText(const QString& text, const QTextCharFormat& format) {
    // The text goes in as runs between the places where a block is continued or a break is added.
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        // The two halves of a surrogate pair stay together.
        const bool canBreakBefore = !c.isLowSurrogate();
        const bool wordTooLong = canBreakBefore && !IsWordBreak(c) && m_wordLength >= kMaxWordLength;
        const bool atBreak = m_wordLength == 0 || wordTooLong;
        if (canBreakBefore && m_blockLength >= kMaxBlockLength && (atBreak || m_blockLength >= 2 * kMaxBlockLength)) {
            m_cursor.insertText(text.mid(runStart, i - runStart), format);
            runStart = i;
            m_cursor.insertBlock();
            const int continuations = m_continuations + 1;
            StartParagraph();
            m_continuations = continuations;
        } else if (wordTooLong) {
            m_cursor.insertText(text.mid(runStart, i - runStart) + kZeroWidthSpace, format);
            runStart = i;
            ++m_blockLength;
            m_wordLength = 0;
        }
        ++m_blockLength;
        m_wordLength = IsWordBreak(c) ? 0 : m_wordLength + 1;
    }
    m_cursor.insertText(runStart == 0 ? text : text.mid(runStart), format);
}

void RtfDocumentBuilder::Text(std::string_view utf8, const CharFormat& format) {
    OpenBlock();
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    if (m_separatorPending) {
        m_separatorPending = false;
        text.prepend(QLatin1Char(' '));
    }
    InsertBoundedText(text, QtFormat(format));
}

void RtfDocumentBuilder::ParagraphEnd(const ParagraphFormat& format) {
    OpenBlock();
    ApplyBlockFormat(format);
    m_blockPending = true;
}

void RtfDocumentBuilder::LineBreak() {
    OpenBlock();
    m_cursor.insertText(QString(QChar::LineSeparator));
    ++m_blockLength;
    m_wordLength = 0;
}

void RtfDocumentBuilder::PageBreak(const ParagraphFormat& format) {
    ParagraphEnd(format);
    m_pageBreakPending = true;
}

void RtfDocumentBuilder::TableRowStart(int level, const RowFormat& row) {
    EnterPendingCell();
    // A new table goes right after the paragraph that ended before it.
    m_blockPending = false;
    // A row of a level with no table yet starts one; levels deeper than that are closed already.
    while (static_cast<int>(m_tables.size()) >= level + 1) TableEnd(static_cast<int>(m_tables.size()));
    // A new piece of a long table overlaps the one before by the lines they both draw at the cut,
    // so that the cut shows as the one line a single table would draw.
    bool continuesTable = false;
    if (level == 1 && m_tables.size() == 1 && PieceIsFull(*m_tables.front().table, row)) {
        TableEnd(1);
        continuesTable = true;
    }

    // Cells past the most a table has join the last one, which reaches to the row's right edge.
    std::vector<CellFormat> cells(
        row.cells.begin(),
        row.cells.begin() + std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(row.cells.size()), kMaxTableColumns));
    for (std::size_t i = cells.size(); i < row.cells.size(); ++i)
        cells.back().rightBoundary = std::max(cells.back().rightBoundary, row.cells[i].rightBoundary);
    std::vector<int> rowEdges;
    rowEdges.reserve(cells.size());
    for (const CellFormat& c : cells) rowEdges.push_back(c.rightBoundary);

    if (static_cast<int>(m_tables.size()) < level) {
        TableContext t;
        for (int e : rowEdges) {
            if (t.edges.empty() || e > t.edges.back() + kEdgeTolerance) t.edges.push_back(e);
        }
        int columns = std::max<int>(1, static_cast<int>(t.edges.empty() ? 1 : t.edges.size()));
        QTextTableFormat tf;
        tf.setCellPadding(2);
        tf.setCellSpacing(0);
        tf.setBorderCollapse(true);
        bool borders = std::any_of(cells.begin(), cells.end(), [](const CellFormat& c) {
            return c.top.present || c.bottom.present || c.left.present || c.right.present;
        });
        tf.setBorder(borders ? 1 : 0);
        tf.setBorderStyle(borders ? QTextFrameFormat::BorderStyle_Solid : QTextFrameFormat::BorderStyle_None);
        if (continuesTable && borders) {
            qreal top = 0;
            for (const CellFormat& c : cells) top = std::max(top, BorderWidth(c.top));
            tf.setTopMargin(-2 * (tf.border() + top));
        }
        tf.setAlignment(QtAlignment(row.alignment));
        if (row.left > 0) tf.setLeftMargin(Pixels(row.left));
        if (!t.edges.empty()) {
            QList<QTextLength> widths;
            int previous = row.left;
            for (int e : t.edges) {
                widths.append(QTextLength(QTextLength::FixedLength, Pixels(std::max(e - previous, 15))));
                previous = e;
            }
            tf.setColumnWidthConstraints(widths);
        }
        t.table = m_cursor.insertTable(1, columns, tf);
        t.row = 0;
        m_tables.push_back(std::move(t));
    } else {
        TableContext& t = m_tables[static_cast<std::size_t>(level - 1)];
        // Column edges this row adds split existing columns; cells of earlier rows that covered the
        // split column keep covering both halves.
        for (int e : rowEdges) {
            auto it =
                std::find_if(t.edges.begin(), t.edges.end(), [e](int x) { return std::abs(x - e) <= kEdgeTolerance; });
            // Past the most columns a table has, an edge no column has is left out.
            if (it != t.edges.end() || static_cast<int>(t.edges.size()) >= kMaxTableColumns) continue;
            auto pos = std::upper_bound(t.edges.begin(), t.edges.end(), e);
            int index = static_cast<int>(pos - t.edges.begin());
            t.edges.insert(pos, e);
            if (index >= t.table->columns()) {
                t.table->appendColumns(1);
                continue;
            }
            t.table->insertColumns(index + 1, 1);
            for (int r = 0; r <= t.row; ++r) {
                QTextTableCell c = t.table->cellAt(r, index);
                if (c.row() == r && c.column() <= index)
                    t.table->mergeCells(r, c.column(), c.rowSpan(), c.columnSpan() + 1);
            }
        }
        t.table->appendRows(1);
        t.row = t.table->rows() - 1;
    }

    TableContext& t = m_tables[static_cast<std::size_t>(level - 1)];
    t.cell = 0;
    t.pendingAdvance = false;
    t.cellColumns.clear();
    // Each cell covers the columns between its left and right edge.
    int column = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const CellFormat& c = cells[i];
        if (c.mergedWithPrevious && i > 0) {
            t.cellColumns.push_back(t.cellColumns.back());
            int first = t.cellColumns.back();
            int last = column - 1;
            while (column < static_cast<int>(t.edges.size()) &&
                   t.edges[static_cast<std::size_t>(column)] <= c.rightBoundary + kEdgeTolerance) {
                last = column++;
            }
            if (last > first) t.table->mergeCells(t.row, first, 1, last - first + 1);
            continue;
        }
        if (column >= kMaxTableColumns) break;  // the rest join the last cell
        if (column >= t.table->columns()) t.table->appendColumns(1);
        int first = column;
        int last = column;
        while (column < static_cast<int>(t.edges.size()) &&
               t.edges[static_cast<std::size_t>(column)] <= c.rightBoundary + kEdgeTolerance) {
            last = column++;
        }
        if (column == first) ++column;  // an edge out of order: the cell takes one column
        t.cellColumns.push_back(first);
        if (last > first) t.table->mergeCells(t.row, first, 1, last - first + 1);

        QTextTableCellFormat cf;
        if (c.shading != kAutoColor) cf.setBackground(QColor(QRgb(c.shading)));
        if (c.verticalAlignment == CellAlignment::Center) cf.setVerticalAlignment(QTextCharFormat::AlignMiddle);
        if (c.verticalAlignment == CellAlignment::Bottom) cf.setVerticalAlignment(QTextCharFormat::AlignBottom);
        cf.setTopBorderStyle(BorderStyleOf(c.top));
        cf.setBottomBorderStyle(BorderStyleOf(c.bottom));
        cf.setLeftBorderStyle(BorderStyleOf(c.left));
        cf.setRightBorderStyle(BorderStyleOf(c.right));
        // Every side gets a width, 0 without a border: where borders collapse the wider one is
        // drawn, and a side left unset would take the table's width and hide its neighbour's line.
        cf.setTopBorder(BorderWidth(c.top));
        cf.setBottomBorder(BorderWidth(c.bottom));
        cf.setLeftBorder(BorderWidth(c.left));
        cf.setRightBorder(BorderWidth(c.right));
        if (c.top.present && c.top.color != kAutoColor) cf.setTopBorderBrush(QColor(QRgb(c.top.color)));
        if (c.bottom.present && c.bottom.color != kAutoColor) cf.setBottomBorderBrush(QColor(QRgb(c.bottom.color)));
        if (c.left.present && c.left.color != kAutoColor) cf.setLeftBorderBrush(QColor(QRgb(c.left.color)));
        if (c.right.present && c.right.color != kAutoColor) cf.setRightBorderBrush(QColor(QRgb(c.right.color)));
        t.table->cellAt(t.row, first).setFormat(cf);
    }
    if (t.cellColumns.empty()) t.cellColumns.push_back(0);
    m_cursor = t.table->cellAt(t.row, t.cellColumns[0]).firstCursorPosition();
    m_blockPending = false;
    m_frameFirstBlock = m_cursor.block();
    StartParagraph();
}

void RtfDocumentBuilder::TableCellEnd(int level, const ParagraphFormat& lastParagraph) {
    if (static_cast<int>(m_tables.size()) < level) return;
    // A paragraph ended just before the cell end leaves an empty last paragraph in the cell.
    OpenBlock();
    ApplyBlockFormat(lastParagraph);
    TableContext& t = m_tables[static_cast<std::size_t>(level - 1)];
    ++t.cell;
    t.pendingAdvance = true;
}

void RtfDocumentBuilder::TableRowEnd(int level, const RowFormat& row) {
    if (static_cast<int>(m_tables.size()) < level) return;
    TableContext& t = m_tables[static_cast<std::size_t>(level - 1)];
    t.pendingAdvance = false;
    // Vertical merges: a continuing cell joins the cell above it.
    for (std::size_t i = 0; i < row.cells.size() && i < t.cellColumns.size(); ++i) {
        if (row.cells[i].verticalMerge != VerticalMerge::Continue || t.row == 0) continue;
        QTextTableCell above = t.table->cellAt(t.row - 1, t.cellColumns[i]);
        if (!above.isValid()) continue;
        QTextTableCell here = t.table->cellAt(t.row, t.cellColumns[i]);
        int span = std::max(above.columnSpan(), here.columnSpan());
        t.table->mergeCells(above.row(), above.column(), t.row - above.row() + 1, span);
    }
}

void RtfDocumentBuilder::TableEnd(int level) {
    if (level < 1 || static_cast<int>(m_tables.size()) < level) return;
    QTextTable* table = m_tables[static_cast<std::size_t>(level - 1)].table;
    m_tables.resize(static_cast<std::size_t>(level - 1));
    // The block right after the table.
    m_cursor = table->lastCursorPosition();
    m_cursor.movePosition(QTextCursor::NextBlock);
    m_blockPending = false;
    m_frameFirstBlock = m_cursor.block();
    StartParagraph();
}

QImage RtfDocumentBuilder::DecodePicture(const PictureInfo& info, std::string_view data, QSize& statedSize) {
    if ((info.format != PictureFormat::Png && info.format != PictureFormat::Jpeg) || data.empty()) return {};
    // Set once for the process: the reader refuses allocations past it whatever the caller checked.
    static const bool limited = [] {
        QImageReader::setAllocationLimit(kImageAllocationLimitMegabytes);
        return true;
    }();
    (void)limited;
    QByteArray bytes = QByteArray::fromRawData(data.data(), static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, info.format == PictureFormat::Png ? "png" : "jpeg");
    const QSize size = reader.size();
    if (!size.isValid()) return {};
    statedSize = size;
    const qint64 pixels = static_cast<qint64>(size.width()) * size.height();
    if (pixels > kMaxPicturePixels || m_picturePixels + pixels > kMaxDocumentPicturePixels) return {};
    // Counted whether or not it decodes: the decoder may take the memory before it fails.
    m_picturePixels += pixels;
    return reader.read();
}

void RtfDocumentBuilder::Picture(const PictureInfo& info, std::string_view data) {
    OpenBlock();
    QSize statedSize;
    const QImage image = DecodePicture(info, data, statedSize);
    qreal width = Pixels(info.displayWidth());
    qreal height = Pixels(info.displayHeight());
    // Without a size of its own in the text, a picture takes the size it has; a frame in its place
    // the size its header states, within the bound of a stated size.
    if (!image.isNull()) {
        if (width <= 0) width = image.width();
        if (height <= 0) height = image.height();
    } else {
        const qreal largest = Pixels(kMaxPictureTwips);
        if (width <= 0) width = std::min<qreal>(statedSize.width(), largest);
        if (height <= 0) height = std::min<qreal>(statedSize.height(), largest);
    }
    QUrl name;
    if (image.isNull()) {
        // Formats we do not draw take their place as an empty frame.
        name = QUrl(QStringLiteral("norik-picture:empty"));
        if (m_document->resource(QTextDocument::ImageResource, name).isNull()) {
            QImage blank(1, 1, QImage::Format_ARGB32);
            blank.fill(Qt::transparent);
            m_document->addResource(QTextDocument::ImageResource, name, blank);
        }
    } else {
        name = QUrl(QStringLiteral("norik-picture:%1").arg(++m_pictureCount));
        m_document->addResource(QTextDocument::ImageResource, name, image);
    }
    QTextImageFormat f;
    f.setName(name.toString());
    f.setWidth(width);
    f.setHeight(height);
    m_cursor.insertImage(f);
    ++m_blockLength;
    m_wordLength = 0;
}

void RtfDocumentBuilder::LinkStart(std::string_view target) {
    OpenBlock();
    m_inLink = true;
    m_formatValid = false;
    m_linkTarget = QString::fromUtf8(target.data(), static_cast<qsizetype>(target.size()));
    m_linkStart = m_cursor.position();
}

void RtfDocumentBuilder::LinkEnd() {
    if (!m_inLink) return;
    m_inLink = false;
    m_formatValid = false;
    QTextCursor link(m_document);
    link.setPosition(m_linkStart);
    link.setPosition(m_cursor.position(), QTextCursor::KeepAnchor);
    const QString text = link.selectedText();
    QTextCharFormat extra;
    bool changed = false;
    if (m_linkTarget.isEmpty()) {
        extra.setAnchorHref(text);
        changed = true;
    }
    if (auto number = LinkDocumentNumber(m_linkTarget.toStdString(), text.toStdString())) {
        extra.setProperty(kLinkDocumentNumberProperty, *number);
        changed = true;
    }
    if (changed && link.hasSelection()) link.mergeCharFormat(extra);
}

void RtfDocumentBuilder::DocumentEnd(const ParagraphFormat& lastParagraph) {
    EnterPendingCell();
    // A document ending with a paragraph end has no empty paragraph after it.
    if (!m_blockPending) ApplyBlockFormat(lastParagraph);
}

std::unique_ptr<QTextDocument> BuildTextDocument(std::string_view rtf) {
    auto document = std::make_unique<QTextDocument>();
    RtfDocumentBuilder builder(document.get());
    ReadRtf(rtf, builder);
    builder.Close();
    return document;
}

RtfDocumentLoader::RtfDocumentLoader()
    : m_document(std::make_unique<QTextDocument>()),
      m_builder(std::make_unique<RtfDocumentBuilder>(m_document.get())),
      m_outline(std::make_unique<DocumentOutlineFinder>(m_builder.get(), [this] { return m_builder->position(); })),
      m_reader(std::make_unique<RtfReader>(*m_outline)) {}

RtfDocumentLoader::~RtfDocumentLoader() = default;

void RtfDocumentLoader::Feed(std::string_view chunk) {
    if (m_reader) m_reader->Feed(chunk);
}

std::unique_ptr<QTextDocument> RtfDocumentLoader::TakeDocument() {
    if (m_reader) {
        m_reader->Finish();
        m_builder->Close();
        m_reader.reset();
        m_found = m_outline->Take();
        m_outline.reset();
        m_builder.reset();
    }
    return std::move(m_document);
}

DocumentOutline RtfDocumentLoader::TakeOutline() { return std::move(m_found); }

std::optional<LinkInfo> LinkAt(const QTextDocument& document, int position) {
    QTextBlock block = document.findBlock(position);
    if (!block.isValid()) return std::nullopt;
    // The fragments of the block, to find the run of link fragments around the position.
    std::vector<QTextFragment> fragments;
    for (auto it = block.begin(); !it.atEnd(); ++it) fragments.push_back(it.fragment());
    std::size_t hit = fragments.size();
    for (std::size_t i = 0; i < fragments.size(); ++i) {
        const QTextFragment& f = fragments[i];
        if (position >= f.position() && position < f.position() + f.length()) hit = i;
    }
    if (hit == fragments.size() || !fragments[hit].charFormat().isAnchor()) return std::nullopt;
    const QTextCharFormat format = fragments[hit].charFormat();
    auto sameLink = [&](const QTextFragment& f) {
        QTextCharFormat c = f.charFormat();
        return c.isAnchor() && c.anchorHref() == format.anchorHref() &&
               c.property(kLinkDocumentNumberProperty) == format.property(kLinkDocumentNumberProperty);
    };
    std::size_t first = hit;
    while (first > 0 && sameLink(fragments[first - 1])) --first;
    std::size_t last = hit;
    while (last + 1 < fragments.size() && sameLink(fragments[last + 1])) ++last;
    LinkInfo info;
    info.target = format.anchorHref();
    for (std::size_t i = first; i <= last; ++i) info.text += fragments[i].text();
    QVariant number = format.property(kLinkDocumentNumberProperty);
    if (number.isValid()) {
        info.documentNumber = number.toInt();
    } else {
        info.documentNumber = LinkDocumentNumber(info.target.toStdString(), info.text.toStdString());
    }
    return info;
}

}  // namespace Norik
