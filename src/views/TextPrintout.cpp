#include "views/TextPrintout.h"

#include <QAbstractTextDocumentLayout>
#include <QPaintDevice>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace Norik {

namespace {

// Characters copied (and laid out) at a time: a few milliseconds of work, apart from a table,
// which is copied whole.
constexpr int kSliceCharacters = 8 * 1024;
// Blank units between the title and the text, and between the text and the foot of the page.
constexpr qreal kGap = 12;
constexpr int kHeaderLines = 2;
constexpr qreal kFurniturePoints = 9;

QFont FurnitureFont(const QFont& textFont) {
    QFont font = textFont;
    font.setPointSizeF(kFurniturePoints);
    return font;
}

// Lays text out in at most maxLines lines of width; returns their height.
qreal LayOutLines(QTextLayout& layout, qreal width, int maxLines) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (int i = 0; i < maxLines; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

}  // namespace

TextPrintout::TextPrintout(const QTextDocument& source, QString title, QString baseDate)
    : m_source(&source),
      m_title(std::move(title)),
      m_baseDate(std::move(baseDate)),
      m_device(1, 1, QImage::Format_RGB32) {
    const int dotsPerMeter = qRound(kUnitsPerInch / 0.0254);
    m_device.setDotsPerMeterX(dotsPerMeter);
    m_device.setDotsPerMeterY(dotsPerMeter);
}

TextPrintout::~TextPrintout() = default;

qreal TextPrintout::UnitsScale(const QPaintDevice& device) { return device.logicalDpiY() / kUnitsPerInch; }

void TextPrintout::SetPageSize(const QSizeF& printable) {
    if (m_print && printable == m_printable) return;
    m_printable = printable;
    const QFont font = FurnitureFont(m_source ? m_source->defaultFont() : QFont());
    QTextLayout header(m_title, font, &m_device);
    m_headerHeight = (m_title.isEmpty() ? 0 : LayOutLines(header, printable.width(), kHeaderLines)) + kGap;
    QTextLayout footer(FooterText(0), font, &m_device);
    m_footerHeight = kGap + LayOutLines(footer, printable.width(), 1);
    // A page too small for the title and the foot still gets half of it for the text.
    m_bodyHeight = std::max(printable.height() - m_headerHeight - m_footerHeight, printable.height() / 2);
    Restart();
}

void TextPrintout::Restart() {
    m_print = std::make_unique<QTextDocument>();
    m_print->setUndoRedoEnabled(false);
    m_copiedTo = 0;
    m_pageCount = 1;
    m_complete = !m_source;
    if (!m_source) return;
    m_print->setDefaultFont(m_source->defaultFont());
    m_print->setDefaultTextOption(m_source->defaultTextOption());
    m_print->setIndentWidth(m_source->indentWidth());
    // The page margins stand for the window's margins.
    m_print->setDocumentMargin(0);
    // Pictures are the shown document's resources; they are asked for as they are laid out.
    QPointer<const QTextDocument> source = m_source;
    m_print->setResourceProvider([source](const QUrl& name) {
        return source ? source->resource(QTextDocument::ImageResource, name) : QVariant();
    });
    // Set before the text comes, each costs no pass over it.
    m_print->documentLayout()->setPaintDevice(&m_device);
    m_print->setPageSize(QSizeF(m_printable.width(), m_bodyHeight));
    // Each slice brings the formats of its paragraphs along, but the first paragraph's own.
    QTextCursor start(m_print.get());
    const QTextBlock first = m_source->firstBlock();
    start.setBlockFormat(first.blockFormat());
    start.setBlockCharFormat(first.charFormat());
    m_next = m_source->rootFrame()->begin();
}

int TextPrintout::progressMaximum() const { return m_source ? std::max(m_source->characterCount() - 1, 1) : 1; }

bool TextPrintout::CopySlice() {
    if (!m_source || m_next.atEnd()) return false;
    // Whole paragraphs and tables of the top level: a slice from the end of one paragraph (its
    // separator, which carries the next paragraph's format) to the end of another.
    const int from = m_copiedTo;
    int to = from;
    while (!m_next.atEnd() && to - from < kSliceCharacters) {
        if (const QTextFrame* frame = m_next.currentFrame()) {
            to = frame->lastPosition() + 1;
        } else {
            const QTextBlock block = m_next.currentBlock();
            to = block.position() + block.length() - 1;
        }
        ++m_next;
    }
    // The cursor reads the shown text; it changes nothing in it.
    QTextCursor selection(const_cast<QTextDocument*>(m_source.data()));
    selection.setPosition(from);
    selection.setPosition(to, QTextCursor::KeepAnchor);
    QTextCursor end(m_print.get());
    end.movePosition(QTextCursor::End);
    // The layout lays the new part out as it is inserted.
    end.insertFragment(QTextDocumentFragment(selection));
    m_copiedTo = to;
    return true;
}

qreal TextPrintout::LaidOutHeight() const {
    // Asking where the last paragraph is lays everything out down to it.
    return m_print->documentLayout()->blockBoundingRect(m_print->lastBlock()).top();
}

bool TextPrintout::Continue(std::chrono::milliseconds budget) {
    if (m_complete) return true;
    const auto start = std::chrono::steady_clock::now();
    do {
        CopySlice();
        LaidOutHeight();
        if (!m_source || m_next.atEnd()) {
            m_print->documentLayout()->documentSize();  // finishes whatever the slices left
            m_pageCount = std::max(m_print->pageCount(), 1);
            m_complete = true;
            return true;
        }
    } while (std::chrono::steady_clock::now() - start < budget);
    return false;
}

int TextPrintout::readyPages() const {
    if (m_complete) return m_pageCount;
    if (!m_print || m_bodyHeight <= 0) return 0;
    // The pages above the one the last paragraph starts on take nothing more.
    return static_cast<int>(std::floor(LaidOutHeight() / m_bodyHeight));
}

QString TextPrintout::FooterText(int page) const {
    return m_complete ? QStringLiteral("Страница %1 из %2").arg(page + 1).arg(m_pageCount)
                      : QStringLiteral("Страница %1").arg(page + 1);
}

void TextPrintout::PaintPage(QPainter& painter, int page) const {
    const qreal width = m_printable.width();
    const QFont font = FurnitureFont(m_print->defaultFont());
    painter.save();
    painter.setPen(QPen(Qt::black, 0.75));
    if (!m_title.isEmpty()) {
        QTextLayout header(m_title, font, &m_device);
        LayOutLines(header, width, kHeaderLines);
        header.draw(&painter, QPointF(0, 0));
    }
    const qreal rule = m_headerHeight - kGap / 2;
    painter.drawLine(QPointF(0, rule), QPointF(width, rule));

    painter.save();
    const QRectF body(0, page * m_bodyHeight, width, m_bodyHeight);
    painter.translate(0, m_headerHeight - body.top());
    painter.setClipRect(body, Qt::IntersectClip);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = body;
    // Printed black on white, whatever the colours of the desktop.
    context.palette.setColor(QPalette::Text, Qt::black);
    m_print->documentLayout()->draw(&painter, context);
    painter.restore();

    const qreal footerTop = m_headerHeight + m_bodyHeight + kGap;
    QTextLayout number(FooterText(page), font, &m_device);
    LayOutLines(number, width, 1);
    number.draw(&painter, QPointF(0, footerTop));
    QTextLayout date(QStringLiteral("Дата последнего обновления: ") + m_baseDate, font, &m_device);
    LayOutLines(date, width, 1);
    const qreal dateWidth = date.lineCount() > 0 ? date.lineAt(0).naturalTextWidth() : 0;
    date.draw(&painter, QPointF(width - dateWidth, footerTop));
    painter.restore();
}

}  // namespace Norik
