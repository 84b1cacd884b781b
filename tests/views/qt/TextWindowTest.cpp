// Text windows: opening from a list (with the disk question), the long text that shows early,
// links, find, save, the copy for the word processor, printing, and the window's commands.
#include <sys/resource.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <csignal>

#include "../../Helpers/CompoundFileTestWriter.h"
#include "Helpers/BaseLimits.h"
#include "ViewsFixture.h"
#include "frame/CommandIds.h"
#include "richtext/qt/RtfDocumentBuilder.h"
#include "views/ContentsPane.h"
#include "views/FindTextDialog.h"
#include "views/TextPage.h"
#include "views/TextZoom.h"

namespace NorikTest {
namespace {

using Norik::Cvelda1Doc;
using Norik::Cvelda1View;
using Norik::FileNameFromTitle;
namespace Command = Norik::Command;

std::string Texts(const std::vector<RecordingUserPort::Message>& messages) {
    std::string all;
    for (const auto& m : messages) all += Norik::Cp1251ToUtf8(m.text) + "|";
    return all;
}

TEST_F(ViewsTest, AMissingContainerAsksForTheDiskUntilTheTextOpensOrTheUserCancels) {
    auto list = std::make_shared<ShowData::CShowDoc>(m_port);
    list->SetParent(3, "Местные налоги");
    ASSERT_EQ(list->GetNumber(0), 7);  // the newest document first
    {
        ContainerAway disk;
        m_port.answers = {Norik::MessageAnswer::Ok, Norik::MessageAnswer::Ok};  // the message, the question
        // The user inserts the disk while the question is up.
        m_port.afterMessage = [&] {
            if (m_port.messages.size() == 2) disk.Restore();
        };
        list->Open(0);
    }
    EXPECT_EQ(Texts(m_port.messages), "Failed to open document.|Вставьте диск 1|");
    EXPECT_EQ(m_port.messages[1].buttons, Norik::MessageButtons::OkCancel);
    ASSERT_EQ(m_port.views.size(), 1u);
    EXPECT_EQ(m_port.views[0]->windowTitle(), QStringLiteral("О порядке ../ввода/вывода: часть {1}"));
    EXPECT_EQ(m_port.views[0]->GetDocument()->pathName(), QStringLiteral("000007"));

    m_port.messages.clear();
    // Each failure's message takes an answer too: OK twice, then Cancel on the second question.
    m_port.answers = {Norik::MessageAnswer::Ok, Norik::MessageAnswer::Ok, Norik::MessageAnswer::Ok,
                      Norik::MessageAnswer::Cancel};
    m_port.afterMessage = nullptr;
    {
        ContainerAway disk;
        list->Open(0);
    }
    EXPECT_EQ(Texts(m_port.messages),
              "Failed to open document.|Вставьте диск 1|Failed to open document.|Вставьте диск 1|");
    EXPECT_EQ(m_port.views.size(), 1u);
    EXPECT_EQ(m_log.entryCount(), 0);
}

// A text that is there but refused (too large, or a header the reader cannot take) is said once;
// no disk holds a better copy, so the disk is not asked for, and no window stays open.
TEST_F(ViewsTest, ARefusedTextIsSaidOnceWithoutTheDiskQuestion) {
    auto list = std::make_shared<ShowData::CShowDoc>(m_port);
    list->SetParent(3, "Местные налоги");
    ASSERT_EQ(list->GetNumber(0), 7);
    const std::string entry = NorikTest::XzEntry("{\\rtf1 text}", "", m_tempFolder);
    std::string malformed = entry.substr(0, 13);
    malformed[0] = '\xFF';  // no valid literal, position and bit counts
    std::string tooLarge = entry;
    NorikTest::Store32(tooLarge, 5, Norik::kMaxDocumentTextBytes + 1);
    for (const auto& [stored, said] :
         {std::pair{malformed, "Failed to open document.|"}, std::pair{tooLarge, "Документ слишком велик|"}}) {
        ContainerAway disk;
        NorikTest::WriteFile(Base().folder + "/Norik.sdb", NorikTest::BuildCompoundFile({{u"000007.t", stored}}));
        m_port.messages.clear();
        m_port.answers = {Norik::MessageAnswer::Ok, Norik::MessageAnswer::Cancel};
        list->Open(0);
        QCoreApplication::processEvents();
        std::filesystem::remove(Base().folder + "/Norik.sdb");
        EXPECT_EQ(Texts(m_port.messages), said);
        for (const auto& view : m_port.views) EXPECT_FALSE(view->isVisible());
    }
}

TEST_F(ViewsTest, ALongTextShowsItsFirstPartThenTheWholeInPlace) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    Cvelda1Doc* doc = view->GetDocument();
    ASSERT_FALSE(doc->isWhole());
    const int firstPartLength = view->document()->characterCount();
    QSignalSpy replaced(doc, &Cvelda1Doc::textDocumentReplaced);
    // The contents come with the whole text, before it is laid out; the first part, narrowed for
    // them, is laid out a slice at a time.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return view->contentsPane()->isVisible() && !view->zoom().isSettling() &&
               view->verticalScrollBar()->maximum() >= 3000;
    }));
    ASSERT_EQ(replaced.count(), 0);
    view->verticalScrollBar()->setValue(3000);
    const int topBlock = view->document()->findBlock(view->TopPosition()).blockNumber();
    ASSERT_TRUE(replaced.wait(20000));
    EXPECT_TRUE(doc->isWhole());
    EXPECT_EQ(view->document(), doc->textDocument());
    // The place being read stays at the top: the same paragraph, whatever width it is laid out at
    // by then.
    EXPECT_EQ(view->document()->findBlock(view->TopPosition()).blockNumber(), topBlock);
    const std::string stored = Base().Text("000007");
    EXPECT_TRUE(doc->rtf().toStdString() == stored);
    auto expected = Norik::BuildTextDocument(stored);
    EXPECT_TRUE(view->document()->toPlainText() == expected->toPlainText());
    EXPECT_LT(firstPartLength, expected->characterCount());
    // The text keeps its margins on either side.
    EXPECT_EQ(view->document()->rootFrame()->frameFormat().leftMargin(),
              Norik::kTextPageMargin + view->document()->documentMargin());
    // It came laid out for the window's width down to its end, with fonts the window's thread can
    // draw with: a jump to the end finds every line in place.
    const QTextBlock last = view->document()->lastBlock();
    EXPECT_GT(last.layout()->lineCount(), 0);
    const QRectF lastBefore = view->document()->documentLayout()->blockBoundingRect(last);
    view->moveCursor(QTextCursor::End);
    EXPECT_FALSE(view->viewport()->grab().isNull());
    EXPECT_EQ(view->document()->documentLayout()->blockBoundingRect(last), lastBefore);
    // A narrower window lays the text out again for its own width.
    view->resize(600, 700);
    QCoreApplication::processEvents();
    EXPECT_GT(view->document()->documentLayout()->blockBoundingRect(last).bottom(), lastBefore.bottom());
}

