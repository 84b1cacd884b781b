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
#include <filesystem>
#include <memory>

#include "BuilderTestSupport.h"
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
    source.tables["descript.ttx"] = "1\n38000\n";
    source.tables["class.ttx"] = W("4\n1 0 0 0Налоги\n2 1 1 0Федеральные налоги\n3 0 1 0 Труд \n4 0 1 0Земля\n");
    source.tables["typelist.ttx"] = W("Федеральный закон\nУказ\nПисьмо\nПостановление\nЗакон\n");
    source.tables["Items.ttx"] =
        W("7\n"
          "1 2 38000 Федеральный закон|О налоге на прибыль|117-ФЗ|38000|1|1\n"
          "2 2 38000 Письмо|О земельном налоге|12-05|38000|0|1\n"
          "2 4 38000 Письмо|О земельном налоге|12-05|38000|0|1\n"
          "3 3 38000 Указ|Об охране труда|123|38000|1|1\n"
          "4 4 38000 Постановление|О земельных участках|45|38000|1|1\n"
          "5 4 38000 Закон|О земле|7|38000|0|1\n"
          "6 3 38000 Указ|Об отпуске|Т-1|38000|1|1\n");
    for (const char* name : {"000001.rtf", "000002.rtf", "000003.rtf", "000004.rtf", "000005.rtf", "000006.rtf"})
        source.texts[name] = NorikTest::Rtf("Текст документа");
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

    void Open(const std::vector<std::int16_t>* listNumbers = nullptr) {
        m_dialog = std::make_unique<CFindDialog>(m_request, listNumbers, m_port);
        m_dialog->show();
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
    // The text of a completing field with its selected part in brackets: "П[исьмо]".
    static std::string Shown(CAutoComboBox* field) {
        const QLineEdit* edit = field->lineEdit();
        QString text = edit->text();
        if (edit->hasSelectedText())
            text.insert(edit->selectionEnd(), QLatin1Char(']')).insert(edit->selectionStart(), QLatin1Char('['));
        return text.toStdString();
    }
    // Every field: "section|type|number|title|text|words|status|area".
    std::string Fields() {
        const QString fields[] = {Field<QComboBox>("section")->currentText(),
                                  Field<CAutoComboBox>("type")->currentText(),
                                  Field<CAutoComboBox>("number")->currentText(),
                                  Field<QLineEdit>("title")->text(),
                                  Field<QLineEdit>("text")->text(),
                                  Field<QRadioButton>("allWords")->isChecked() ? Q("all") : Q("any"),
                                  QString::number(Field<QComboBox>("status")->currentIndex()),
                                  QString::number(Field<QComboBox>("area")->currentIndex())};
        return QStringList(std::begin(fields), std::end(fields)).join(QLatin1Char('|')).toStdString();
    }
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
    EXPECT_EQ(Shown(type), "П[исьмо]");
    // Backspace takes the completed tail; the same entry completes again from what is left.
    QTest::keyClick(type, Qt::Key_Backspace);
    EXPECT_EQ(Shown(type), "П");
    Type(type, "и");
    EXPECT_EQ(Shown(type), "Пи[сьмо]");
    Type(type, "х");
    EXPECT_EQ(Shown(type), "Пи[сьмо]");
    QTest::keyClick(type, Qt::Key_Backspace);
    QTest::keyClick(type, Qt::Key_Backspace);
    Type(type, "О");
    EXPECT_EQ(Shown(type), "По[становление]");
}

