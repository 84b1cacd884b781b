// The document of a text window: one document text read out of the container, its number and
// title, and the commands that work on the stored text (save, copy to the word processor,
// information card, file name).
//
// OnOpenDocument(path) takes a document file name ("000042"): the number comes from its first six
// characters, the title from the document table, and the text is read by a DocumentTextLoader. A
// long text opens as soon as its first part is built; the whole document follows once it is read
// and laid out for the view's width (textDocumentReplaced). When the entry or the container is missing, or the entry
// cannot be read, the user is told "Failed to open document." and the open returns false; asking for the disk is left
// to the caller (the list's Open).
//
// The window around the document (frame, routing, activation) is the shell's: its text template
// creates the document, opens it, puts a Cvelda1View on it, and routes commands view -> document
// -> frame. The path the document was opened with (pathName) is what the shell compares to find
// the window already showing a document. Everything the document asks of the desktop goes through
// TextWindowContext, so the shell plugs in its own services and tests record them.
//
// User-interface thread only. Handlers never throw; each shows at most one message.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/Document.h"
#include "views/DocumentTextLoader.h"

class QTextDocument;
class QWidget;

namespace Norik {

class IUserPort;
class TemporaryFiles;

// The services a text window uses. userPort and temporaryFiles must outlive every window; the
// functions left empty take their desktop defaults.
struct TextWindowContext {
    IUserPort* userPort = nullptr;
    // Where the copies handed to the word processor are recorded, to be removed at the end of the run.
    TemporaryFiles* temporaryFiles = nullptr;
    // Shown while the user waits for a text still being read (the shell plugs in the wait dialog).
    WaitHooks wait;
    // Hands a file to the desktop's application for it (default: QDesktopServices::openUrl).
    std::function<bool(const QString& path)> openWithDesktop;
    // Asks for the file to save to, offering suggested (default: a save dialog with the filter);
    // an empty answer cancels.
    std::function<QString(QWidget* parent, const QString& suggested, const QString& filter)> chooseSaveFile;
    // Shows the information card of a document (default: CInfoDoc, modal).
    std::function<void(std::int16_t number, QWidget* parent)> showInformation;
};

class Cvelda1Doc : public CDocument {
    Q_OBJECT
public:
    explicit Cvelda1Doc(TextWindowContext context);
    ~Cvelda1Doc() override;

    // Opens the text of path (a document file name) and makes it the path name; false after
    // telling the user it failed.
    bool OnOpenDocument(const QString& path) override;

    // Takes the number from the first six characters of title and the window title from the
    // document table (empty for a number without a row); a title that does not start with a
    // number changes nothing.
    void SetTitle(const QString& title) override;

    std::int16_t number() const { return m_number; }

    // The text shown now: the first part of a long text until the whole one replaces it.
    QTextDocument* textDocument() const { return m_text.get(); }
    bool isWhole() const { return m_whole; }
    // The width of the view's page. A long text's whole document is laid out for it, a slice at a
    // time, before it replaces the first part, so that the view never waits for its layout.
    void SetPageWidth(int width);
    // Waits (with the wait hooks) until the whole text is there.
    void EnsureWhole();
    // The stored RTF bytes of the text (complete once isWhole()).
    const QByteArray& rtf() const { return m_rtf; }

    const WaitHooks& waitHooks() const { return m_context.wait; }
    IUserPort* userPort() const { return m_context.userPort; }

    // The view asks before its commands; the document's dialogs open over it.
    void SetView(QWidget* view);

    // Saves the stored RTF bytes to a file the user chooses. False when cancelled or failed.
    bool Save();
    // Copies the stored text to a temporary .rtf file and hands it to the desktop.
    void CopyToWord();
    void ShowInformation();
    void ShowFileName();

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    // The program's texts (UTF-8).
    static const char* const kCaption;
    static const char* const kOpenFailed;
    // Said instead of kOpenFailed for a text past the size any document has.
    static const char* const kTooLarge;
    static const char* const kSaveFailed;
    static const char* const kCopyFailed;
    static const char* const kSaveFilter;

signals:
    // The whole text took the place of its first part; the old document is deleted after this.
    void textDocumentReplaced(QTextDocument* whole);

private:
    void TakeWholeText();
    void PrepareWholeText();
    void ShowWholeText();
    void Message(const char* utf8Text);

    TextWindowContext m_context;
    std::int16_t m_number = 0;
    std::unique_ptr<QTextDocument> m_text;
    QByteArray m_rtf;
    std::unique_ptr<DocumentTextLoader> m_loader;
    // The whole text while it is laid out for the view, before it replaces the first part.
    std::unique_ptr<QTextDocument> m_pending;
    int m_pageWidth = 0;
    bool m_whole = false;
    QPointer<QWidget> m_view;
};

}  // namespace Norik