TEST_F(ViewsTest, GivingUpTheWaitForATextClosesItsWindowWithoutAQuestion) {
    // The user takes the offer to cancel as soon as it shows.
    std::function<void()> offered;
    m_port.context.wait.offerCancel = [&](std::function<void()> cancel) {
        offered = std::move(cancel);
        if (offered) {
            QTimer::singleShot(0, [&] {
                if (offered) offered();
            });
        }
    };
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->GetDocument()->isAbandoned());
    EXPECT_FALSE(view->GetDocument()->EnsureWhole());
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->isVisible());
    EXPECT_TRUE(m_port.messages.empty());
    EXPECT_FALSE(offered);
}

// Ctrl+End before the whole of a long text has come goes to the true end once it comes; meanwhile
// the status bar is told the text is still loading.
TEST_F(ViewsTest, CtrlEndWhileALongTextLoadsEndsAtItsTrueEnd) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    Cvelda1Doc* doc = view->GetDocument();
    ASSERT_FALSE(doc->isWhole());
    EXPECT_TRUE(view->StatusMessage().startsWith(QStringLiteral("Текст ещё загружается")))
        << view->StatusMessage().toStdString();
    QSignalSpy replaced(doc, &Cvelda1Doc::textDocumentReplaced);
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    const int firstPartEnd = view->textCursor().position();
    ASSERT_TRUE(replaced.wait(20000));
    EXPECT_GT(view->textCursor().position(), firstPartEnd);
    EXPECT_EQ(view->textCursor().position(), view->document()->characterCount() - 1);
    EXPECT_TRUE(view->StatusMessage().isEmpty());
}

