// The view of a quick-search result window ("Быстрый поиск: ..."): the document list of the
// result, best first (the ranking stays until the user sorts), with a preview pane under it that
// shows the selected row's type, number, date and status and the passages of its text with the
// query's words in bold, asked for when the row is first selected (passages are the costly part
// of a search, and only the selected row's are seen; they come when found, the window going on). The list does what
// every document list does (open, sort, card); this view passes the commands and the list position on to it.
//
// Nothing found: the pane says so and offers the spelling the index suggests as a link, which
// asks for that query to be run (queryRequested). The status bar says how many documents were
// found and in what time.
// User-interface thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "frame/qt/Document.h"
#include "fulltext/FullTextIndex.h"
#include "views/ListDocView.h"

class QTextBrowser;

namespace Norik {

class CListDocument;

class QuickSearchView : public QWidget, public CView {
    Q_OBJECT
public:
    // Asks for the passages of a document's text for the query; done is to be called on this
    // thread with them (or never).
    using PassagesDone = std::function<void(std::vector<std::string>)>;
    using PassagesOf = std::function<void(std::int16_t number, PassagesDone done)>;

    // Shows result (of query, found in seconds) in document; document and userPort must outlive
    // the view. Passages a hit of result carries are shown as they are; others are asked of
    // passagesOf.
    QuickSearchView(CListDocument& document, IUserPort& userPort, CListDocView::ShowDocumentCard showCard,
                    const QString& query, const FullText::SearchResult& result, double seconds,
                    PassagesOf passagesOf = {});
    ~QuickSearchView() override;

    QWidget* widget() override { return this; }
    CDocument* GetDocument() const override;
    void OnInitialUpdate() override;
    bool GetListPosition(int& count, int& selected) override;
    QString StatusMessage() const override;
    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    const QString& query() const { return m_query; }
    CListDocView& list() { return *m_list; }
    QTextBrowser& preview() { return *m_preview; }

    // The pane's text for the document number (type, number, date, status, passages, or "…"
    // while they are asked for).
    QString PreviewOf(int number);

signals:
    void queryRequested(const QString& query);

private:
    void ShowPreview();

    CListDocument& m_document;
    QString m_query;
    CListDocView* m_list;
    QTextBrowser* m_preview;
    PassagesOf m_passagesOf;
    std::map<int, std::vector<std::string>> m_passages;  // by number, once known
    std::map<int, bool> m_asked;                         // numbers whose passages were asked for
    QString m_message;
    QString m_nothingFound;
};

}  // namespace Norik
