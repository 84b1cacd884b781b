// CChildFrame: the child window of the main frame that holds one document and its view. Every
// child window opens visible and maximised; its title is its document's title. It owns the
// document and the view (the view's widget is its content) and destroys the view first.
//
// It remembers the window it was opened from (its opener): when it closes while active, the opener,
// if it is still open, becomes the active window, instead of whichever the area would choose. It
// carries out "Закрыть" (Ctrl+F4). User-interface thread only.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>
#include <memory>

#include "frame/CommandTarget.h"
#include "frame/qt/Document.h"

namespace Norik {

class CChildFrame : public QMdiSubWindow, public ICommandTarget {
    Q_OBJECT
public:
    CChildFrame(std::unique_ptr<CDocument> document, CView* view);
    ~CChildFrame() override;

    CDocument& document() { return *m_document; }
    CView& view() { return *m_view; }

    void SetOpener(CChildFrame* opener) { m_opener = opener; }
    CChildFrame* opener() const { return m_opener; }

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

signals:
    // The document or the view reports that command states may have changed.
    void stateChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<CDocument> m_document;
    CView* m_view;
    QPointer<CChildFrame> m_opener;
};

}  // namespace Norik