// Find, select all and save, asked for once the whole of a long text has come but while its first
// part is still shown, each act on the whole text.
TEST_F(ViewsTest, CommandsOnALongTextWhoseWholeHasComeUseTheWhole) {
    const std::string stored = Base().Text("000007");
    const QString whole = Norik::BuildTextDocument(stored)->toPlainText();
    const qsizetype lastArticle = whole.lastIndexOf(QStringLiteral("Статья "));
    const QString last = whole.mid(lastArticle, whole.indexOf('.', lastArticle) + 1 - lastArticle);
    TempDir out;
    for (int command : {Command::kEditSelectAll, Command::kEditFind, Command::kFileSave}) {
        Cvelda1View* view = Open("000007");
        ASSERT_NE(view, nullptr);
        Cvelda1Doc* doc = view->GetDocument();
        QElapsedTimer clock;
        clock.start();
        while (doc->rtf().isEmpty() && clock.elapsed() < 20000) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
        ASSERT_FALSE(doc->rtf().isEmpty());
        ASSERT_FALSE(doc->isWhole()) << "the whole text was shown before the command";
        if (command == Command::kFileSave) {
            m_saveAs = QString::fromStdString(out.file("code.rtf"));
            ASSERT_TRUE(doc->ExecuteCommand(command));
            EXPECT_TRUE(ReadFile(out.file("code.rtf")) == stored);
        } else {
            view->ExecuteCommand(command);
            if (command == Command::kEditFind) {
                view->findDialog()->textField()->setText(last);
                QTest::mouseClick(view->findDialog()->findNextButton(), Qt::LeftButton);
                view->findDialog()->close();
                EXPECT_EQ(view->textCursor().selectedText(), last);
            } else {
                EXPECT_EQ(view->textCursor().selectedText().size(), whole.size());
            }
        }
        EXPECT_TRUE(doc->isWhole());
        EXPECT_EQ(view->document()->characterCount(), whole.size() + 1);
    }
}

// The middle of the first occurrence of text, in the view's viewport coordinates.
QPoint PointOf(Cvelda1View* view, const QString& text) {
    QTextCursor found = view->document()->find(text);
    EXPECT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor middle(view->document());
    middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    view->setTextCursor(middle);
    view->ensureCursorVisible();
    return view->cursorRect(middle).center();
}

TEST_F(ViewsTest, ALeftClickOnALinkOpensItsDocumentOrSaysTheLinkIsWrong) {
    Cvelda1View* view = Open("000001");
    ASSERT_NE(view, nullptr);
    QSignalSpy requested(view, &Cvelda1View::openDocumentRequested);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, PointOf(view, QStringLiteral("закон о сборах")));
    ASSERT_EQ(requested.size(), 1);
    EXPECT_EQ(requested[0][0].toString(), QStringLiteral("000005"));
    EXPECT_TRUE(m_port.messages.empty());

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, PointOf(view, QStringLiteral("сайт")));
    EXPECT_EQ(requested.size(), 1);
    EXPECT_TRUE(m_port.messages.empty());

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, PointOf(view, QStringLiteral("неизвестный акт")));
    EXPECT_EQ(requested.size(), 1);
    EXPECT_EQ(Texts(m_port.messages), "Неправильная ссылка!|");

    // The right button opens nothing; the pop-up menu has its texts as they stand.
    const QPoint link = PointOf(view, QStringLiteral("закон о сборах"));
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, link);
    QStringList menu;
    QTimer::singleShot(100, [&] {
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : popup->actions()) menu << action->text();
            popup->close();
        }
    });
    QContextMenuEvent request(QContextMenuEvent::Mouse, link, view->viewport()->mapToGlobal(link));
    QApplication::sendEvent(view->viewport(), &request);
    EXPECT_EQ(menu, (QStringList{"Копировать", "Выделить вcё", "", "Печатать"}));
    EXPECT_EQ(requested.size(), 1);
    EXPECT_EQ(m_port.messages.size(), 1u);
}

