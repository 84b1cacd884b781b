#include "frame/qt/Document.h"

namespace Norik {

namespace {

// A title from the base may hold control characters (an escape sequence, a bell), which a window
// manager or a terminal showing the title would obey: they are shown as \xHH instead - the C0
// controls, DEL and the C1 controls.
QString ControlsShown(const QString& title) {
    QString shown;
    shown.reserve(title.size());
    for (const QChar c : title) {
        const char16_t unit = c.unicode();
        if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F))
            shown += QStringLiteral("\\x%1").arg(static_cast<int>(unit), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

}  // namespace

void CDocument::SetTitle(const QString& title) {
    const QString shown = ControlsShown(title);
    if (shown == m_title) return;
    m_title = shown;
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
