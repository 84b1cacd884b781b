#include "app/QuickSearchShell.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QStatusBar>
#include <QToolBar>

#include "Helpers/qt/QtText.h"
#include "frame/qt/ChildFrm.h"
#include "frame/qt/MainFrm.h"
#include "showdata/ListDoc.h"
#include "views/ListDocument.h"
#include "views/QuickSearchLine.h"
#include "views/QuickSearchView.h"

namespace Norik {

QuickSearchShell::QuickSearchShell(CMainFrame& frame, IUserPort& userPort, std::function<void(int)> showCard,
                                   QSettings* settings)
    : m_frame(frame), m_userPort(userPort), m_showCard(std::move(showCard)) {
    m_line = new QuickSearchLine(settings, &frame);
    // A tool bar of its own on a row of its own, so that the line is never pushed out of sight
    // into the overflow of the command buttons by a narrow window.
    m_bar = new QToolBar(QStringLiteral("Быстрый поиск"), &frame);
    m_bar->setObjectName(QStringLiteral("quickSearchBar"));
    m_bar->addWidget(m_line);
    // An empty stretch beside the line: the line grows with the window, to half its width.
    auto* rest = new QWidget(m_bar);
    rest->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_bar->addWidget(rest);
    frame.addToolBarBreak(Qt::TopToolBarArea);
    frame.addToolBar(Qt::TopToolBarArea, m_bar);
    m_progress = new QLabel(&frame);
    m_progress->setObjectName(QStringLiteral("quickSearchProgress"));
    m_progress->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_progress->setContentsMargins(3, 0, 3, 0);
    m_progress->hide();
    frame.statusBar()->addWidget(m_progress);
    connect(m_line, &QuickSearchLine::queryEntered, this, &QuickSearchShell::Run);
    connect(&m_service, &FullTextService::progressChanged, this, &QuickSearchShell::ShowProgress);
    connect(&m_service, &FullTextService::ready, this, [this] {
        m_progress->hide();
        m_line->SetPreparing(-1);
        if (!m_pending.isEmpty()) ShowResult(std::exchange(m_pending, QString()));
    });
    connect(&m_service, &FullTextService::failed, this, [this](const QString& why) {
        m_progress->setText(why);
        m_progress->show();
        m_line->SetUnavailable(why);
        m_pending.clear();
    });
}

QuickSearchShell::~QuickSearchShell() = default;

void QuickSearchShell::Prepare(IndexSource source) { m_service.Prepare(std::move(source)); }

void QuickSearchShell::FocusLine() {
    m_bar->show();
    m_line->setFocus(Qt::ShortcutFocusReason);
    m_line->lineEdit()->selectAll();
}

void QuickSearchShell::ShowProgress(int percent) {
    m_line->SetPreparing(percent);
    QString text = QStringLiteral("Подготовка индекса быстрого поиска: %1%").arg(percent);
    if (!m_pending.isEmpty()) text += QStringLiteral(" (запрос выполнится после неё)");
    m_progress->setText(text);
    m_progress->show();
}

void QuickSearchShell::Run(const QString& query) {
    if (query.trimmed().isEmpty()) return;
    switch (m_service.state()) {
        case FullTextService::State::Ready:
            ShowResult(query.trimmed());
            return;
        case FullTextService::State::Failed:
            m_progress->setText(m_service.failure());
            m_progress->show();
            return;
        case FullTextService::State::Idle:
        case FullTextService::State::Building:
            m_pending = query.trimmed();
            ShowProgress(m_service.percent());
            return;
    }
}

void QuickSearchShell::ShowResult(const QString& query) {
    QElapsedTimer timer;
    timer.start();
    const std::string words = query.toStdString();
    // The passages of the selected row alone are looked for, when it is selected.
    const FullText::SearchResult result = m_service.Search(words, kMaxHits, 0);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    auto document = std::make_unique<CListDocument>(m_userPort);
    auto* view = new QuickSearchView(*document, m_userPort, m_showCard, query, result, seconds,
                                     [shell = QPointer<QuickSearchShell>(this), words](std::int16_t number) {
                                         return shell ? shell->m_service.Passages(words, number, kPassagesPerHit)
                                                      : std::vector<std::string>();
                                     });
    connect(view, &QuickSearchView::queryRequested, this, [this](const QString& suggestion) {
        m_line->Remember(suggestion);
        Run(suggestion);
    });
    m_frame.CreateChildFrame(std::move(document), view);
    emit resultShown(view);
}

QString QuickSearchShell::WordsToMark(CChildFrame* child) {
    if (!child) return {};
    if (auto* quick = dynamic_cast<QuickSearchView*>(&child->view())) return quick->query();
    auto* list = dynamic_cast<CListDocument*>(&child->document());
    if (!list) return {};
    auto* found = dynamic_cast<ShowData::CShowDoc*>(list->model().currentList().get());
    if (!found) return {};
    const ShowData::SearchRequest& request = found->request();
    return (ToQString(request.titleWords) + QLatin1Char(' ') + ToQString(request.textWords)).trimmed();
}

}  // namespace Norik
