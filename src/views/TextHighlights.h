// The words of a search marked in a document text: every form of the query's words (the same
// stem) gets a coloured background, and the user steps from one to the next.
//
// The words are found off the user-interface thread: Apply copies the characters of the text the
// view shows (plain UTF-16 data) to a worker thread, which looks for them in slices of about a
// million characters, so a new Apply or the object's end stops it within a slice. The marks are
// put on the view as extra selections, which leave the text itself (its copy, print and save)
// untouched; only the matches on screen and some way around it carry one, moved as the text
// scrolls, since the view works out a rectangle for every mark it holds. Apply is called again when the view's text is
// replaced (the whole text after its first part): the marks are found anew, the match the caret is on stays the current
// one.
//
// The first time matches are there, the first one is selected and scrolled into view, unless the
// user has moved the caret meanwhile. Step selects the next (or previous) match from the caret,
// going round at the end; StatusText says "Совпадение 3 из 27".
// User-interface thread only; the object belongs to the view's thread.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstddef>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "fulltext/FullTextIndex.h"

class QTextEdit;

namespace Norik {

class TextHighlights : public QObject {
    Q_OBJECT
public:
    // view must outlive the object (make the view its parent).
    TextHighlights(QTextEdit& view, const QString& query, QObject* parent = nullptr);
    ~TextHighlights() override;

    // Finds and marks the words in the text the view shows now.
    void Apply();

    // Whether the query has words to look for.
    bool hasWords() const;
    // The matches found so far (none while a search runs for the first time).
    std::size_t count() const { return m_matches.size(); }
    // The index of the match the caret is on, or -1.
    int current() const { return m_current; }
    // Whether the marks of the last Apply are on the view.
    bool isComplete() const { return m_complete; }
    // Selects the next (forward) or previous match from the caret; false when there is none.
    bool Step(bool forward);
    // "Совпадение 3 из 27" with a current match, "Найдено совпадений: 27" without one, empty
    // when there are none.
    QString StatusText() const;

    // The offsets of the matches, in the view's character positions.
    const std::vector<std::pair<std::size_t, std::size_t>>& matches() const { return m_matches; }

signals:
    // The matches or the current one changed.
    void changed();

private:
    struct Search;
    Q_INVOKABLE void Deliver();
    void StopSearch();
    void SelectMatch(std::size_t index);
    // Puts marks on the matches on screen and around it.
    Q_INVOKABLE void MarkVisible();
    int MatchAtCaret() const;

    QTextEdit& m_view;
    FullText::WordFormMatcher m_matcher;
    std::shared_ptr<Search> m_search;
    std::thread m_worker;
    std::vector<std::pair<std::size_t, std::size_t>> m_matches;
    int m_current = -1;
    bool m_complete = false;
    // The first match has been shown (or the user has moved away): later Applies keep the place.
    bool m_placed = false;
    int m_caretAtApply = 0;
    QTimer m_remark;
};

}  // namespace Norik
