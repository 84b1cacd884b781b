#include "views/TextPrinting.h"

#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTemporaryFile>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

#include "views/TextPrintout.h"

namespace Norik {

namespace {

const char* const kPreparing = "Подождите, идёт подготовка к печати";
const char* const kPrinting = "Подождите, идёт печать";

// Slices of layout while the user waits for it, and while the preview is open.
constexpr std::chrono::milliseconds kWaitingSlice{50};
constexpr std::chrono::milliseconds kBackgroundSlice{12};
// Below this the printing goes without a progress dialog.
constexpr qint64 kQuickMilliseconds = 300;

// A PDF is written to a new file beside the one chosen, made exclusively, and put in the chosen
// one's place by one rename once it is whole: a print that stops leaves the folder as it was, and
// nothing is written through whatever stands at the chosen name (a link is replaced, not
// followed). For any other printer it does nothing. The printer names the chosen file again when
// the object goes.
class PdfReplacement {
public:
    explicit PdfReplacement(QPrinter& printer) : m_printer(printer) {
        if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty()) return;
        m_chosen = printer.outputFileName();
        m_partial = std::make_unique<QTemporaryFile>(m_chosen + QStringLiteral(".XXXXXX"));
        if (!m_partial->open()) return;
        m_partial->close();
        printer.setOutputFileName(m_partial->fileName());
    }
    ~PdfReplacement() {
        if (!m_chosen.isEmpty()) m_printer.setOutputFileName(m_chosen);
    }
    PdfReplacement(const PdfReplacement&) = delete;
    PdfReplacement& operator=(const PdfReplacement&) = delete;

    // False when the new file could not be made.
    bool ready() const { return m_chosen.isEmpty() || m_partial->fileName() == m_printer.outputFileName(); }

    // The whole PDF takes the chosen file's place, with the permissions a new file of the user gets
    // (or those of the file it replaces).
    bool Commit() {
        if (m_chosen.isEmpty()) return true;
        const QByteArray partial = QFile::encodeName(m_partial->fileName());
        const QByteArray chosen = QFile::encodeName(m_chosen);
        struct stat replaced {};
        mode_t mode = 0;
        if (::lstat(chosen.constData(), &replaced) == 0 && S_ISREG(replaced.st_mode)) {
            mode = replaced.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        if (::chmod(partial.constData(), mode) != 0 || ::rename(partial.constData(), chosen.constData()) != 0)
            return false;
        m_partial->setAutoRemove(false);
        return true;
    }

private:
    QPrinter& m_printer;
    QString m_chosen;
    std::unique_ptr<QTemporaryFile> m_partial;
};

}  // namespace

void SetPrintMargins(QPrinter& printer) {
    const qreal margin = kPrintMarginTwips / 20.0;  // points
    printer.setPageMargins(QMarginsF(margin, margin, margin, margin), QPageLayout::Point);
}

QSizeF PrintableSize(const QPrinter& printer) {
    return QSizeF(printer.width(), printer.height()) / TextPrintout::UnitsScale(printer);
}

bool PrintPages(TextPrintout& printout, QPrinter& printer, QWidget* parent) {
    SetPrintMargins(printer);
    printout.SetPageSize(PrintableSize(printer));
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> progress;
    // Shows the progress once the work has taken a moment; false when the user cancelled.
    const auto report = [&](const char* label, int value, int maximum) {
        if (!progress && clock.elapsed() < kQuickMilliseconds) return true;
        if (!progress) {
            progress = std::make_unique<QProgressDialog>(parent);
            progress->setWindowTitle(QStringLiteral("Печать"));
            progress->setCancelButtonText(QStringLiteral("Отмена"));
            progress->setWindowModality(Qt::ApplicationModal);
            progress->setMinimumDuration(0);
            progress->setAutoReset(false);
            progress->setAutoClose(false);
        }
        const QString text = QString::fromUtf8(label);
        if (progress->labelText() != text) progress->setLabelText(text);
        progress->setMaximum(maximum);
        // A modal progress dialog runs the events here: repaints, and the cancel button.
        progress->setValue(value);
        return !progress->wasCanceled();
    };
    while (!printout.Continue(kWaitingSlice)) {
        if (!report(kPreparing, printout.progress(), printout.progressMaximum())) return false;
    }

    int first = 0;
    int last = printout.pageCount() - 1;
    if (printer.fromPage() > 0) first = std::min(printer.fromPage() - 1, last);
    if (printer.toPage() > 0) last = std::min(printer.toPage() - 1, last);
    PdfReplacement pdf(printer);
    if (!pdf.ready()) return false;
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    // A file cut short would pass for the whole text: a print that stops leaves the chosen file as
    // it was (PdfReplacement removes the unfinished one).
    const auto abandon = [&] {
        printer.abort();
        painter.end();
        return false;
    };
    const qreal scale = TextPrintout::UnitsScale(printer);
    for (int page = first; page <= last; ++page) {
        if (page > first && !printer.newPage()) return abandon();
        painter.save();
        painter.scale(scale, scale);
        printout.PaintPage(painter, page);
        painter.restore();
        if (!report(kPrinting, page - first + 1, last - first + 1)) return abandon();
    }
    return painter.end() && pdf.Commit();
}

void OfferPdfFileName(QPrintDialog& dialog, const QString& name) {
    if (!dialog.printer() || !dialog.printer()->outputFileName().isEmpty()) return;
    // The file field of the platform's print dialog; the folder it proposes stays.
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("filename"));
    if (!field) return;
    const QString proposed = field->text();
    QString folder = QDir::homePath();
    if (!proposed.isEmpty()) folder = proposed.endsWith('/') ? proposed : QFileInfo(proposed).absolutePath();
    field->setText(QDir(folder).filePath(name + QStringLiteral(".pdf")));
}

