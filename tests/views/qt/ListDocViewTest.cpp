// The list window's view and its row model over a small base: what the rows show and how they
// open, the empty list, the tool tips and colours, and the base information dialog.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <cmath>
#include <filesystem>

#include "Helpers/Folders.h"
#include "QtTestSupport.h"
#include "TestSupport.h"
#include "app/CommandIds.h"
#include "index/IndexSpace.h"
#include "platform/qt/QtText.h"
#include "showdata/ListDoc.h"
#include "views/BaseInfo.h"
#include "views/ListDocView.h"
#include "views/ListDocument.h"

namespace NorikTest {
namespace {

using namespace Norik;

class ListDocViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_base = new TempDir;
        BuildSmallBase(s_base->file("base"));
    }
    static void TearDownTestSuite() {
        delete s_base;
        s_base = nullptr;
    }
    void SetUp() override {
        ConfigureFolders(FolderSettings{.baseOverride = s_base->file("base")});
        ShowData::ResetTablesForTests();
        m_document = std::make_unique<CListDocument>(m_port);
        m_view = std::make_unique<CListDocView>(*m_document, m_port, [this](int number) { m_cards.push_back(number); });
        m_view->resize(600, 300);
        m_view->show();
        m_view->OnInitialUpdate();
    }
    void TearDown() override {
        m_view.reset();
        m_document.reset();
        ShowData::ResetTablesForTests();
        ConfigureFolders(FolderSettings{});
    }

    void Open(int row) {
        m_view->setCurrentIndex(m_view->model()->index(row, 0));
        QTest::keyClick(m_view.get(), Qt::Key_Return);
    }
    QString Row(int row) { return m_view->model()->index(row, 0).data().toString(); }

    static inline TempDir* s_base = nullptr;
    ErrorLogCapture m_log;
    RecordingUserPort m_port;
    std::vector<int> m_cards;
    std::unique_ptr<CListDocument> m_document;
    std::unique_ptr<CListDocView> m_view;
};

TEST_F(ListDocViewTest, TheRowModelStaysConsistentThroughNavigationAndSorting) {
    QAbstractItemModelTester tester(m_view->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    m_document->model().ShowNode(0, "");
    EXPECT_EQ(m_view->model()->rowCount(), 1);
    Open(0);
    Open(1);  // Местные налоги: documents 2 and 5
    EXPECT_EQ(m_view->model()->rowCount(), 2);
    m_view->ExecuteCommand(Command::kSortByNumber);
    m_view->ExecuteCommand(Command::kSortDescending);
    m_document->ExecuteCommand(Command::kBack);
    m_document->ExecuteCommand(Command::kBack);
    EXPECT_EQ(m_view->model()->rowCount(), 1);
    EXPECT_EQ(Row(0), QStringLiteral("Налоги и сборы"));
}

TEST_F(ListDocViewTest, OpeningTheFirstRowKeepsItsSelectionAndALaterRowLosesIt) {
    m_document->model().ShowNode(0, "");
    Open(0);
    Open(0);  // Федеральные налоги
    Open(0);
    EXPECT_EQ(m_port.openedTexts.size(), 1u);
    EXPECT_EQ(m_view->SelectedRow(), 0);
    Open(1);
    EXPECT_EQ(m_port.openedTexts, (std::vector<std::string>{"000002", "000001"}));
    EXPECT_EQ(m_view->SelectedRow(), -1);
    EXPECT_TRUE(m_view->model()->index(1, 0).data(CListDocModel::kVisitedRole).toBool());
}

// Backspace goes up as "Назад" does, and the cursor comes back to the row the level was left by.
TEST_F(ListDocViewTest, BackspaceGoesUpToTheRowTheUserCameFrom) {
    m_document->model().ShowNode(0, "");
    Open(0);
    Open(1);  // Местные налоги
    ASSERT_EQ(m_document->model().history().size(), 2u);
    QTest::keyClick(m_view.get(), Qt::Key_Backspace);
    EXPECT_EQ(m_document->model().history().size(), 1u);
    EXPECT_EQ(m_view->SelectedRow(), 1);
    EXPECT_EQ(m_view->currentIndex().row(), 1);
    m_view->ExecuteCommand(Command::kBack);
    EXPECT_EQ(m_view->SelectedRow(), 0);
    QTest::keyClick(m_view.get(), Qt::Key_Backspace);  // the top: nothing happens
    EXPECT_EQ(m_view->model()->rowCount(), 1);
}

TEST_F(ListDocViewTest, InformationAndFileNameCommandsUseTheSelectedRow) {
    m_document->model().ShowNode(0, "");
    m_view->ExecuteCommand(Command::kFileNumber);
    ASSERT_EQ(m_port.messages.size(), 1u);
    EXPECT_EQ(ToQString(m_port.messages[0].text), QStringLiteral("Номер классификатора - 1"));
    Open(0);
    Open(1);
    m_view->setCurrentIndex(m_view->model()->index(1, 0));
    const int number = m_document->model().GetNumber(1);
    m_view->ExecuteCommand(Command::kDocumentInformation);
    EXPECT_EQ(m_cards, std::vector<int>{number});
    m_view->ExecuteCommand(Command::kFileNumber);
    EXPECT_EQ(ToQString(m_port.messages.back().text), QString::asprintf("Имя файла - %06d", number));
}

TEST_F(ListDocViewTest, AnEmptyListSaysSoTenPixelsBelowTheTop) {
    m_document->model().ShowSearchResult({}, ShowData::SearchRequest{});
    ASSERT_EQ(m_view->model()->rowCount(), 0);
    EXPECT_EQ(m_view->accessibleDescription(), QStringLiteral("Список пуст"));
    const QImage image = m_view->viewport()->grab().toImage();
    const QColor background = m_view->palette().color(QPalette::Base);
    auto inkInRows = [&](int top, int bottom) {
        int ink = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < image.width(); ++x) ink += QColor(image.pixel(x, y)) != background;
        return ink;
    };
    EXPECT_EQ(inkInRows(0, 10), 0);
    EXPECT_GT(inkInRows(10, 10 + m_view->fontMetrics().height()), 20);
    // Centred: the text's ink lies around the middle column.
    int left = image.width(), right = 0;
    for (int y = 10; y < 10 + m_view->fontMetrics().height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (QColor(image.pixel(x, y)) != background) left = std::min(left, x), right = std::max(right, x);
    EXPECT_NEAR((left + right) / 2.0, image.width() / 2.0, 4);
}

TEST(ListTipTest, BreaksLongTextsAtTheLastSpaceWithinAHundredCharacters) {
    // 250 characters: words of 9 letters and a space, so spaces at 9, 19, ... 99, 109, ...
    QString text;
    while (text.size() < 250) text += QStringLiteral("абвгдежзи ");
    text.truncate(250);
    const QStringList lines = WrapTipText(text).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].size(), 99);  // broken at the space at position 99
    EXPECT_EQ(lines[1].size(), 99);  // the next at 100 characters after the first break
    const QString solid(150, QChar(u'ж'));
    const QString broken = WrapTipText(solid);
    EXPECT_EQ(broken.indexOf('\n'), 100);
    EXPECT_EQ(broken.size(), 150);
    EXPECT_EQ(WrapTipText(QString(100, 'a')), QString(100, 'a'));
}

