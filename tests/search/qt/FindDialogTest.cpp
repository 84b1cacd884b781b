// The attribute search dialog, driven through its keys and buttons offscreen over a small base
// built by the test; messages and the result window go to a recording user port.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "../../builder/BuilderTestSupport.h"
#include "Helpers/Folders.h"
#include "TestSupport.h"
#include "builder/BaseBuilder.h"
#include "search/qt/CAutoComboBox.h"
#include "search/qt/CFindDialog.h"
#include "showdata/ListDoc.h"

namespace {

using Norik::CAutoComboBox;
using Norik::CFindDialog;
using NorikTest::W;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// Sections: 1 Налоги (2 Федеральные налоги under it), 3 Труд, 4 Земля.
//   1 "117-ФЗ" Федеральный закон, section 2,       in force
//   2 "12-05"  Письмо,            sections 2 and 4, not in force
//   3 "123"    Указ,              section 3,       in force
//   4 "45"     Постановление,     section 4,       in force
//   5 "7"      Закон,             section 4,       not in force
//   6 "Т-1"    Указ,              section 3,       in force
NorikTest::MemorySource DialogSource() {
    NorikTest::MemorySource source;
    const int date = (2004 - 1900) * 372 + 6 * 31;
    source.tables["descript.ttx"] = "1\n" + std::to_string(date + 40) + "\n";
    source.tables["class.ttx"] = W("4\n1 0 0 0Налоги\n2 1 1 0Федеральные налоги\n3 0 1 0 Труд \n4 0 1 0Земля\n");
    source.tables["typelist.ttx"] = W("Федеральный закон\nУказ\nПисьмо\nПостановление\nЗакон\n");
    struct Row {
        int number, section;
        const char *type, *title, *numberText;
        int inForce;
    };
    const Row rows[] = {
        {1, 2, "Федеральный закон", "О налоге на прибыль", "117-ФЗ", 1},
        {2, 2, "Письмо", "О земельном налоге", "12-05", 0},
        {2, 4, "Письмо", "О земельном налоге", "12-05", 0},
        {3, 3, "Указ", "Об охране труда", "123", 1},
        {4, 4, "Постановление", "О земельных участках", "45", 1},
        {5, 4, "Закон", "О земле", "7", 0},
        {6, 3, "Указ", "Об отпуске", "Т-1", 1},
    };
    std::string items = "7\n";
    for (const Row& row : rows) {
        items += std::to_string(row.number) + " " + std::to_string(row.section) + " " + std::to_string(date) + " " +
                 row.type + "|" + row.title + "|" + row.numberText + "|" + std::to_string(date) + "|" +
                 std::to_string(row.inForce) + "|1\n";
        char name[16];
        std::snprintf(name, sizeof name, "%06d.rtf", row.number);
        source.texts[name] = NorikTest::Rtf(row.title);
    }
    source.tables["Items.ttx"] = W(items);
    return source;
}

class FindDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_base = new NorikTest::TempDir;
        Norik::BuildReport report;
        std::vector<std::string> problems;
        ASSERT_TRUE(
            Norik::BuildBase(DialogSource(), s_base->folder() + "base", Norik::BuildOptions{1}, report, problems))
            << (problems.empty() ? "" : problems.front());
    }
    static void TearDownTestSuite() {
        delete s_base;
        s_base = nullptr;
    }
    void SetUp() override {
        Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = s_base->folder() + "base/"});
        ShowData::ResetTablesForTests();
        ASSERT_EQ(ShowData::CShowClass::Init(m_port), Norik::kOk);
    }
    void TearDown() override {
        m_dialog.reset();
        ShowData::ResetTablesForTests();
        Norik::ConfigureFolders(Norik::FolderSettings{});
    }

    CFindDialog& Open(const std::vector<std::int16_t>* listNumbers = nullptr) {
        m_dialog = std::make_unique<CFindDialog>(m_request, listNumbers, m_port);
        m_dialog->show();
        return *m_dialog;
    }
    template <class Widget>
    Widget* Field(const char* name) {
        auto* found = m_dialog->findChild<Widget*>(Q(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // Types each character of utf8 as a key press with that text.
    static void Type(QWidget* widget, const char* utf8) {
        for (const QChar c : Q(utf8))
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(c.toUpper().unicode()), QString(c), {});
    }
    void Click(const char* button) { QTest::mouseClick(Field<QPushButton>(button), Qt::LeftButton); }
    static std::string Shown(CAutoComboBox* field) { return field->lineEdit()->text().toStdString(); }
    static std::string Selected(CAutoComboBox* field) { return field->lineEdit()->selectedText().toStdString(); }
    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const auto& message : m_port.messages) texts.push_back(Norik::Cp1251ToUtf8(message.text));
        return texts;
    }

    static NorikTest::TempDir* s_base;
    NorikTest::ErrorLogCapture m_log;
    NorikTest::RecordingUserPort m_port;
    ShowData::SearchRequest m_request;
    std::unique_ptr<CFindDialog> m_dialog;
};