TEST_F(ViewsTest, FindStartsFromTheBeginningAndTakesAtMost512Characters) {
    Cvelda1View* view = Open("000001");
    ASSERT_NE(view, nullptr);
    view->moveCursor(QTextCursor::End);
    view->ExecuteCommand(Command::kEditFind);
    ASSERT_NE(view->findDialog(), nullptr);
    EXPECT_EQ(view->textCursor().position(), 0);
    view->findDialog()->textField()->setText(QStringLiteral("налог 1 раз"));
    QTest::mouseClick(view->findDialog()->findNextButton(), Qt::LeftButton);
    const int first = view->textCursor().selectionStart();
    EXPECT_GT(first, 0);
    EXPECT_EQ(view->textCursor().selectedText(), QStringLiteral("налог 1 раз"));

    const QString sentence = QString::fromStdString(LongSentence());
    ASSERT_GT(sentence.size(), 600);
    view->moveCursor(QTextCursor::Start);
    EXPECT_TRUE(view->FindText(sentence.left(512) + QStringLiteral("не из этого текста"), false, false, true));
    EXPECT_EQ(view->textCursor().selectedText().size(), 512);
    EXPECT_FALSE(view->FindText(QStringLiteral("налог 1 раз"), false, false, true));
    view->moveCursor(QTextCursor::End);
    EXPECT_TRUE(view->FindText(QStringLiteral("НАЛОГ 1 РАЗ"), false, false, false));
    EXPECT_EQ(view->textCursor().selectionStart(), first);
    EXPECT_FALSE(view->FindText(QStringLiteral("НАЛОГ 1 РАЗ"), true, false, true));
}

// Tab to a link and Enter follow it as a click does.
TEST_F(ViewsTest, ALinkChosenFromTheKeyboardOpensItsDocument) {
    Cvelda1View* view = Open("000001");
    ASSERT_NE(view, nullptr);
    QSignalSpy requested(view, &Cvelda1View::openDocumentRequested);
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Tab);
    ASSERT_EQ(view->textCursor().selectedText(), QStringLiteral("закон о сборах"));
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_EQ(requested.size(), 1);
    EXPECT_EQ(requested[0][0].toString(), QStringLiteral("000005"));
    QTest::keyClick(view, Qt::Key_Tab);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(requested.size(), 1);
    EXPECT_EQ(Texts(m_port.messages), "Неправильная ссылка!|");
}

// "Только слово целиком" passes over the word inside a longer one, forward and backward.
TEST_F(ViewsTest, FindWholeWordsSkipsTheWordInsideALongerOne) {
    Cvelda1View* view = Open("000001");
    ASSERT_NE(view, nullptr);
    view->ExecuteCommand(Command::kEditFind);
    Norik::CFindTextDialog* dialog = view->findDialog();
    ASSERT_NE(dialog, nullptr);
    QCheckBox* wholeWord = nullptr;
    QRadioButton* up = nullptr;
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
        if (box->text().remove('&') == QStringLiteral("Только слово целиком")) wholeWord = box;
    for (QRadioButton* button : dialog->findChildren<QRadioButton*>())
        if (button->text().remove('&') == QStringLiteral("Вверх")) up = button;
    ASSERT_TRUE(wholeWord && up);
    wholeWord->setChecked(true);
    dialog->textField()->setText(QStringLiteral("налог"));
    // "Налогоплательщики уплачивают налог 0 раз": the first whole word is the third.
    QTest::mouseClick(dialog->findNextButton(), Qt::LeftButton);
    EXPECT_EQ(view->textCursor().selectedText(), QStringLiteral("налог"));
    const QTextCursor last = view->document()->find(QStringLiteral("Налогоплательщики"),
                                                    view->document()->characterCount(), QTextDocument::FindBackward);
    ASSERT_FALSE(last.isNull());
    // Backward from the end of the last "Налогоплательщики уплачивают": the whole word before it.
    QTextCursor caret(view->document());
    caret.setPosition(last.selectionEnd() + 11);
    view->setTextCursor(caret);
    up->setChecked(true);
    QTest::mouseClick(dialog->findNextButton(), Qt::LeftButton);
    EXPECT_EQ(view->textCursor().selectedText(), QStringLiteral("налог"));
    EXPECT_LT(view->textCursor().selectionStart(), last.selectionStart());
}

