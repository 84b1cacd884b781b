// Printing a text window's text: what reaches the paper (indents, title, page numbers, date of the
// base), the file name offered for a PDF, and the preview that shows its first pages at once.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTimer>
#include <functional>

#include "ViewsFixture.h"
#include "frame/CommandIds.h"
#include "views/TextPrinting.h"

namespace NorikTest {
namespace {

using Norik::Cvelda1View;

// The words of each page of a PDF with their boxes (points), as pdftotext -bbox gives them.
struct PdfWord {
    QString text;
    double xMin, yMin;
};
struct PdfPage {
    double height = 0;
    std::vector<PdfWord> words;
    // The words of the line whose top lies between two heights, in order.
    QString LineBetween(double top, double bottom) const {
        QStringList line;
        for (const PdfWord& w : words) {
            if (w.yMin >= top && w.yMin < bottom) line << w.text;
        }
        return line.join(' ');
    }
};

std::vector<PdfPage> ReadPdf(const std::string& path) {
    std::vector<PdfPage> pages;
    const CommandResult run = RunShell("pdftotext -bbox '" + path + "' -");
    if (run.status != 0) return pages;
    const QString html = QString::fromStdString(run.output);
    const QRegularExpression page(QStringLiteral("<page width=\"[0-9.]+\" height=\"([0-9.]+)\">(.*?)</page>"),
                                  QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression word(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"[0-9.]+\">([^<]*)</word>"));
    for (auto p = page.globalMatch(html); p.hasNext();) {
        const auto pm = p.next();
        PdfPage out;
        out.height = pm.captured(1).toDouble();
        const QString body = pm.captured(2);
        for (auto it = word.globalMatch(body); it.hasNext();) {
            const auto m = it.next();
            out.words.push_back({m.captured(3), m.captured(1).toDouble(), m.captured(2).toDouble()});
        }
        pages.push_back(std::move(out));
    }
    return pages;
}

// Collects what Qt says while it lives.
class QtMessages {
public:
    QtMessages() {
        s_current = this;
        m_previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { s_current->m_texts << text; });
    }
    ~QtMessages() {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QString joined() const { return m_texts.join('\n'); }

private:
    static inline QtMessages* s_current = nullptr;
    QtMessageHandler m_previous;
    QStringList m_texts;
};

// Runs check on the modal dialog of type T that the next command opens, then closes it.
template <typename T>
void WithModal(const std::function<void(T&)>& check) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, check] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        check(*dialog);
        dialog->reject();
    });
    poll->start(5);
}

TEST_F(ViewsTest, APrintoutKeepsTheIndentsOfTheScreenAndCarriesTitlePageNumbersAndDate) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    TempDir out;
    PdfPrinter printer(out.file("code.pdf"));
    printer.setFromTo(1, 2);
    QtMessages messages;
    view->PrintTo(&printer);
    // Text layout and fonts stay on the window's thread.
    EXPECT_FALSE(messages.joined().contains(QStringLiteral("QBasicTimer"))) << messages.joined().toStdString();
    // The PDF written beside it took its place: nothing else is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);
    EXPECT_EQ(printer.outputFileName(), QString::fromStdString(out.file("code.pdf")));

    const std::vector<PdfPage> pages = ReadPdf(out.file("code.pdf"));
    ASSERT_EQ(pages.size(), 2u);
    // The title heads each page, inside the top margin of 36 points.
    EXPECT_EQ(pages[0].LineBetween(36, 48), QStringLiteral("О порядке ../ввода/вывода: часть {1}"));
    const QString date = QStringLiteral("05.03.2007");
    const QRegularExpression foot(QStringLiteral("^Страница (\\d+) из (\\d+) Дата последнего обновления: (.*)$"));
    QString counts[2];
    for (int i = 0; i < 2; ++i) {
        const double bottom = pages[i].height - 36;
        const auto m = foot.match(pages[i].LineBetween(bottom - 12, bottom));
        ASSERT_TRUE(m.hasMatch()) << pages[i].LineBetween(bottom - 12, bottom).toStdString();
        EXPECT_EQ(m.captured(1).toInt(), i + 1);
        EXPECT_EQ(m.captured(3), date);
        counts[i] = m.captured(2);
    }
    EXPECT_GT(counts[0].toInt(), 2);
    EXPECT_EQ(counts[0], counts[1]);

    // The code's paragraphs indent their first line by 400 twips (20 points), as on the screen;
    // their other lines start at the margin.
    int indented = 0, atMargin = 0;
    for (const PdfWord& w : pages[0].words) {
        if (std::abs(w.xMin - 56) < 1) ++indented;
        if (std::abs(w.xMin - 36) < 1) ++atMargin;
    }
    EXPECT_GE(indented, 3);
    EXPECT_GE(atMargin, 10);
}

// A print that stops leaves no PDF cut short and the file the user chose as it was.
TEST_F(ViewsTest, APrintCancelledWhilePagesAreWrittenLeavesTheChosenFileAsItWas) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    TempDir out;
    WriteFile(out.file("code.pdf"), "an earlier printout");
    PdfPrinter printer(out.file("code.pdf"));
    bool cancelled = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (cancelled || !progress || progress->labelText() != QStringLiteral("Подождите, идёт печать")) return;
        cancelled = true;
        progress->cancel();
    });
    poll.start(1);
    view->PrintTo(&printer);
    if (!cancelled) GTEST_SKIP() << "the pages were written before the progress showed";
    EXPECT_EQ(ReadFile(out.file("code.pdf")), "an earlier printout");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);
}

TEST_F(ViewsTest, PrintingToAFileOffersTheNameSaveOffers) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    QString offered;
    WithModal<QPrintDialog>([&](QPrintDialog& dialog) {
        if (auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("filename"))) offered = field->text();
    });
    view->ExecuteCommand(Norik::Command::kFilePrint);
    EXPECT_TRUE(offered.endsWith(QStringLiteral("/О порядке .._ввода_вывода_ часть {1}.pdf"))) << offered.toStdString();
}

TEST_F(ViewsTest, ThePreviewShowsItsFirstPagesAtOnceAndTheRestAsTheyAreLaidOut) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    int atOnce = 0, atEnd = 0;
    QString status;
    WithModal<Norik::TextPrintPreview>([&](Norik::TextPrintPreview& preview) {
        atOnce = preview.shownPages();
        QElapsedTimer clock;
        clock.start();
        while (!preview.statusText().contains(QStringLiteral(" из ")) && clock.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        preview.grab();
        atEnd = preview.shownPages();
        status = preview.statusText();
    });
    view->ExecuteCommand(Norik::Command::kFilePrintPreview);
    EXPECT_GE(atOnce, 1);
    EXPECT_LT(atOnce, atEnd);
    EXPECT_EQ(status, QStringLiteral("Страница 1 из %1").arg(atEnd));
}

}  // namespace
}  // namespace NorikTest
