// A small base for the text-window and card tests, built once per program through the builder:
// three short documents, one filed under two sections (a letter with an article in parts), one with links, and a long
// generated code with tables and links whose title holds "/" and "..".
#pragma once

#include <gtest/gtest.h>

#include <QPrinter>
#include <QTextDocument>
#include <filesystem>
#include <memory>
#include <vector>

#include "../../../bench/RichTextCorpus.h"
#include "../../support/BuilderTestSupport.h"
#include "Helpers/DocumentCopy.h"
#include "Helpers/Folders.h"
#include "TestSupport.h"
#include "builder/BaseBuilder.h"
#include "showdata/ListDoc.h"
#include "views/Cvelda1View.h"

namespace NorikTest {

// A paragraph longer than the find dialog takes.
inline std::string LongSentence() {
    std::string s;
    for (int i = 0; s.size() < 1400; ++i) s += "Налогоплательщики уплачивают налог " + std::to_string(i) + " раз; ";
    return s;
}

inline std::string LinkField(const std::string& target, const std::string& text) {
    return "{\\field{\\*\\fldinst{HYPERLINK \"" + target + "\"}}{\\fldrslt{\\ul " + text + "}}}";
}

struct ViewsBase {
    TempDir dir;
    MemorySource source;
    std::string folder;

    ViewsBase() {
        source = SmallSource();
        source.tables["typelist.ttx"] = W("Федеральный закон\nПисьмо\nКодекс\n");
        const int date = (2004 - 1900) * 372 + 6 * 31;
        source.tables["Items.ttx"] +=
            W("7 3 " + std::to_string(date + 8) + " Кодекс|О порядке ../ввода/вывода: часть {1}|1-ФКЗ|" +
              std::to_string(date + 2) + "|1|1\n");
        source.tables["Items.ttx"].replace(0, 1, "5");
        source.texts["000001.rtf"] =
            Rtf("Статья 1. " + LongSentence() + "\\par См. " + LinkField("5", "закон о сборах") + ", " +
                LinkField("77", "неизвестный акт") + " и " + LinkField("http://example.org/", "сайт") + ".");
        source.texts["000007.rtf"] = RichTextCorpus::MakeCode(std::size_t{1200} * 1024, false);
        // A letter no longer in force whose heading names its issuer, with an article in parts.
        source.texts["000002.rtf"] =
            Rtf("ПИСЬМО МИНИСТЕРСТВА ФИНАНСОВ РОССИЙСКОЙ ФЕДЕРАЦИИ\\par Статья 3. Сроки\\par 1. Налог уплачивается "
                "ежегодно.\\par 2. Земельный налог уплачивается по месту нахождения участка.");
        folder = dir.folder() + "base";
        Norik::BuildReport report;
        std::vector<std::string> problems;
        if (!Norik::BuildBase(source, folder, Norik::BuildOptions{2}, report, problems)) {
            ADD_FAILURE() << (problems.empty() ? std::string("build failed") : problems.front());
        }
    }
    std::string Text(const std::string& fileName) const { return source.texts.at(fileName + ".rtf"); }
};

inline ViewsBase& Base() {
    static ViewsBase base;
    return base;
}

// A user port that opens text windows for real, as the viewer's does, and runs a hook after each
// message (the user acting while the message is up).
class WindowPort : public RecordingUserPort {
public:
    Norik::TextWindowContext context;
    std::vector<std::unique_ptr<Norik::Cvelda1View>> views;
    std::function<void()> afterMessage;

    bool OpenDocumentText(const std::string& path) override {
        RecordingUserPort::OpenDocumentText(path);
        auto view = Norik::OpenTextView(path, context);
        if (!view) return false;
        views.push_back(std::move(view));
        return true;
    }
    Norik::MessageAnswer MessageBox(const std::string& text, const std::string& caption, Norik::MessageButtons buttons,
                                    Norik::MessageIcon icon) override {
        const auto answer = RecordingUserPort::MessageBox(text, caption, buttons, icon);
        if (afterMessage) afterMessage();
        return answer;
    }
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : m_name(name) { ::setenv(name, value.c_str(), 1); }
    ~ScopedEnvironment() { ::unsetenv(m_name); }

private:
    const char* m_name;
};

// Moves the base's container away for the lifetime of the object (the disk is out); Restore
// brings it back early.
class ContainerAway {
public:
    ContainerAway() : m_path(Base().folder + "/Norik.sdb") { std::filesystem::rename(m_path, m_path + ".away"); }
    ~ContainerAway() { Restore(); }
    void Restore() {
        if (std::filesystem::exists(m_path + ".away")) std::filesystem::rename(m_path + ".away", m_path);
    }

private:
    std::string m_path;
};

// A printer that writes a PDF to path.
class PdfPrinter : public QPrinter {
public:
    explicit PdfPrinter(const std::string& path) : QPrinter(QPrinter::HighResolution) {
        setOutputFormat(QPrinter::PdfFormat);
        setOutputFileName(QString::fromStdString(path));
    }
};

class ViewsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = Base().folder});
        ShowData::ResetTablesForTests();
        ASSERT_EQ(ShowData::CShowClass::Init(m_port), Norik::kOk);
        m_port.context.userPort = &m_port;
        m_port.context.temporaryCopies = &m_temporary;
        m_port.context.wait.begin = [this] { ++m_waits; };
        m_port.context.openWithDesktop = [this](const QString& path) {
            m_handedOver.push_back(path.toStdString());
            return true;
        };
        m_port.context.chooseSaveFile = [this](QWidget*, const QString& suggested, const QString& filter) {
            m_suggested = suggested;
            m_filter = filter;
            return m_saveAs;
        };
        m_port.context.showInformation = [this](std::int16_t number, QWidget*) { m_cards.push_back(number); };
    }
    void TearDown() override {
        m_port.views.clear();
        ShowData::ResetTablesForTests();
        Norik::ConfigureFolders(Norik::FolderSettings{});
    }

    // Opens a text window for a document file name; fails the test when it does not open.
    Norik::Cvelda1View* Open(const std::string& fileName) {
        if (!m_port.OpenDocumentText(fileName)) return nullptr;
        Norik::Cvelda1View* view = m_port.views.back().get();
        view->resize(900, 700);
        view->show();
        return view;
    }

    ErrorLogCapture m_log;
    WindowPort m_port;
    // The temporary folder of the copies for the word processor, and those copies.
    TempDir m_tempFolder;
    Norik::TemporaryCopies m_temporary{m_tempFolder.folder()};
    int m_waits = 0;
    std::vector<std::string> m_handedOver;
    QString m_suggested;
    QString m_filter;
    QString m_saveAs;
    std::vector<std::int16_t> m_cards;
};

}  // namespace NorikTest
