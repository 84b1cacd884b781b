// CChildFrame: the child window of the main frame that holds one document and its view. Every
// child window opens visible and maximised; its title is its document's title. It owns the
// document and the view (the view's widget is its content) and destroys the view first.
// User-interface thread only.
#pragma once

#include <QMdiSubWindow>
#include <memory>

#include "app/CommandTarget.h"
#include "app/Document.h"

namespace Norik {

class CChildFrame : public QMdiSubWindow, public ICommandTarget {
    Q_OBJECT
public:
    CChildFrame(std::unique_ptr<CDocument> document, CView* view);
    ~CChildFrame() override;

    CDocument& document() { return *m_document; }
    CView& view() { return *m_view; }

    // The frame itself adds no commands of its own.
    bool UpdateCommand(int, CommandState&) override { return false; }
    bool ExecuteCommand(int) override { return false; }

signals:
    // The document or the view reports that command states may have changed.
    void stateChanged();

private:
    std::unique_ptr<CDocument> m_document;
    CView* m_view;
};

}  // namespace Norik