TEST_F(FindDialogTest, NumberFieldTakesAStarAfterItsDigitsAndEnterSearches) {
    Open();
    auto* number = Field<CAutoComboBox>("number");
    ASSERT_EQ(number->count(), 6);  // "12-05" once
    Type(number, "*");
    EXPECT_EQ(Shown(number), "");
    Type(number, "1");
    EXPECT_EQ(Shown(number), "1[17-ФЗ]");
    Type(number, "2");
    EXPECT_EQ(Shown(number), "12[-05]");
    Type(number, "*3т");  // after the star nothing begins an entry
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
    EXPECT_EQ(Fields(), "Земля|Указ|12*|земле|участках|any|2|1");
    Click("clear");
    EXPECT_EQ(Fields(), "Все разделы|||||all|0|0");
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
    EXPECT_EQ(Fields(), "Земля||12|||any|2|0");
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
    for (int i = 0; i < 12; ++i) {
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // The unchecked radio button and the disabled area list take no stop.
    EXPECT_EQ(order, (std::vector<std::string>{"section", "type", "number", "title", "text", "allWords", "dateFrom",
                                               "dateTo", "status", "clear", "find", "cancel"}));
}

// A range of dates alone is a search; a date the calendar lacks is said, and nothing is searched.
TEST_F(FindDialogTest, DatesOfIntroductionAreASearchAndAWrongDateIsSaid) {
    Open();
    auto* from = Field<QLineEdit>("dateFrom");
    QTest::keyClicks(from, "31.02.2002");
    Click("find");
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Дата «31.02.2002» не распознана.\nВведите дату в виде "
                                                       "ДД.ММ.ГГГГ, например 01.07.2004."});
    EXPECT_EQ(m_request, ShowData::SearchRequest{});
    from->clear();
    QTest::keyClicks(Field<QLineEdit>("dateTo"), "26.02.2002");  // the day of every document
    m_port.answers = {Norik::MessageAnswer::No};
    Click("find");
    EXPECT_EQ(MessageTexts().back(), "По Вашему запросу найдено 6 документов!\nПоказать эти документы?");
    EXPECT_EQ(m_request, (ShowData::SearchRequest{.introducedTo = 38000}));
}

}  // namespace

// A dialog's search on a base built from DialogSource and then damaged.
class FindDialogDamage : public ::testing::Test {
protected:
    void TearDown() override {
        ShowData::ResetTablesForTests();
        Norik::ConfigureFolders(Norik::FolderSettings{});
    }
    std::string Build() {
        Norik::BuildReport report;
        std::vector<std::string> problems;
        EXPECT_TRUE(
            Norik::BuildBase(DialogSource(), m_base.folder() + "base", Norik::BuildOptions{1}, report, problems));
        return m_base.folder() + "base/";
    }
    // Runs request through the dialog over the base in folder; true while the dialog stays open.
    bool Find(const std::string& folder, const ShowData::SearchRequest& asked) {
        Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = folder});
        ShowData::ResetTablesForTests();
        EXPECT_EQ(ShowData::CShowClass::Init(m_port), Norik::kOk);
        ShowData::SearchRequest request = asked;
        CFindDialog dialog(request, nullptr, m_port);
        dialog.show();
        QTest::mouseClick(dialog.findChild<QPushButton*>(Q("find")), Qt::LeftButton);
        return dialog.isVisible();
    }
    std::string Said() const {
        return m_port.messages.size() == 1 ? Norik::Cp1251ToUtf8(m_port.messages[0].text) : "(not one message)";
    }

    NorikTest::TempDir m_base;
    NorikTest::ErrorLogCapture m_log;
    NorikTest::RecordingUserPort m_port;
};

TEST_F(FindDialogDamage, AnIndexThatCannotBeReadIsSaidSoNotNothingFound) {
    const std::string folder = Build();
    std::filesystem::remove(folder + "clasidx.ttx");
    ShowData::SearchRequest request;
    request.classId = 3;
    EXPECT_TRUE(Find(folder, request));
    const std::string text = Said();
    EXPECT_EQ(text.rfind("Не удаётся прочитать указатель базы данных", 0), 0u) << text;
    // The user is told in Russian; the exact technical text is for the error log.
    EXPECT_NE(text.find("clasidx.ttx: файл не удаётся открыть"), std::string::npos) << text;
    EXPECT_EQ(text.find("cannot be opened"), std::string::npos) << text;
    EXPECT_TRUE(m_port.resultWindows.empty());
}

TEST_F(FindDialogDamage, TheCountAnnouncedIsTheCountTheListShows) {
    const std::string folder = Build();
    // The table cut after its third row keeps documents 1 and 2; the indexes still name all six.
    std::string bytes = NorikTest::ReadFile(folder + "Items.ttx");
    std::size_t end = 0;
    for (int line = 0; line < 4; ++line) end = bytes.find('\n', end) + 1;
    NorikTest::WriteFile(folder + "Items.ttx", bytes.substr(0, end));
    ShowData::SearchRequest request;
    request.inForce = 1;
    Find(folder, request);
    EXPECT_NE(Said().find("найдено 1 документов"), std::string::npos) << Said();
    ASSERT_EQ(m_port.resultWindows.size(), 1u);
    EXPECT_EQ(m_port.resultWindows[0].numbers, std::vector<std::int16_t>{1});
}
