#include "app/ChildFrm.h"

#include <QWidget>

namespace Norik {

CChildFrame::CChildFrame(std::unique_ptr<CDocument> document, CView* view)
    : m_document(std::move(document)), m_view(view) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(m_view->widget());
    setWindowTitle(m_document->title());
    connect(m_document.get(), &CDocument::titleChanged, this, &QWidget::setWindowTitle);
    connect(m_document.get(), &CDocument::stateChanged, this, &CChildFrame::stateChanged);
    m_view->SetStateChangedHandler([this] { emit stateChanged(); });
}

CChildFrame::~CChildFrame() {
    // The view refers to the document: it goes first.
    QWidget* content = widget();
    setWidget(nullptr);
    delete content;
}

}  // namespace Norik
