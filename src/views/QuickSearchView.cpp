#include "views/QuickSearchView.h"

#include <QLocale>
#include <QPointer>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "Helpers/qt/QtText.h"
#include "showdata/ListDoc.h"
#include "views/ListDocument.h"

namespace Norik {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString DateText(ShowData::DayCode code) {
    return code == 0 ? QStringLiteral("без даты") : QString::fromStdString(ShowData::DottedDayCode(code));
}

}  // namespace

QuickSearchView::QuickSearchView(CListDocument& document, IUserPort& userPort, CListDocView::ShowDocumentCard showCard,
                                 const QString& query, const FullText::SearchResult& result, double seconds,
                                 PassagesOf passagesOf)
    : m_document(document), m_query(query), m_passagesOf(std::move(passagesOf)) {
    std::vector<std::int16_t> numbers;
    numbers.reserve(result.hits.size());
    for (const FullText::Hit& hit : result.hits) {
        numbers.push_back(hit.number);
        if (!hit.passages.empty() || !m_passagesOf) m_passages[hit.number] = hit.passages;
    }
    document.model().SetTitle(FromQString(QStringLiteral("Быстрый поиск: ") + query));
    document.model().ShowRankedResult(numbers);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    m_list = new CListDocView(document, userPort, std::move(showCard));
    m_list->KeepRankOrder();
    m_preview = new QTextBrowser;
    m_preview->setObjectName(QStringLiteral("quickSearchPreview"));
    m_preview->setAccessibleName(QStringLiteral("Просмотр найденного"));
    m_preview->setOpenLinks(false);
    splitter->addWidget(m_list);
    splitter->addWidget(m_preview);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    setFocusProxy(m_list);
    setWindowTitle(document.title());

    const QLocale locale;
    const QString time = locale.toString(seconds, 'f', 2);
    if (!result.error.empty()) {
        m_message = QStringLiteral("Запрос не понят: %1").arg(FromUtf8(result.error));
    } else if (result.hits.size() < result.matches) {
        m_message = QStringLiteral("Найдено документов: %1, показаны первые %2 (%3 с)")
                        .arg(result.matches)
                        .arg(result.hits.size())
                        .arg(time);
    } else {
        m_message = QStringLiteral("Найдено документов: %1 (%2 с)").arg(result.matches).arg(time);
    }
    for (const std::string& word : result.cutWildcards)
        m_message += QStringLiteral("; «%1» начинает больше %2 слов, искались самые частые")
                         .arg(FromUtf8(word))
                         .arg(FullText::Searcher::kMaxWildcardWords);
    if (result.wordsLeftOut > 0)
        m_message += QStringLiteral("; запрос слишком длинный, последние слова не учтены: %1").arg(result.wordsLeftOut);
    if (result.hits.empty()) {
        m_nothingFound = QStringLiteral("<p>По запросу «%1» ничего не найдено.</p>").arg(query.toHtmlEscaped());
        if (!result.suggestion.empty()) {
            const QString suggestion = FromUtf8(result.suggestion);
            m_nothingFound +=
                QStringLiteral("<p>Возможно, вы имели в виду: <a href=\"%1\">%2</a></p>")
                    .arg(QString::fromLatin1(QUrl::toPercentEncoding(suggestion)), suggestion.toHtmlEscaped());
        }
    }
    connect(m_preview, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        emit queryRequested(QUrl::fromPercentEncoding(link.toString(QUrl::FullyEncoded).toLatin1()));
    });
    // The list's selection decides the preview; its changes are this view's changes.
    m_list->SetStateChangedHandler([this] {
        ShowPreview();
        NotifyStateChanged();
    });
}

QuickSearchView::~QuickSearchView() = default;

CDocument* QuickSearchView::GetDocument() const { return m_list->GetDocument(); }

void QuickSearchView::OnInitialUpdate() {
    m_list->OnInitialUpdate();
    ShowPreview();
}

bool QuickSearchView::GetListPosition(int& count, int& selected) { return m_list->GetListPosition(count, selected); }

QString QuickSearchView::StatusMessage() const { return m_message; }

bool QuickSearchView::UpdateCommand(int id, CommandState& state) { return m_list->UpdateCommand(id, state); }

bool QuickSearchView::ExecuteCommand(int id) { return m_list->ExecuteCommand(id); }

QString QuickSearchView::PreviewOf(int number) {
    const std::vector<ShowData::DocItem> rows = ShowData::DocRowsByNumber(static_cast<std::int16_t>(number));
    if (rows.empty()) return {};
    const ShowData::DocItem& row = rows.front();
    QString html = QStringLiteral("<p><b>%1 %2</b> от %3 — %4</p><p>%5</p>")
                       .arg(ToQString(row.type).trimmed().toHtmlEscaped(), ToQString(row.numberText).toHtmlEscaped(),
                            DateText(row.dateOfIntroduction),
                            row.inForce ? QStringLiteral("действует") : QStringLiteral("не действует"),
                            ToQString(row.title).toHtmlEscaped());
    const auto passages = m_passages.find(number);
    if (passages == m_passages.end() && m_passagesOf) {
        if (!m_asked[number])
            m_passagesOf(static_cast<std::int16_t>(number),
                         [view = QPointer<QuickSearchView>(this), number](std::vector<std::string> found) {
                             if (!view) return;
                             view->m_passages[number] = std::move(found);
                             view->ShowPreview();
                         });
        m_asked[number] = true;
        html += QStringLiteral("<p>…</p>");
    }
    if (passages != m_passages.end()) {
        // The passages come escaped, with the words found between <b> and </b>.
        for (const std::string& passage : passages->second) html += QStringLiteral("<p>%1</p>").arg(FromUtf8(passage));
    }
    return html;
}

void QuickSearchView::ShowPreview() {
    if (!m_nothingFound.isEmpty()) {
        m_preview->setHtml(m_nothingFound);
        return;
    }
    const int row = m_list->SelectedRow();
    const int number = row < 0 ? -1 : m_document.model().GetNumber(static_cast<unsigned>(row));
    m_preview->setHtml(number < 0 ? QString() : PreviewOf(number));
}

}  // namespace Norik
