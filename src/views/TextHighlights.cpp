#include "views/TextHighlights.h"

#include <QColor>
#include <QRect>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "diagnostics/CrashReport.h"

namespace Norik {

namespace {

// The worker looks at this many characters at a time, cut after a line end or a blank so that no
// word is split; a stop is seen between slices.
constexpr std::size_t kSlice = std::size_t{1} << 20;

// The view carries marks for the matches this many characters around the part on screen, so that
// a long text with tens of thousands of matches never makes the view work out every one of them.
constexpr std::size_t kMarkedMargin = 20000;

std::size_t SliceEnd(const std::u16string& text, std::size_t start) {
    std::size_t end = std::min(text.size(), start + kSlice);
    while (end < text.size() && text[end] != u'\n' && text[end] != u' ' && text[end] != QChar::ParagraphSeparator)
        ++end;
    return end;
}

}  // namespace

struct TextHighlights::Search {
    std::atomic<bool> stopped{false};
    std::mutex mutex;
    std::vector<std::pair<std::size_t, std::size_t>> found;
    bool done = false;
};

TextHighlights::TextHighlights(QTextEdit& view, const QString& query, QObject* parent)
    : QObject(parent), m_view(view), m_matcher(query.toStdString()) {
    // The marks follow the part of the text on screen: moved once the scrolling settles.
    m_remark.setSingleShot(true);
    m_remark.setInterval(0);
    connect(&m_remark, &QTimer::timeout, this, &TextHighlights::MarkVisible);
    const auto remark = [this] {
        if (m_complete) m_remark.start();
    };
    connect(m_view.verticalScrollBar(), &QScrollBar::valueChanged, this, remark);
    connect(m_view.verticalScrollBar(), &QScrollBar::rangeChanged, this, remark);
    // A caret moved by hand onto a match or off it changes the current one.
    connect(&m_view, &QTextEdit::cursorPositionChanged, this, [this] {
        const int was = m_current;
        m_current = MatchAtCaret();
        if (m_current != was) emit changed();
    });
}

int TextHighlights::MatchAtCaret() const {
    const QTextCursor caret = m_view.textCursor();
    if (!caret.hasSelection()) return -1;
    const auto start = static_cast<std::size_t>(caret.selectionStart());
    const auto at = std::lower_bound(m_matches.begin(), m_matches.end(), start,
                                     [](const auto& match, std::size_t position) { return match.first < position; });
    if (at == m_matches.end() || at->first != start || at->second != static_cast<std::size_t>(caret.selectionEnd()))
        return -1;
    return static_cast<int>(at - m_matches.begin());
}

TextHighlights::~TextHighlights() { StopSearch(); }

bool TextHighlights::hasWords() const { return !m_matcher.empty(); }

void TextHighlights::StopSearch() {
    if (m_search) m_search->stopped = true;
    if (m_worker.joinable()) m_worker.join();
    m_search.reset();
}

void TextHighlights::Apply() {
    StopSearch();
    m_complete = false;
    if (m_matcher.empty()) return;
    m_caretAtApply = m_view.textCursor().selectionStart();
    // The characters as the view's positions count them: one per position, paragraph ends and
    // table marks included.
    const QString raw = m_view.document()->toRawText();
    std::u16string text(reinterpret_cast<const char16_t*>(raw.utf16()), static_cast<std::size_t>(raw.size()));
    auto search = std::make_shared<Search>();
    m_search = search;
    m_worker = std::thread([this, search, text = std::move(text), matcher = m_matcher] {
        const ThreadSignalStack signalStack;
        std::vector<std::pair<std::size_t, std::size_t>> found;
        for (std::size_t start = 0; start < text.size() && !search->stopped;) {
            const std::size_t end = SliceEnd(text, start);
            for (const auto& [begin, stop] : matcher.FindAll(std::u16string_view(text).substr(start, end - start)))
                found.emplace_back(start + begin, start + stop);
            start = end;
        }
        if (search->stopped) return;
        {
            const std::lock_guard lock(search->mutex);
            search->found = std::move(found);
            search->done = true;
        }
        // The object waits for this thread before it goes, so it is there for the call; the
        // call is dropped if it goes before the call is delivered.
        QMetaObject::invokeMethod(this, "Deliver", Qt::QueuedConnection);
    });
}

void TextHighlights::Deliver() {
    if (!m_search) return;
    {
        const std::lock_guard lock(m_search->mutex);
        if (!m_search->done) return;
        m_matches = std::move(m_search->found);
    }
    if (m_worker.joinable()) m_worker.join();
    m_search.reset();
    MarkVisible();
    m_complete = true;
    m_current = -1;
    const QTextCursor caret = m_view.textCursor();
    // The user moved while the words were looked for: the place is theirs.
    if (caret.selectionStart() != m_caretAtApply) m_placed = true;
    if (!m_placed && !m_matches.empty()) {
        SelectMatch(0);
        m_placed = true;
    } else {
        m_current = MatchAtCaret();
    }
    emit changed();
}

void TextHighlights::MarkVisible() {
    QTextDocument* text = m_view.document();
    const auto length = static_cast<std::size_t>(text->characterCount());
    const QRect screen = m_view.viewport()->rect();
    const auto top = static_cast<std::size_t>(m_view.cursorForPosition(screen.topLeft()).position());
    const auto bottom = static_cast<std::size_t>(m_view.cursorForPosition(screen.bottomRight()).position());
    const std::size_t from = top > kMarkedMargin ? top - kMarkedMargin : 0;
    const std::size_t to = std::min(length, bottom + kMarkedMargin);
    const auto first = std::lower_bound(m_matches.begin(), m_matches.end(), from,
                                        [](const auto& match, std::size_t position) { return match.first < position; });
    QList<QTextEdit::ExtraSelection> marks;
    QTextCharFormat format;
    format.setBackground(QColor(255, 232, 64));
    format.setForeground(QColor(Qt::black));
    for (auto match = first; match != m_matches.end() && match->second < to; ++match) {
        QTextCursor cursor(text);
        cursor.setPosition(static_cast<int>(match->first));
        cursor.setPosition(static_cast<int>(match->second), QTextCursor::KeepAnchor);
        marks.push_back(QTextEdit::ExtraSelection{cursor, format});
    }
    m_view.setExtraSelections(marks);
}

void TextHighlights::SelectMatch(std::size_t index) {
    QTextCursor cursor(m_view.document());
    cursor.setPosition(static_cast<int>(m_matches[index].first));
    cursor.setPosition(static_cast<int>(m_matches[index].second), QTextCursor::KeepAnchor);
    m_view.setTextCursor(cursor);
    m_view.ensureCursorVisible();
    m_current = static_cast<int>(index);
}

bool TextHighlights::Step(bool forward) {
    if (m_matches.empty()) return false;
    const QTextCursor caret = m_view.textCursor();
    std::size_t index = 0;
    if (forward) {
        // The first match that starts after the caret's selection begins.
        const auto from =
            static_cast<std::size_t>(caret.hasSelection() ? caret.selectionStart() + 1 : caret.position());
        const auto next =
            std::lower_bound(m_matches.begin(), m_matches.end(), from,
                             [](const auto& match, std::size_t position) { return match.first < position; });
        index = next == m_matches.end() ? 0 : static_cast<std::size_t>(next - m_matches.begin());
    } else {
        const auto before = static_cast<std::size_t>(caret.selectionStart());
        const auto next =
            std::lower_bound(m_matches.begin(), m_matches.end(), before,
                             [](const auto& match, std::size_t position) { return match.first < position; });
        index =
            next == m_matches.begin() ? m_matches.size() - 1 : static_cast<std::size_t>(next - m_matches.begin()) - 1;
    }
    SelectMatch(index);
    m_placed = true;
    emit changed();
    return true;
}

QString TextHighlights::StatusText() const {
    if (m_matches.empty()) return {};
    if (m_current < 0) return QStringLiteral("Найдено совпадений: %1").arg(m_matches.size());
    return QStringLiteral("Совпадение %1 из %2").arg(m_current + 1).arg(m_matches.size());
}

}  // namespace Norik
