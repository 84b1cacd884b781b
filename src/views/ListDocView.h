// CListDocView: the view of a list window. The rows of the window's model, asked row by row as
// they are painted: a classifier level in one column without a header, a document list with the
// date and status of each document beside its row text, under a header. Classifier levels,
// visited rows and documents no longer in force in their own colours; each row's full text as its
// tool tip; "Список пуст" in an empty list. Double-click or Enter opens the first selected row.
// The view carries the sort commands (by date, title, type, number, and the descending flag; their
// choice belongs to the view and survives navigation); a click on the header of the row text or
// the date sorts by title or date as those commands do, a second click on the same header as the
// descending flag does, and the header's sort indicator shows the commands' choice. It also
// carries the document information of the selected row and the command that shows the selected
// row's file name. After every change of the list it selects and shows the first row; after
// "Назад" (the command, Ctrl+Backspace or Backspace), the row the user had opened the level from.
// User-interface thread only.
#pragma once

#include <QTreeView>
#include <functional>
#include <optional>
#include <vector>

#include "frame/qt/Document.h"
#include "views/ListDocModel.h"

namespace Norik {

class CListDocument;
class IProfile;
class IUserPort;

class CListDocView : public QTreeView, public CView {
    Q_OBJECT
public:
    // Shows the information card of a document number.
    using ShowDocumentCard = std::function<void(int number)>;

    // document and userPort must outlive the view.
    CListDocView(CListDocument& document, IUserPort& userPort, ShowDocumentCard showCard);
    ~CListDocView() override;

    QWidget* widget() override { return this; }
    CDocument* GetDocument() const override;
    void OnInitialUpdate() override;
    bool GetListPosition(int& count, int& selected) override;
    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    // The user's settings: the zoom of lists is read from them now and kept in them.
    void SetProfile(IProfile* profile);
    // The rows' text at percent of its size (Ctrl+wheel, Ctrl+=, Ctrl+-, Ctrl+0).
    void SetZoom(int percent);
    int zoom() const { return m_zoom; }

    CListDocModel& rowModel() { return m_rows; }
    // The first selected row, or -1.
    int SelectedRow() const;
    // Opens the first selected row (double-click, Enter).
    void OpenSelectedRow();
    // The sort key of the rows (ShowData::SortKey), or kRankOrder.
    int sortKey() const { return m_sortKey; }
    bool descending() const { return m_descending; }
    // The rows stand in the order they were given (best first): no sort command is checked and no
    // column shows a sort indicator until the user sorts.
    static constexpr int kRankOrder = -1;
    void KeepRankOrder();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    // After every change of the model: re-read the count, select and show the first row.
    void GeneralUpdate();
    void Sort(int key);
    // A click on a column header: the sort command that column stands for.
    void OnHeaderClicked(int column);
    // The header as the list's kind wants it, its sort indicator on the column of the sort key.
    void ShowColumns();
    // One level up, with the cursor on the row that level was left by.
    void GoBack();

    CListDocument& m_document;
    IUserPort& m_userPort;
    ShowDocumentCard m_showCard;
    CListDocModel m_rows;
    CListRowDelegate m_delegate;
    int m_sortKey = 0;
    bool m_descending = false;
    // The rows the levels of the model's history were left by, one per level.
    std::vector<int> m_rowsLeft;
    // The row to select at the next update instead of the first.
    std::optional<int> m_rowAfterUpdate;
    IProfile* m_profile = nullptr;
    int m_zoom = 100;
};

}  // namespace Norik