// The pages of a preview, one under the other on a grey ground, each painted when it shows.
class PreviewPages : public QWidget {
public:
    PreviewPages(TextPrintout& printout, const QPrinter& printer, QWidget* parent)
        : QWidget(parent), m_printout(printout) {
        const QPageLayout layout = printer.pageLayout();
        const qreal unitsPerPoint = TextPrintout::kUnitsPerInch / 72.0;
        m_paper = layout.fullRect(QPageLayout::Point).size() * unitsPerPoint;
        const QMarginsF margins = layout.margins(QPageLayout::Point);
        m_origin = QPointF(margins.left(), margins.top()) * unitsPerPoint;
        setAccessibleName(QStringLiteral("Страницы для печати"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    qreal zoom() const { return m_zoom; }
    void SetZoom(qreal zoom) {
        m_zoom = std::clamp(zoom, 0.1, 4.0);
        UpdateSize();
        update();
    }
    // The pages shown follow the layout.
    void UpdateSize() {
        m_pages = m_printout.readyPages();
        resize(static_cast<int>(std::ceil(m_paper.width() * Scale())) + 2 * kGap, m_pages * PageStep() + kGap);
    }
    int pages() const { return m_pages; }
    int PageStep() const { return static_cast<int>(std::ceil(m_paper.height() * Scale())) + kGap; }
    qreal paperWidth() const { return m_paper.width(); }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.fillRect(event->rect(), palette().color(QPalette::Dark));
        const qreal scale = Scale();
        const int step = PageStep();
        const int first = std::max(0, (event->rect().top() - kGap) / step);
        const int last = std::min(m_pages - 1, event->rect().bottom() / step);
        for (int page = first; page <= last; ++page) {
            const QRectF paper(kGap, kGap + page * step, m_paper.width() * scale, m_paper.height() * scale);
            painter.fillRect(paper, Qt::white);
            painter.setPen(Qt::black);
            painter.drawRect(paper);
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            painter.translate(paper.topLeft());
            painter.scale(scale, scale);
            painter.translate(m_origin);
            m_printout.PaintPage(painter, page);
            painter.restore();
        }
    }

private:
    static constexpr int kGap = 16;
    // Screen pixels for one unit of the page: the zoom of 1 shows the page at its size.
    qreal Scale() const { return m_zoom * TextPrintout::UnitsScale(*this); }

    TextPrintout& m_printout;
    QSizeF m_paper;
    QPointF m_origin;
    qreal m_zoom = 1;
    int m_pages = 0;
};

TextPrintPreview::TextPrintPreview(TextPrintout& printout, const QPrinter& printer, QWidget* parent)
    : QDialog(parent), m_printout(printout) {
    setWindowTitle(QStringLiteral("Предварительный просмотр"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    auto* tools = new QToolBar(this);
    QAction* print = tools->addAction(QStringLiteral("Печать..."), this, &QDialog::accept);
    print->setShortcut(QKeySequence::Print);
    QAction* larger = tools->addAction(QStringLiteral("Крупнее"), this, [this] { ZoomBy(1.25); });
    larger->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    QAction* smaller = tools->addAction(QStringLiteral("Мельче"), this, [this] { ZoomBy(0.8); });
    smaller->setShortcut(QKeySequence::ZoomOut);
    tools->addSeparator();
    auto* pageLabel = new QLabel(QStringLiteral(" &Страница: "), this);
    m_pageField = new QSpinBox(this);
    m_pageField->setObjectName(QStringLiteral("pageField"));
    m_pageField->setAccessibleName(QStringLiteral("Страница"));
    m_pageField->setRange(1, 1);
    m_pageField->setKeyboardTracking(false);
    m_pageField->setMinimumWidth(m_pageField->fontMetrics().horizontalAdvance(QStringLiteral("00000 из 00000")) + 30);
    pageLabel->setBuddy(m_pageField);
    tools->addWidget(pageLabel);
    tools->addWidget(m_pageField);
    connect(m_pageField, &QSpinBox::valueChanged, this, &TextPrintPreview::GoToPage);
    auto* goToPage = new QAction(this);
    goToPage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(goToPage, &QAction::triggered, this, [this] {
        m_pageField->setFocus();
        m_pageField->selectAll();
    });
    addAction(goToPage);
    tools->addSeparator();
    tools->addAction(QStringLiteral("Закрыть"), this, &QDialog::reject);

    m_pages = new PreviewPages(printout, printer, this);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidget(m_pages);
    m_scroll->setAlignment(Qt::AlignHCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_status = new QLabel(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tools);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(m_status);

    // The first page at once; the rest follow while the window is free.
    while (!m_printout.Continue(kWaitingSlice) && m_printout.readyPages() < 1) {
    }
    m_layoutTimer = new QTimer(this);
    m_layoutTimer->setInterval(0);
    connect(m_layoutTimer, &QTimer::timeout, this, &TextPrintPreview::LayOutMore);
    if (!m_printout.isComplete()) m_layoutTimer->start();
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, &TextPrintPreview::UpdateStatus);

    // A page as wide as fits on the screen, at most at its own size.
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    const qreal pageWidth = m_pages->paperWidth() * TextPrintout::UnitsScale(*m_pages);
    m_pages->SetZoom(std::min(1.0, (screen.width() * 0.6) / pageWidth));
    resize(m_pages->width() + 40, screen.height() * 4 / 5);
    UpdateStatus();
    m_scroll->setFocus();
}

TextPrintPreview::~TextPrintPreview() = default;

int TextPrintPreview::shownPages() const { return m_pages->pages(); }

bool TextPrintPreview::layoutComplete() const { return m_printout.isComplete(); }

void TextPrintPreview::ZoomBy(qreal factor) {
    const qreal position = m_scroll->verticalScrollBar()->value() / std::max(1.0, qreal(m_pages->height()));
    m_pages->SetZoom(m_pages->zoom() * factor);
    m_scroll->verticalScrollBar()->setValue(static_cast<int>(position * m_pages->height()));
}

void TextPrintPreview::LayOutMore() {
    const int before = m_printout.readyPages();
    const bool complete = m_printout.Continue(kBackgroundSlice);
    if (complete) m_layoutTimer->stop();
    if (m_printout.readyPages() != before || complete) {
        m_pages->UpdateSize();
        UpdateStatus();
    }
    // The feet of the pages shown name the count now.
    if (complete) m_pages->update();
}

QString TextPrintPreview::statusText() const { return m_status->text(); }

void TextPrintPreview::GoToPage(int page) {
    page = std::clamp(page, 1, std::max(1, m_pages->pages()));
    m_scroll->verticalScrollBar()->setValue((page - 1) * m_pages->PageStep());
    UpdateStatus();
}

void TextPrintPreview::UpdateStatus() {
    const int step = std::max(1, m_pages->PageStep());
    const int current = std::clamp(m_scroll->verticalScrollBar()->value() / step + 1, 1, std::max(1, m_pages->pages()));
    // The field follows the page at the top, without going there again.
    const QSignalBlocker quiet(m_pageField);
    m_pageField->setRange(1, std::max(1, m_pages->pages()));
    m_pageField->setSuffix(m_printout.isComplete() ? QStringLiteral(" из %1").arg(m_printout.pageCount())
                                                   : QStringLiteral(" из %1…").arg(m_pages->pages()));
    if (!m_pageField->hasFocus()) m_pageField->setValue(current);
    m_status->setText(m_printout.isComplete()
                          ? QStringLiteral("Страница %1 из %2").arg(current).arg(m_printout.pageCount())
                          : QStringLiteral("Страница %1; подготовлено страниц: %2, идёт подготовка остальных")
                                .arg(current)
                                .arg(m_pages->pages()));
}

}  // namespace Norik
