#include "frame/qt/ChildFrm.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMenu>
#include <QWidget>

#include "frame/CommandIds.h"

namespace Norik {

CChildFrame::CChildFrame(std::unique_ptr<CDocument> document, CView* view)
    : m_document(std::move(document)), m_view(view) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(m_view->widget());
    setWindowTitle(m_document->title());
    connect(m_document.get(), &CDocument::titleChanged, this, &QWidget::setWindowTitle);
    connect(m_document.get(), &CDocument::stateChanged, this, &CChildFrame::stateChanged);
    m_view->SetStateChangedHandler([this] { emit stateChanged(); });
    // The keys of the window menu's own items would be ambiguous with the program's commands
    // (Ctrl+F4 and Ctrl+W close through "Закрыть"): the commands keep them.
    if (QMenu* menu = systemMenu()) {
        for (QAction* action : menu->actions()) action->setShortcuts({});
    }
}

CChildFrame::~CChildFrame() {
    // The view refers to the document: it goes first.
    QWidget* content = widget();
    setWidget(nullptr);
    delete content;
}

}  // namespace Norik

namespace Norik {

bool CChildFrame::UpdateCommand(int id, CommandState& state) {
    if (id != Command::kFileClose) return false;
    state = CommandState{};
    return true;
}

bool CChildFrame::ExecuteCommand(int id) {
    if (id != Command::kFileClose) return false;
    close();
    return true;
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    // The opener is made active before this window goes: the area then has no other to choose.
    QMdiArea* area = mdiArea();
    if (area && area->activeSubWindow() == this && m_opener && m_opener != this && !m_opener->isHidden())
        area->setActiveSubWindow(m_opener);
    QMdiSubWindow::closeEvent(event);
}

}  // namespace Norik
