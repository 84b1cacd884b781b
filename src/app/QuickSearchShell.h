// The quick search in the main window: the search line on the tool bar, the index behind it
// (FullTextService), the result windows, and the words a text opened from a search marks.
//
// Prepare starts finding or building the index of the open base; until it is ready the line and
// a pane of the status bar say how far it has got ("Подготовка индекса быстрого поиска: N%"),
// and a query entered meanwhile runs when it is ready. A query runs off this thread, the pane
// saying so ("Идёт поиск: ...") and the pointer busy meanwhile, and opens a result window
// ("Быстрый поиск: ...") listing every match, best first, the count and time in the status bar; a
// suggestion clicked there runs as a query of its own. The filter row beside the line restricts
// the search to a type, a status and dates of introduction, as the search by attributes finds
// them; dates that cannot be understood are refused in the pane, nothing run.
//
// WordsToMark: a text opened from a quick-search window marks the words of its query; one opened
// from a list found by the attribute search marks the title and text words of its request.
// User-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/FullTextService.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QToolBar;
class QSettings;

namespace Norik {

class CChildFrame;
class CMainFrame;
class IUserPort;
class QuickSearchLine;
class QuickSearchView;

class QuickSearchShell : public QObject {
    Q_OBJECT
public:
    // Every match is listed: a document number has 16 bits.
    static constexpr std::size_t kMaxHits = 0x10000;
    static constexpr std::size_t kPassagesPerHit = 3;

    // frame, userPort and settings (may be null: the queries are not kept) must outlive the shell;
    // showCard shows a document's information card.
    QuickSearchShell(CMainFrame& frame, IUserPort& userPort, std::function<void(int)> showCard, QSettings* settings);
    ~QuickSearchShell() override;

    // Finds or builds the index of source's base.
    void Prepare(IndexSource source);
    // The folder of the index the searches read once it is ready, else empty.
    std::filesystem::path ReadyIndexFolder() const {
        return m_service.state() == FullTextService::State::Ready ? m_service.folder() : std::filesystem::path();
    }
    // Puts the keyboard focus into the search line, its text selected.
    void FocusLine();
    // Runs query now, or once the index is ready.
    void Run(const QString& query);

    QuickSearchLine& line() { return *m_line; }
    // The filter row: type (first item: any), status (any, in force, not in force), dates of
    // introduction from and to (DD.MM.YYYY, empty: open).
    QComboBox& typeFilter() { return *m_type; }
    QComboBox& statusFilter() { return *m_status; }
    QLineEdit& dateFromFilter() { return *m_dateFrom; }
    QLineEdit& dateToFilter() { return *m_dateTo; }
    FullTextService& service() { return m_service; }
    QLabel& progressPane() { return *m_progress; }

    // The words a text opened from child should mark (empty: none).
    static QString WordsToMark(CChildFrame* child);

signals:
    // A result window was opened.
    void resultShown(QuickSearchView* view);

protected:
    // Ctrl+E in a date field of the filter row goes to the search line, as everywhere else, not to
    // the field's own end of line.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowResult(const QString& query);
    void ShowProgress(int percent);
    // Fills the type filter from the loaded type list.
    void FillTypes();
    // The documents the filter row lets through (nullopt: every one); false, the pane saying why,
    // when a date cannot be understood or the indexes cannot answer.
    bool FilteredNumbers(std::optional<std::vector<std::int16_t>>& among);

    CMainFrame& m_frame;
    IUserPort& m_userPort;
    std::function<void(int)> m_showCard;
    FullTextService m_service;
    QToolBar* m_bar = nullptr;
    QuickSearchLine* m_line;
    QLabel* m_progress;
    QComboBox* m_type;
    QComboBox* m_status;
    QLineEdit* m_dateFrom;
    QLineEdit* m_dateTo;
    QString m_pending;
};

}  // namespace Norik
