// The list window's view and its row model over a small base: what the rows show and how they
// open, the empty list, the tool tips and colours, and the base information dialog.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <cmath>
#include <filesystem>

#include "Helpers/Folders.h"
#include "Helpers/qt/QtText.h"
#include "QtTestSupport.h"
#include "TestSupport.h"
#include "frame/CommandIds.h"
#include "frame/CommandTarget.h"
#include "index/IndexSpace.h"
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

// A document list shows each document's date and status beside its row text, those no longer in
// force in grey; a classifier level keeps one column without a header.
TEST_F(ListDocViewTest, DocumentRowsShowTheirDateAndStatus) {
    m_document->model().ShowNode(0, "");
    EXPECT_EQ(m_view->model()->columnCount(), 1);
    EXPECT_TRUE(m_view->header()->isHidden());
    Open(0);
    Open(1);  // Местные налоги: documents 2 (2 July 2004, not in force) and 5 (1 July 2004), newest first
    ASSERT_EQ(m_view->model()->columnCount(), 3);
    EXPECT_FALSE(m_view->header()->isHidden());
    const auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
        return m_view->model()->index(row, column).data(role).toString();
    };
    EXPECT_EQ(cell(0, CListDocModel::kTextColumn), ToQString(m_document->model().GetText(0)));
    EXPECT_EQ(cell(0, CListDocModel::kDateColumn), QStringLiteral("02.07.2004"));
    EXPECT_EQ(cell(0, CListDocModel::kStatusColumn), QStringLiteral("не действует"));
    EXPECT_EQ(cell(1, CListDocModel::kDateColumn), QStringLiteral("01.07.2004"));
    EXPECT_EQ(cell(1, CListDocModel::kStatusColumn), QStringLiteral("действует"));
    EXPECT_EQ(cell(1, CListDocModel::kDateColumn, Qt::AccessibleTextRole), QStringLiteral("дата 01.07.2004"));

    // Neither row selected nor under the cursor: the darkest ink of each row's text is its colour.
    m_view->selectionModel()->clear();
    const QImage image = m_view->viewport()->grab().toImage();
    const auto darkest = [&](int row) {
        const QRect box = m_view->visualRect(m_view->model()->index(row, CListDocModel::kTextColumn));
        int value = 255;
        for (int y = box.top() + 1; y < box.bottom() - 1; ++y)
            for (int x = box.left(); x < box.right(); ++x) value = std::min(value, qGray(image.pixel(x, y)));
        return value;
    };
    EXPECT_NEAR(darkest(0), 96, 12);
    EXPECT_LT(darkest(1), 40);
}

// A click on the date or the row text header sorts as the sort commands do, a second click on the
// same header reverses the order, and the header and the commands show the same choice.
TEST_F(ListDocViewTest, HeaderClicksSortAsTheSortCommands) {
    m_document->model().ShowNode(0, "");
    Open(0);
    Open(0);  // Федеральные налоги: 2 "По вопросу…" of 2 July 2004, 1 "О налоге…" of 1 July 2004
    QHeaderView* header = m_view->header();
    const auto click = [&](int column) {
        const QPoint inside(header->sectionViewportPosition(column) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, inside);
    };
    const auto numbers = [&] {
        return std::vector<int>{m_document->model().GetNumber(0), m_document->model().GetNumber(1)};
    };
    const auto checked = [&](int command) {
        CommandState state;
        m_view->UpdateCommand(command, state);
        return state.checked;
    };
    EXPECT_EQ(header->sortIndicatorSection(), CListDocModel::kDateColumn);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    click(CListDocModel::kDateColumn);  // the date again: oldest first
    EXPECT_EQ(numbers(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(checked(Command::kSortDescending));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    click(CListDocModel::kTextColumn);  // by title, the descending flag kept: Я to А
    EXPECT_EQ(numbers(), (std::vector<int>{2, 1}));
    EXPECT_TRUE(checked(Command::kSortByTitle));
    EXPECT_FALSE(checked(Command::kSortByDate));
    EXPECT_EQ(header->sortIndicatorSection(), CListDocModel::kTextColumn);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    click(CListDocModel::kStatusColumn);  // no sort command stands for the status
    EXPECT_EQ(numbers(), (std::vector<int>{2, 1}));
    EXPECT_EQ(header->sortIndicatorSection(), CListDocModel::kTextColumn);

    m_view->ExecuteCommand(Command::kSortDescending);
    EXPECT_EQ(numbers(), (std::vector<int>{1, 2}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    m_view->ExecuteCommand(Command::kSortByNumber);  // no column of its own
    EXPECT_EQ(header->sortIndicatorSection(), -1);
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
    EXPECT_EQ(CListRowDelegate::ColoursOf(false, false, false, true).text, QColor(96, 96, 96));
    for (const bool folder : {false, true}) {
        for (const bool visited : {false, true}) {
            for (const bool selected : {false, true}) {
                // Documents no longer in force are greyed but readable, also on the pale blue.
                for (const bool outOfForce : {false, true}) {
                    const auto colours = CListRowDelegate::ColoursOf(folder, visited, selected, outOfForce);
                    // Invalid colours are the system's: black on white, or its own highlight.
                    const QColor text = colours.text.isValid() ? colours.text : QColor(Qt::black);
                    const QColor background = colours.background.isValid() ? colours.background : QColor(Qt::white);
                    if (selected && !folder) {
                        EXPECT_FALSE(colours.text.isValid() || colours.background.isValid()) << visited;
                        continue;
                    }
                    EXPECT_GE(Contrast(text, background), 4.5) << folder << visited << selected << outOfForce;
                    if (selected) {
                        EXPECT_EQ(colours.background, blue) << visited;
                    }
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
