#include "app/QuickSearchShell.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QStatusBar>
#include <QToolBar>

#include "Helpers/qt/QtText.h"
#include "frame/qt/ChildFrm.h"
#include "frame/qt/MainFrm.h"
#include "search/SearchEvaluation.h"
#include "showdata/DayCode.h"
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
    // The filter row: compact, after the line.
    m_type = new QComboBox(m_bar);
    m_type->setObjectName(QStringLiteral("quickSearchType"));
    m_type->setAccessibleName(QStringLiteral("Тип документа"));
    m_type->addItem(QStringLiteral("Любой тип"));
    m_type->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_type->setMinimumContentsLength(12);
    m_status = new QComboBox(m_bar);
    m_status->setObjectName(QStringLiteral("quickSearchStatus"));
    m_status->setAccessibleName(QStringLiteral("Статус документа"));
    m_status->addItems({QStringLiteral("Любой статус"), QStringLiteral("Действует"), QStringLiteral("Не действует")});
    const auto dateField = [this](const char* name, const QString& placeholder, const QString& accessible) {
        auto* field = new QLineEdit(m_bar);
        field->setObjectName(QString::fromLatin1(name));
        field->setPlaceholderText(placeholder);
        field->setAccessibleName(accessible);
        field->setMaxLength(10);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("по 00.00.00000")) + 12);
        connect(field, &QLineEdit::returnPressed, this, [this] { Run(m_line->currentText()); });
        field->installEventFilter(this);
        return field;
    };
    m_dateFrom = dateField("quickSearchDateFrom", QStringLiteral("введён с"), QStringLiteral("Дата введения с"));
    m_dateTo = dateField("quickSearchDateTo", QStringLiteral("по"), QStringLiteral("Дата введения по"));
    for (QWidget* filter : std::initializer_list<QWidget*>{m_type, m_status, m_dateFrom, m_dateTo})
        m_bar->addWidget(filter);
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
    // While a search runs, the pointer says so over the window.
    connect(&m_service, &FullTextService::searchingChanged, this, [](bool searching) {
        if (searching)
            QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    });
    connect(&m_service, &FullTextService::failed, this, [this](const QString& why) {
        m_progress->setText(why);
        m_progress->show();
        m_line->SetUnavailable(why);
        m_pending.clear();
    });
}

QuickSearchShell::~QuickSearchShell() = default;

void QuickSearchShell::Prepare(IndexSource source) {
    FillTypes();
    m_service.Prepare(std::move(source));
}

bool QuickSearchShell::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_E && key->modifiers() == Qt::ControlModifier) {
            // Not taken by the field: the window's shortcut runs.
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void QuickSearchShell::FillTypes() {
    while (m_type->count() > 1) m_type->removeItem(1);
    for (const std::string& type : ShowData::GetTypeList()) {
        const QString name = ToQString(type).trimmed();
        if (!name.isEmpty() && m_type->findText(name, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
            m_type->addItem(name);
    }
}

bool QuickSearchShell::FilteredNumbers(std::optional<std::vector<std::int16_t>>& among) {
    ShowData::SearchRequest filter;
    if (m_type->currentIndex() > 0) filter.type = FromQString(m_type->currentText());
    if (m_status->currentIndex() > 0) filter.inForce = m_status->currentIndex() == 1 ? 1 : 0;
    for (const auto& [field, day] :
         {std::pair{m_dateFrom, &filter.introducedFrom}, std::pair{m_dateTo, &filter.introducedTo}}) {
        const QString text = field->text().trimmed();
        if (text.isEmpty()) continue;
        const std::optional<ShowData::DayCode> code = ShowData::ParseDottedDate(FromQString(text));
        if (!code) {
            m_progress->setText(QStringLiteral("Дата «%1» не понята: нужна дата ДД.ММ.ГГГГ").arg(text));
            m_progress->show();
            field->setFocus(Qt::OtherFocusReason);
            return false;
        }
        *day = *code;
    }
    among.reset();
    if (filter == ShowData::SearchRequest{}) return true;
    try {
        among = ShowData::EvaluateSearchRequest(filter);
    } catch (const ShowData::SearchIndexDamaged& damaged) {
        m_progress->setText(
            QStringLiteral("Отбор не выполнен: %1").arg(QString::fromStdString(damaged.damage().Text())));
        m_progress->show();
        return false;
    }
    return true;
}

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
    std::optional<std::vector<std::int16_t>> among;
    if (!FilteredNumbers(among)) return;
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    const std::string words = query.toStdString();
    m_progress->setText(QStringLiteral("Идёт поиск: «%1»…").arg(query));
    m_progress->show();
    // The passages of the selected row alone are looked for, when it is selected.
    m_service.Search(
        words, kMaxHits, 0, std::move(among), [this, query, words, timer](const FullText::SearchResult& result) {
            const double seconds = static_cast<double>(timer->nsecsElapsed()) / 1e9;
            if (!m_service.searching()) m_progress->hide();
            auto document = std::make_unique<CListDocument>(m_userPort);
            auto* view =
                new QuickSearchView(*document, m_userPort, m_showCard, query, result, seconds,
                                    [shell = QPointer<QuickSearchShell>(this), words](
                                        std::int16_t number, QuickSearchView::PassagesDone done) {
                                        if (shell)
                                            shell->m_service.Passages(words, number, kPassagesPerHit, std::move(done));
                                    });
            connect(view, &QuickSearchView::queryRequested, this, [this](const QString& suggestion) {
                m_line->Remember(suggestion);
                Run(suggestion);
            });
            m_frame.CreateChildFrame(std::move(document), view);
            emit resultShown(view);
        });
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