// Contrast of two colours as the web's accessibility guidelines measure it (1 to 21).
double Contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Classifier rows are blue and visited rows pale blue, and every row reads clearly in every state:
// the selected one, visited or not, stands in the selection's colours.
TEST(ListRowColoursTest, EveryRowIsReadableAndTheSelectedOneShowsAsSelected) {
    const QColor blue(0, 51, 204), pale(208, 224, 240);
    EXPECT_EQ(CListRowDelegate::ColoursOf(true, false, false).text, blue);
    EXPECT_EQ(CListRowDelegate::ColoursOf(false, true, false).background, pale);
    EXPECT_EQ(CListRowDelegate::ColoursOf(true, true, false).background, pale);
    for (const bool folder : {false, true}) {
        for (const bool visited : {false, true}) {
            for (const bool selected : {false, true}) {
                const auto colours = CListRowDelegate::ColoursOf(folder, visited, selected);
                // Invalid colours are the system's: black on white, or its own highlight.
                const QColor text = colours.text.isValid() ? colours.text : QColor(Qt::black);
                const QColor background = colours.background.isValid() ? colours.background : QColor(Qt::white);
                if (selected && !folder) {
                    EXPECT_FALSE(colours.text.isValid() || colours.background.isValid()) << visited;
                    continue;
                }
                EXPECT_GE(Contrast(text, background), 4.5) << folder << visited << selected;
                if (selected) {
                    EXPECT_EQ(colours.background, blue) << visited;
                }
            }
        }
    }
}

TEST_F(ListDocViewTest, ToolTipsAreRowTextsKeptAsPlainText) {
    m_document->model().ShowNode(0, "");
    const QString tip = m_view->model()->index(0, 0).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains(QStringLiteral("Налоги и сборы")));
    EXPECT_TRUE(tip.contains(QStringLiteral("white-space:pre")));
}

TEST_F(ListDocViewTest, BaseInformationShowsTheFourFigures) {
    CBaseInfo dialog;
    // Documents 1, 2 (filed twice) and 5; the base date 5 March 2007; the word index's postings per
    // table row (four rows).
    EXPECT_EQ(dialog.valueField(0)->text(), QStringLiteral("3"));
    EXPECT_EQ(dialog.valueField(1)->text(), QStringLiteral("5/3/2007"));
    EXPECT_EQ(dialog.valueField(2)->text(), QString::number(IndexSpace::TextWordIndex().Count()));
    EXPECT_GT(dialog.valueField(2)->text().toInt(), 10);
    EXPECT_EQ(dialog.valueField(3)->text(), QString::number(IndexSpace::TextWordIndex().TotalRefs() / 4));
}

// A word index cut in half, or missing: its figures are not passed off as the base's.
TEST_F(ListDocViewTest, BaseInformationSaysWhyTheWordFiguresAreUnknown) {
    const struct {
        bool cut;
        const char* why;
    } cases[] = {{true, "файл обрывается"}, {false, "файл не удаётся открыть"}};
    for (const auto& c : cases) {
        TempDir damaged;
        std::filesystem::copy(s_base->file("base"), damaged.file("base"));
        const std::string index = damaged.file("base/index.ttx");
        if (c.cut)
            std::filesystem::resize_file(index, std::filesystem::file_size(index) / 2);
        else
            std::filesystem::remove(index);
        ConfigureFolders(FolderSettings{.baseOverride = damaged.file("base")});
        ShowData::ResetTablesForTests();
        CBaseInfo dialog;
        EXPECT_EQ(dialog.valueField(0)->text(), QStringLiteral("3"));
        EXPECT_EQ(dialog.valueField(2)->text(), QStringLiteral("неизвестно"));
        EXPECT_EQ(dialog.valueField(3)->text(), QStringLiteral("неизвестно"));
        ASSERT_NE(dialog.damageNote(), nullptr);
        EXPECT_TRUE(dialog.damageNote()->text().contains(QString::fromStdString(index + ": " + c.why)))
            << dialog.damageNote()->text().toStdString();
    }
}

}  // namespace
}  // namespace NorikTest