// The caret moves and selects from the keyboard; F3 and Shift+F3 look again from it, and a text
// that is not there is said so.
TEST_F(ViewsTest, TheTextIsReadAndSearchedFromTheKeyboard) {
    Cvelda1View* view = Open("000001");
    ASSERT_NE(view, nullptr);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view->textCursor().position(), view->document()->characterCount() - 1);
    QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
    for (int i = 0; i < 6; ++i) QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(view->textCursor().selectedText(), QStringLiteral("Статья"));

    view->ExecuteCommand(Command::kEditFind);
    view->findDialog()->textField()->setText(QStringLiteral("уплачивают налог"));
    QTest::mouseClick(view->findDialog()->findNextButton(), Qt::LeftButton);
    view->findDialog()->close();
    const int first = view->textCursor().selectionStart();
    view->ExecuteCommand(Command::kEditFindNext);
    const int second = view->textCursor().selectionStart();
    EXPECT_GT(second, first);
    view->ExecuteCommand(Command::kEditFindNext);
    EXPECT_GT(view->textCursor().selectionStart(), second);
    view->ExecuteCommand(Command::kEditFindPrevious);
    EXPECT_EQ(view->textCursor().selectionStart(), second);
    EXPECT_TRUE(m_port.messages.empty());

    view->ExecuteCommand(Command::kEditFind);
    view->findDialog()->textField()->setText(QStringLiteral("акциз"));
    QTest::mouseClick(view->findDialog()->findNextButton(), Qt::LeftButton);
    EXPECT_EQ(Texts(m_port.messages), "Текст «акциз» не найден.|");
}

TEST_F(ViewsTest, SaveWritesTheStoredBytesUnderANameMadeFromTheTitle) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    TempDir out;
    m_saveAs = QString::fromStdString(out.file("code.rtf"));
    ASSERT_TRUE(view->GetDocument()->ExecuteCommand(Command::kFileSave));
    EXPECT_EQ(m_suggested, QStringLiteral("О порядке .._ввода_вывода_ часть {1}.rtf"));
    EXPECT_EQ(m_filter, QStringLiteral("Документы Norik(*.rtf)"));
    EXPECT_TRUE(ReadFile(out.file("code.rtf")) == Base().Text("000007"));

    m_saveAs = QString::fromStdString(out.file("no-such-folder/code.rtf"));
    EXPECT_FALSE(view->GetDocument()->Save());
    EXPECT_EQ(Texts(m_port.messages), "Failed to save document.|");
}

TEST_F(ViewsTest, TheCopyForTheWordProcessorNeverTouchesAFileItDidNotMake) {
    // Where a copy's name would lie in the temporary folder: a link planted by somebody else, and
    // a file the user saved there.
    const std::string codeName = "О порядке .._ввода_вывода_ часть {1}";
    const std::string lawName = Norik::Cp1251ToUtf8(FileNameFromTitle(ShowData::DocTitleByNumber(1), "000001"));
    TempDir victim;
    WriteFile(victim.file("important.txt"), "важное");
    std::filesystem::create_symlink(victim.file("important.txt"), m_tempFolder.file(codeName + ".rtf"));
    WriteFile(m_tempFolder.file(lawName + ".rtf"), "сохранено");
    Cvelda1View* code = Open("000007");
    Cvelda1View* law = Open("000001");
    ASSERT_TRUE(code && law);
    code->GetDocument()->ExecuteCommand(Command::kCopyToWord);
    code->GetDocument()->ExecuteCommand(Command::kCopyToWord);
    law->GetDocument()->ExecuteCommand(Command::kCopyToWord);

    const std::string folder = m_temporary.folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(m_handedOver, (std::vector<std::string>{folder + codeName + ".rtf", folder + codeName + " (2).rtf",
                                                      folder + lawName + ".rtf"}));
    ASSERT_EQ(m_handedOver.size(), 3u);
    EXPECT_TRUE(ReadFile(m_handedOver[1]) == Base().Text("000007"));
    EXPECT_TRUE(ReadFile(m_handedOver[2]) == Base().Text("000001"));
    EXPECT_EQ(Texts(m_port.messages), "");
    m_temporary.RemoveAll();
    for (const std::string& path : m_handedOver) EXPECT_FALSE(std::filesystem::exists(path)) << path;
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(ReadFile(victim.file("important.txt")), "важное");
    EXPECT_TRUE(std::filesystem::is_symlink(m_tempFolder.file(codeName + ".rtf")));
    EXPECT_EQ(ReadFile(m_tempFolder.file(lawName + ".rtf")), "сохранено");
}