NorikTest::TempDir* FindDialogTest::s_base = nullptr;

TEST_F(FindDialogTest, TypeFieldCompletesToTheFirstTypeIgnoringCase) {
    Open();
    auto* type = Field<CAutoComboBox>("type");
    ASSERT_EQ(type->count(), 5);
    Type(type, "а");  // no type begins with А
    EXPECT_EQ(Shown(type), "");
    Type(type, "п");
    EXPECT_EQ(Shown(type), "Письмо");
    EXPECT_EQ(Selected(type), "исьмо");
    // Backspace takes the completed tail; the same entry completes again from what is left.
    QTest::keyClick(type, Qt::Key_Backspace);
    EXPECT_EQ(Shown(type), "П");
    Type(type, "и");
    EXPECT_EQ(Shown(type), "Письмо");
    EXPECT_EQ(Selected(type), "сьмо");
    Type(type, "х");
    EXPECT_EQ(Shown(type), "Письмо");
    QTest::keyClick(type, Qt::Key_Backspace);
    QTest::keyClick(type, Qt::Key_Backspace);
    Type(type, "О");
    EXPECT_EQ(Shown(type), "Постановление");
    EXPECT_EQ(Selected(type), "становление");
}

TEST_F(FindDialogTest, NumberFieldTakesAStarAfterItsDigitsAndEnterSearches) {
    Open();
    auto* number = Field<CAutoComboBox>("number");
    ASSERT_EQ(number->count(), 6);  // "12-05" once
    Type(number, "*");
    EXPECT_EQ(Shown(number), "");
    Type(number, "1");
    EXPECT_EQ(Shown(number), "117-ФЗ");
    EXPECT_EQ(Selected(number), "17-ФЗ");
    Type(number, "2");
    EXPECT_EQ(Shown(number), "12-05");
    EXPECT_EQ(Selected(number), "-05");
    Type(number, "*3");
    EXPECT_EQ(Shown(number), "12*");
    Type(number, "т");  // not at the start of the field: "12*т" begins nothing
    EXPECT_EQ(Shown(number), "12*");

    QTest::keyClick(number, Qt::Key_Return);
    EXPECT_EQ(m_request.numberText, "12*");
    ASSERT_EQ(m_port.resultWindows.size(), 1u);
    EXPECT_EQ(m_port.resultWindows[0].numbers, (std::vector<std::int16_t>{2, 3}));
    EXPECT_EQ(m_dialog->result(), QDialog::Accepted);
}

TEST_F(FindDialogTest, FindWithoutCriteriaSaysSoAndStaysOpen) {
    Open();
    Click("find");
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Не заданы реквизиты поиска!"});
    EXPECT_EQ(m_port.messages[0].buttons, Norik::MessageButtons::Ok);
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_TRUE(m_port.resultWindows.empty());
}

TEST_F(FindDialogTest, ResultWindowOpensOnlyWhenTheUserAgrees) {
    Open();
    auto* section = Field<QComboBox>("section");
    ASSERT_EQ(section->count(), 4);
    EXPECT_EQ(section->itemText(2), Q("Труд"));  // top-level sections only, blanks trimmed
    section->setCurrentIndex(2);
    m_port.answers = {Norik::MessageAnswer::No, Norik::MessageAnswer::Yes};

    Click("find");
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"По Вашему запросу найдено 2 документов!\nПоказать эти документы?"});
    EXPECT_EQ(m_port.messages[0].buttons, Norik::MessageButtons::YesNo);
    EXPECT_TRUE(m_port.resultWindows.empty());
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_EQ(m_request.classId, 3);  // written before the answer

    Click("find");
    ASSERT_EQ(m_port.resultWindows.size(), 1u);
    EXPECT_EQ(m_port.resultWindows[0].numbers, (std::vector<std::int16_t>{3, 6}));
    EXPECT_EQ(m_port.resultWindows[0].request.classId, 3);
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), QDialog::Accepted);
}

TEST_F(FindDialogTest, WithinFoundSearchesOnlyTheListItStartedFrom) {
    m_request.searchArea = 1;
    m_request.type = W("Указ");  // documents 3 and 6
    const std::vector<std::int16_t> list{1, 2};
    Open(&list);
    EXPECT_TRUE(Field<QComboBox>("area")->isEnabled());
    Click("find");
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"По Вашему запросу ничего не найдено!"});
    EXPECT_TRUE(m_dialog->isVisible());

    // From a list without rows, and over the whole base, the stored choice restricts nothing.
    const std::vector<std::int16_t> empty;
    for (const std::vector<std::int16_t>* numbers : {&empty, static_cast<const std::vector<std::int16_t>*>(nullptr)}) {
        m_port.messages.clear();
        m_port.answers = {Norik::MessageAnswer::No};
        Open(numbers);
        EXPECT_EQ(Field<QComboBox>("area")->isEnabled(), numbers != nullptr);
        EXPECT_EQ(Field<QComboBox>("area")->currentIndex(), 1);
        Click("find");
        EXPECT_EQ(MessageTexts(),
                  std::vector<std::string>{"По Вашему запросу найдено 2 документов!\nПоказать эти документы?"});
    }
}

