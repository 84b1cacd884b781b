// The document of a text window: one document text read out of the container, its number and
// title, and the commands that work on the stored text (save, copy to the word processor,
// information card, file name).
//
// OnOpenDocument(path) takes a document file name ("000042"): the number comes from its first six
// characters, the title from the document table, and the text is read by a DocumentTextLoader. A
// long text opens as soon as its first part is built; the whole document follows once it is read
// and laid out for the view's width (textDocumentReplaced). When the entry or the container is missing, or the entry
// cannot be read, the user is told "Failed to open document." and the open returns false; asking for the disk is left
// to the caller (the list's Open). The wait for the text can be given up (the wait hooks' offer): the
// reading stops, the document is abandoned (an empty text) and its window closes; an open given up
// so still returns true, since nothing failed that another disk would mend.
//
// The window around the document (frame, routing, activation) is the shell's: its text template
// creates the document, opens it, puts a Cvelda1View on it, and routes commands view -> document
// -> frame. The path the document was opened with (pathName) is what the shell compares to find
// the window already showing a document. Everything the document asks of the desktop goes through
// TextWindowContext, so the shell plugs in its own services and tests record them.
//
// User-interface thread only. Handlers never throw; each shows at most one message of its own (a
// save offered after a copy the desktop could not open may add the save's).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "frame/NavigationHistory.h"
#include "frame/qt/Document.h"
#include "richtext/DocumentOutline.h"
#include "views/DocumentTextLoader.h"

class QPaintDevice;
class QTextDocument;
class QWidget;

namespace Norik {

class IProfile;
class IUserPort;
class TemporaryCopies;

// The services a text window uses. userPort and temporaryCopies must outlive every window; the
// functions left empty take their desktop defaults.
struct TextWindowContext {
    IUserPort* userPort = nullptr;
    // The user's settings the window keeps (contents shown, zoom); none: the defaults, not kept.
    IProfile* profile = nullptr;
    // Where the copies handed to the word processor are made, to be removed at the end of the run.
    TemporaryCopies* temporaryCopies = nullptr;
    // Shown while the user waits for a text still being read (the shell plugs in the wait dialog).
    WaitHooks wait;
    // Hands a file to the desktop's application for it; false when the desktop has none or cannot
    // start it (default: QDesktopServices::openUrl, after asking xdg-mime for an application).
    std::function<bool(const QString& path)> openWithDesktop;
    // Asks for the file to save to, offering suggested (default: a save dialog with the filter);
    // an empty answer cancels.
    std::function<QString(QWidget* parent, const QString& suggested, const QString& filter)> chooseSaveFile;
    // Shows the information card of a document (default: CInfoDoc, modal).
    std::function<void(std::int16_t number, QWidget* parent)> showInformation;
    // Records a step of the history of places (default: none kept).
    std::function<void(const TextPlace& from, const TextPlace& to)> recordStep;
};

class Cvelda1Doc : public CDocument {
    Q_OBJECT
public:
    explicit Cvelda1Doc(TextWindowContext context);
    ~Cvelda1Doc() override;

    // Opens the text of path (a document file name) and makes it the path name; false after
    // telling the user it failed.
    bool OnOpenDocument(const QString& path) override;

    // Takes the number from the first six characters of title (a file name: the document whose
    // file name it is, so that a number of 16384 and above keeps its own title and card) and the
    // window title from the document table (empty for a number without a row); a title that does
    // not start with a number changes nothing.
    void SetTitle(const QString& title) override;

    std::int16_t number() const { return m_number; }
    // A jump from one position of this text to another (the contents, an article) is a step of the
    // history of places.
    void RecordStep(int fromPosition, int toPosition) const {
        if (m_context.recordStep)
            m_context.recordStep(TextPlace{m_number, fromPosition}, TextPlace{m_number, toPosition});
    }

    // The text shown now: the first part of a long text until the whole one replaces it.
    QTextDocument* textDocument() const { return m_text.get(); }
    bool isWhole() const { return m_whole; }
    // The width of the view's page. A long text's whole document is laid out for it, a slice at a
    // time, before it replaces the first part, so that the view never waits for its layout.
    void SetPageWidth(int width);
    // The device the view lays its text out for (its zoom); null for the screen.
    void SetPageDevice(QPaintDevice* device);
    // The headings of the text, with offsets into the whole text (which the first part shares);
    // empty until the whole text has been read (outlineChanged).
    const DocumentOutline& outline() const { return m_outline; }
    // While the first part of a long text is shown in place of the whole: a sentence saying the text
    // is still loading, with how far it has got; empty once the whole text is shown. A change of it
    // is reported by stateChanged, a few times a second at most.
    QString LoadingMessage() const;
    // Waits (with the wait hooks) until the whole text is there; false when the wait was given up
    // (the document is abandoned then).
    bool EnsureWhole();
    // The user gave the reading up: the window is to close.
    bool isAbandoned() const { return m_abandoned; }
    // The stored RTF bytes of the text (complete once isWhole()).
    const QByteArray& rtf() const { return m_rtf; }

    const WaitHooks& waitHooks() const { return m_context.wait; }
    IUserPort* userPort() const { return m_context.userPort; }
    IProfile* profile() const { return m_context.profile; }

    // The view asks before its commands; the document's dialogs open over it.
    void SetView(QWidget* view);

    // The name, without its extension, that a saved or printed copy of the text is offered under:
    // the title made fit for a file name, or the document's file name when the title leaves nothing.
    QString OfferedFileName() const;
    // Saves the stored RTF bytes to a file the user chooses. False when cancelled or failed.
    bool Save();
    // Copies the stored text to a new .rtf file of the run's copies and hands it to the desktop. The
    // user is told when the copy cannot be written, and when the desktop cannot open it, with the
    // offer to save the document elsewhere.
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
    static const char* const kCopyNotWritten;
    static const char* const kCopyNotOpened;  // %1 is the copy's path
    static const char* const kSaveFilter;

signals:
    // The whole text took the place of its first part; the old document is deleted after this.
    void textDocumentReplaced(QTextDocument* whole);
    // The user gave the reading up while a command waited for the whole text.
    void abandoned();
    void outlineChanged();

private:
    void TakeWholeText();
    void PrepareWholeText();
    void ShowWholeText();
    void Message(const char* utf8Text);
    void OfferToSaveCopy(const std::string& path);
    void Abandon();

    TextWindowContext m_context;
    std::int16_t m_number = 0;
    std::unique_ptr<QTextDocument> m_text;
    QByteArray m_rtf;
    std::unique_ptr<DocumentTextLoader> m_loader;
    // The whole text while it is laid out for the view, before it replaces the first part.
    std::unique_ptr<QTextDocument> m_pending;
    int m_pageWidth = 0;
    // Times the whole text waited for a view to tell the page width it is to be laid out for.
    int m_pageWidthWaits = 0;
    QPaintDevice* m_pageDevice = nullptr;
    DocumentOutline m_outline;
    // Looks at the loading's progress while the first part is shown.
    QTimer m_progressTimer;
    QString m_shownLoadingMessage;
    bool m_whole = false;
    bool m_abandoned = false;
    QPointer<QWidget> m_view;
};

}  // namespace Norik