// Files of the process may not grow past a size for the lifetime of the object (a full disk).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

TEST_F(ViewsTest, ACopyThatCannotBeWrittenWholeIsNeitherKeptNorHandedOver) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    {
        const FileSizeLimit limit(rlim_t{64} * 1024);
        view->GetDocument()->ExecuteCommand(Command::kCopyToWord);
    }
    EXPECT_TRUE(m_handedOver.empty());
    EXPECT_EQ(Texts(m_port.messages), "Не удалось записать копию документа для текстового редактора.|");
    ASSERT_FALSE(m_temporary.folder().empty());
    EXPECT_TRUE(std::filesystem::is_empty(m_temporary.folder()));
}

TEST_F(ViewsTest, WhenTheDesktopCannotOpenTheCopyTheUserLearnsWhereItIsAndMaySaveIt) {
    m_port.context.openWithDesktop = [this](const QString& path) {
        m_handedOver.push_back(path.toStdString());
        return false;
    };
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    TempDir out;
    m_saveAs = QString::fromStdString(out.file("code.rtf"));
    m_port.answers = {Norik::MessageAnswer::Yes};
    view->GetDocument()->ExecuteCommand(Command::kCopyToWord);
    ASSERT_EQ(m_handedOver.size(), 1u);
    ASSERT_EQ(m_port.messages.size(), 1u);
    const std::string text = Norik::Cp1251ToUtf8(m_port.messages[0].text);
    EXPECT_NE(text.find("не назначено приложение"), std::string::npos) << text;
    EXPECT_NE(text.find("\n" + m_handedOver[0] + "\n"), std::string::npos) << text;
    EXPECT_EQ(m_port.messages[0].buttons, Norik::MessageButtons::YesNo);
    EXPECT_EQ(m_suggested, QStringLiteral("О порядке .._ввода_вывода_ часть {1}.rtf"));
    EXPECT_TRUE(ReadFile(out.file("code.rtf")) == Base().Text("000007"));
    EXPECT_TRUE(ReadFile(m_handedOver[0]) == Base().Text("000007"));
}

// Words of a PDF page with their boxes (points), as pdftotext -bbox gives them.
struct PdfWord {
    QString text;
    double xMin, yMin, xMax;
};

