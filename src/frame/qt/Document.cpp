#include "frame/qt/Document.h"

namespace Norik {

void CDocument::SetTitle(const QString& title) {
    if (title == m_title) return;
    m_title = title;
    emit titleChanged(m_title);
}

bool CDocument::OnOpenDocument(const QString&) { return false; }

CDocTemplate::CDocTemplate(int resourceId, const QString& docString, DocumentFactory documents, ViewFactory views)
    : m_resourceId(resourceId),
      m_docStrings(docString.split('\n')),
      m_documents(std::move(documents)),
      m_views(std::move(views)) {}

QString CDocTemplate::GetDocString(DocStringIndex index) const {
    return index < m_docStrings.size() ? m_docStrings[index] : QString();
}

std::unique_ptr<CDocument> CDocTemplate::CreateNewDocument() {
    if (!m_documents) return nullptr;
    std::unique_ptr<CDocument> document = m_documents();
    if (document) document->SetDocTemplate(this);
    return document;
}

CView* CDocTemplate::CreateView(CDocument& document) const { return m_views ? m_views(document) : nullptr; }

QString CDocTemplate::NextUntitledTitle() {
    ++m_untitledCount;
    return GetDocString(kDocName) + QString::number(m_untitledCount);
}

bool CDocTemplate::MatchesExtension(const QString& path) const {
    const QString extension = GetDocString(kFilterExt);
    return !extension.isEmpty() && path.endsWith(extension, Qt::CaseInsensitive);
}

}  // namespace Norik
