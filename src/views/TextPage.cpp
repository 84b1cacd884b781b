#include "views/TextPage.h"

#include <private/qtextdocumentlayout_p.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <algorithm>
#include <cstdint>

namespace Norik {

namespace {

// The standard layout, which remembers how far it was laid out ahead, and passes over a request
// to lay the whole document out again at the page size it is being prepared for, or, once it is
// told to keep, exactly one such request.
//
// While it is prepared, the standard layout's own timer is held back: left to itself it lays out
// ever longer runs per tick (up to 200,000 characters, a tenth of a second and more), while the
// slices here stay short.
class PreparedLayout : public QTextDocumentLayout {
public:
    explicit PreparedLayout(QTextDocument* text) : QTextDocumentLayout(text) {}

    int preparedTo = 0;
    bool preparing = false;

    // The page the layout was begun for.
    QSizeF page;

    void Keep() {
        m_keeping = true;
        preparing = false;
    }
    void StopKeeping() {
        m_keeping = false;
        preparing = false;
    }

protected:
    void documentChanged(int from, int oldLength, int length) override {
        const bool wholeAgain = from == 0 && oldLength == 0 && length == document()->characterCount();
        // The same page asked for again, while the slices lay it out or once they have: what they
        // laid out holds (a window taking the text asks for its page once more).
        if ((m_keeping || preparing) && wholeAgain && document()->pageSize() == page) {
            m_keeping = false;
            return;
        }
        // Another page asked for by the window (the text edit adjusting its scroll bars): laid out
        // afresh for it, in the slices still, not by the standard layout's ever longer runs.
        const bool anotherPage = wholeAgain && document()->pageSize() != page;
        m_keeping = false;
        preparing = false;
        preparedTo = 0;
        QTextDocumentLayout::documentChanged(from, oldLength, length);
        if (anotherPage) {
            page = document()->pageSize();
            preparing = true;
        }
    }
    void timerEvent(QTimerEvent* event) override {
        if (!preparing) QTextDocumentLayout::timerEvent(event);
    }

private:
    bool m_keeping = false;
};

}  // namespace

void SetTextPageMargins(QTextDocument& text) {
    const qreal horizontal = kTextPageMargin + text.documentMargin();
    QTextFrameFormat format = text.rootFrame()->frameFormat();
    if (format.leftMargin() == horizontal && format.rightMargin() == horizontal) return;
    format.setLeftMargin(horizontal);
    format.setRightMargin(horizontal);
    text.rootFrame()->setFrameFormat(format);
}

void BeginTextPage(QTextDocument& text, int width, QPaintDevice* device) {
    SetTextPageMargins(text);
    // What a text edit sets for a page as wide as its viewport: no page breaks. Set before the
    // layout comes, each change costs one pass over the blocks less; a size the text has already
    // (a new zoom) is not set again, which would cost a pass over every block of the old layout.
    const QSizeF page(width, -1);
    if (text.pageSize() != page) text.setPageSize(page);
    auto* layout = new PreparedLayout(&text);
    layout->setPaintDevice(device);
    text.setDocumentLayout(layout);  // the document owns it; the layout starts afresh
    layout->page = page;
    layout->preparing = true;
}

bool ContinueTextPage(QTextDocument& text, std::chrono::milliseconds budget, int step) {
    auto* layout = dynamic_cast<PreparedLayout*>(text.documentLayout());
    if (!layout) return true;  // never begun: nothing to wait for
    const auto start = std::chrono::steady_clock::now();
    const int end = std::max(text.characterCount() - 1, 0);
    // Laying out down to a block lays out everything before it, and nothing twice. A step ends after
    // step characters or kTextPageStepBlocks blocks, whichever comes first: each cell of a table is a
    // block, and a table costs far more to lay out than plain text of its length.
    do {
        QTextBlock target = text.findBlock(layout->preparedTo);
        for (int i = 0; i < kTextPageStepBlocks && target.next().isValid(); ++i) target = target.next();
        const int byBlocks = std::max(target.position(), layout->preparedTo + 1);
        layout->preparedTo = std::min({layout->preparedTo + std::max(step, 1), byBlocks, end});
        layout->blockBoundingRect(text.findBlock(layout->preparedTo));
    } while (layout->preparedTo < end && std::chrono::steady_clock::now() - start < budget);
    if (layout->preparedTo < end) return false;
    layout->documentSize();  // finishes whatever the steps left
    layout->Keep();
    return true;
}

int PreparedPercent(const QTextDocument& text) {
    const auto* layout = dynamic_cast<const PreparedLayout*>(text.documentLayout());
    const int end = std::max(text.characterCount() - 1, 0);
    if (!layout || end == 0) return 100;
    return static_cast<int>(std::int64_t{layout->preparedTo} * 100 / end);
}

int PreparedCharacters(const QTextDocument& text) {
    const auto* layout = dynamic_cast<const PreparedLayout*>(text.documentLayout());
    // Counted by the slices alone: a fresh layout the window asked for in between (another width)
    // starts the count again rather than passing for a finished one.
    return layout ? layout->preparedTo : std::max(text.characterCount() - 1, 0);
}

void AnnounceLaidOutSize(QTextDocument& text) {
    // The laid-out size, without finishing the layout as documentSize would.
    if (auto* layout = qobject_cast<QTextDocumentLayout*>(text.documentLayout()))
        emit layout->documentSizeChanged(layout->dynamicDocumentSize());
}

void EndKeepingPreparedPage(QTextDocument& text) {
    if (auto* layout = dynamic_cast<PreparedLayout*>(text.documentLayout())) layout->StopKeeping();
}

}  // namespace Norik