TEST_F(ViewsTest, PrintingPutsTheWordsOnPagesWithHalfInchMargins) {
    Cvelda1View* view = Open("000001");
    ASSERT_NE(view, nullptr);
    TempDir out;
    PdfPrinter printer(out.file("text.pdf"));
    view->PrintTo(&printer);
    const CommandResult run = RunShell("pdftotext -bbox '" + out.file("text.pdf") + "' -");
    ASSERT_EQ(run.status, 0);
    const QString html = QString::fromStdString(run.output);
    const QRegularExpression pageWidth(QStringLiteral("<page width=\"([0-9.]+)\""));
    const auto page = pageWidth.match(html);
    ASSERT_TRUE(page.hasMatch());
    const double width = page.captured(1).toDouble();
    std::vector<PdfWord> words;
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"[0-9.]+\">([^<]*)</word>"));
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        words.push_back({m.captured(4), m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble()});
    }
    QStringList texts;
    for (const PdfWord& w : words) texts << w.text;
    EXPECT_TRUE(texts.contains(QStringLiteral("Налогоплательщики")));
    EXPECT_TRUE(texts.contains(QStringLiteral("сборах,")));
    double left = 1e9, top = 1e9, right = 0;
    for (const PdfWord& w : words) {
        left = std::min(left, w.xMin);
        top = std::min(top, w.yMin);
        right = std::max(right, w.xMax);
    }
    // 720 twips are 36 points; the long paragraph fills the lines up to the right margin.
    EXPECT_NEAR(left, 36.0, 1.5);
    EXPECT_GE(top, 36.0);
    EXPECT_LT(top, 36.0 + 6);
    EXPECT_LE(right, width - 36.0 + 0.5);
    EXPECT_GT(right, width - 36.0 - 40);
}

TEST_F(ViewsTest, TheWindowsCommands) {
    Cvelda1View* view = Open("000005");
    ASSERT_NE(view, nullptr);
    Cvelda1Doc* doc = view->GetDocument();
    EXPECT_EQ(doc->number(), 5);
    doc->ExecuteCommand(Command::kFileNumber);
    EXPECT_EQ(Texts(m_port.messages), "000005|");
    doc->ExecuteCommand(Command::kDocumentInformation);
    EXPECT_EQ(m_cards, std::vector<std::int16_t>{5});
    for (int sort : {Command::kSortByDate, Command::kSortByTitle, Command::kSortByType, Command::kSortByNumber}) {
        Norik::CommandState state{true, true};
        EXPECT_TRUE(view->UpdateCommand(sort, state));
        EXPECT_FALSE(state.enabled);
        EXPECT_FALSE(state.checked);
    }
    Norik::CommandState state;
    EXPECT_FALSE(view->UpdateCommand(Command::kSortDescending, state));
    EXPECT_FALSE(doc->UpdateCommand(Command::kSortDescending, state));
    EXPECT_TRUE(view->UpdateCommand(Command::kEditCopy, state));
    EXPECT_FALSE(state.enabled);
    view->ExecuteCommand(Command::kEditSelectAll);
    EXPECT_TRUE(view->UpdateCommand(Command::kEditCopy, state));
    EXPECT_TRUE(state.enabled);
    // A title that does not start with a number changes nothing.
    doc->SetTitle(QStringLiteral("12ab34"));
    EXPECT_EQ(doc->number(), 5);
    view->ExecuteCommand(Command::kBack);
    EXPECT_FALSE(view->isVisible());
}

TEST_F(ViewsTest, ADocumentNumberedFrom16384OnKeepsItsOwnTitleAndCard) {
    // Document 16389's text is 000005, the file name of the low 14 bits of its number.
    MemorySource source = SmallSource();
    std::string& items = source.tables["Items.ttx"];
    const std::size_t row = items.find("\n5 3 ");
    ASSERT_NE(row, std::string::npos);
    items.replace(row, 3, "\n16389 ");
    TempDir dir;
    Norik::BuildReport report;
    std::vector<std::string> problems;
    ASSERT_TRUE(Norik::BuildBase(source, dir.folder() + "base", Norik::BuildOptions{1}, report, problems))
        << (problems.empty() ? std::string() : problems.front());
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = dir.folder() + "base"});
    ShowData::ResetTablesForTests();
    ASSERT_EQ(ShowData::CShowClass::Init(m_port), Norik::kOk);

    Cvelda1View* view = Open("000005");
    ASSERT_NE(view, nullptr);
    Cvelda1Doc* doc = view->GetDocument();
    EXPECT_EQ(doc->number(), 16389);
    EXPECT_EQ(view->windowTitle(), QStringLiteral("О местных сборах"));
    doc->ExecuteCommand(Command::kDocumentInformation);
    EXPECT_EQ(m_cards, std::vector<std::int16_t>{16389});
    doc->ExecuteCommand(Command::kFileNumber);
    EXPECT_EQ(Texts(m_port.messages), "000005|");
}

}  // namespace
}  // namespace NorikTest