TEST_F(FindDialogTest, ClearShowsTheDefaultsAndLeavesTheRequest) {
    m_request = {.classId = 4,
                 .type = W("указ"),
                 .numberText = W("12*"),
                 .titleWords = W("земле"),
                 .textWords = W("участках"),
                 .inForce = 0,
                 .allWords = 0,
                 .searchArea = 1};
    const ShowData::SearchRequest stored = m_request;
    const std::vector<std::int16_t> list{4, 5};
    Open(&list);
    EXPECT_EQ(Field<QComboBox>("section")->currentText(), Q("Земля"));
    EXPECT_EQ(Shown(Field<CAutoComboBox>("type")), "Указ");
    EXPECT_EQ(Shown(Field<CAutoComboBox>("number")), "12*");
    EXPECT_EQ(Field<QLineEdit>("title")->text(), Q("земле"));
    EXPECT_EQ(Field<QLineEdit>("text")->text(), Q("участках"));
    EXPECT_EQ(Field<QComboBox>("status")->currentIndex(), 2);
    EXPECT_TRUE(Field<QRadioButton>("anyWord")->isChecked());
    EXPECT_EQ(Field<QComboBox>("area")->currentIndex(), 1);

    Click("clear");
    EXPECT_EQ(Field<QComboBox>("section")->currentIndex(), 0);
    EXPECT_EQ(Shown(Field<CAutoComboBox>("type")), "");
    EXPECT_EQ(Shown(Field<CAutoComboBox>("number")), "");
    EXPECT_TRUE(Field<QLineEdit>("title")->text().isEmpty());
    EXPECT_TRUE(Field<QLineEdit>("text")->text().isEmpty());
    EXPECT_TRUE(Field<QRadioButton>("allWords")->isChecked());
    EXPECT_EQ(Field<QComboBox>("status")->currentIndex(), 0);
    EXPECT_EQ(Field<QComboBox>("area")->currentIndex(), 0);
    EXPECT_EQ(m_request, stored);
}

TEST_F(FindDialogTest, ReopeningShowsWhatTheLastFindWrote) {
    Open();
    Field<QComboBox>("section")->setCurrentIndex(3);  // Земля: documents 2, 4 and 5
    auto* number = Field<CAutoComboBox>("number");
    Type(number, "12");
    QTest::keyClick(number, Qt::Key_Backspace);  // a partly typed number
    Field<QComboBox>("status")->setCurrentIndex(2);
    QTest::mouseClick(Field<QRadioButton>("anyWord"), Qt::LeftButton);
    m_port.answers = {Norik::MessageAnswer::No};
    Click("find");
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"По Вашему запросу найдено 1 документов!\nПоказать эти документы?"});
    EXPECT_EQ(m_request, (ShowData::SearchRequest{.classId = 4, .numberText = "12", .inForce = 0, .allWords = 0}));
    m_dialog->reject();

    Open();
    EXPECT_EQ(Field<QComboBox>("section")->currentText(), Q("Земля"));
    EXPECT_EQ(Shown(Field<CAutoComboBox>("type")), "");
    EXPECT_EQ(Shown(Field<CAutoComboBox>("number")), "12");
    EXPECT_EQ(Field<QComboBox>("status")->currentIndex(), 2);
    EXPECT_TRUE(Field<QRadioButton>("anyWord")->isChecked());
}

TEST_F(FindDialogTest, KeyboardAndScreenReaderReachEveryField) {
    Open(nullptr);
    QApplication::setActiveWindow(m_dialog.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_dialog.get()));
    QTest::sendKeyEvent(QTest::Click, m_dialog.get(), Qt::Key(0x041D), QString(), Qt::AltModifier);  // Alt+Н: "Номер"
    EXPECT_EQ(QApplication::focusWidget(), Field<CAutoComboBox>("number"));
    QAccessibleInterface* number = QAccessible::queryAccessibleInterface(Field<CAutoComboBox>("number"));
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(number->text(QAccessible::Name), Q("Номер"));

    Field<QComboBox>("section")->setFocus();
    std::vector<std::string> order;
    for (int i = 0; i < 10; ++i) {
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // The unchecked radio button and the disabled area list take no stop.
    EXPECT_EQ(order, (std::vector<std::string>{"section", "type", "number", "title", "text", "allWords", "status",
                                               "clear", "find", "cancel"}));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
