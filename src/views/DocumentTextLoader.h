// Reading a document text out of the container into a QTextDocument, off the user-interface
// thread.
//
// Start opens the entry on the calling (user-interface) thread, where the folders are resolved
// and a missing entry is known at once, then hands the open entry to a worker thread that decodes
// it in blocks of 65,536 bytes, keeps the stored RTF bytes and streams them through the rich-text
// reader into a new QTextDocument. Finished documents are moved to the thread that called Start
// and announced there by signals.
//
// A long text shows early: when the entry announces more than kFirstPartMinimumLength bytes, the
// worker first builds a separate document from the first kFirstPartLength bytes (firstPartReady)
// and then the whole one from the start (finished). The first part is the whole document's
// beginning, laid out the same up to its last paragraph, so a view can show it and take the whole
// one in its place without moving the text under the reader. A text of many table cells, which
// the window could not lay out in one step, shows early too: its first part is the beginning of
// the whole document up to its tables' first few hundred cells, given just before finished.
// Another short text gives finished only.
//
// Waiting: WaitForFirstPart and WaitForWhole run the calling thread's events (repaints, timers,
// the wait indicator's animation; user input is held back until the wait ends) until the part
// asked for is there, calling the wait hooks around the wait. Where the hooks offer to cancel, the
// user's input goes on (to the wait window, which is modal) and cancelling ends the wait at once
// with false; the loader is then to be destroyed, which stops the worker.
//
// Failures: Start returns Missing when the container or the entry cannot be opened, TooLarge
// when the entry states a text past kMaxDocumentTextBytes (BaseLimits.h), Malformed when the
// entry reader refuses its header otherwise (an error-log entry naming the entry is written). A text whose
// compressed data ends early shows what decoded before (isWhole false; an error-log entry naming
// the document besides the entry reader's naming the container).
// Building never fails on bad RTF; running out of memory ends the work with failed().
//
// The loader belongs to the thread that called Start. Destroying it stops the worker within one
// block and waits for it.
#pragma once

#include <QByteArray>
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "Helpers/qt/WorkerThread.h"
#include "richtext/DocumentOutline.h"

class QTextDocument;
class QThread;

namespace Norik {

class CRtfFile;

// What the user sees while a text is read: begin is called before the wait, end after it. A wait
// that can be given up calls offerCancel after begin with the function that gives it up, and with
// none before end. The window that shows the offer must be modal: the wait takes input then.
struct WaitHooks {
    std::function<void()> begin;
    std::function<void()> end;
    std::function<void(std::function<void()> cancel)> offerCancel;
};

// Runs work on a worker thread while the calling thread's events run (user input held back), with
// the wait hooks around it; returns when the work is done. Work must not touch widgets nor throw.
void RunWhileWaiting(const std::function<void()>& work, const WaitHooks& hooks);

class DocumentTextLoader : public QObject {
    Q_OBJECT
public:
    enum class StartResult { Started, Missing, TooLarge, Malformed };

    static constexpr qint64 kFirstPartLength = qint64{256} * 1024;
    static constexpr qint64 kFirstPartMinimumLength = 2 * kFirstPartLength;

    explicit DocumentTextLoader(QObject* parent = nullptr);
    ~DocumentTextLoader() override;

    StartResult Start(const std::string& entryName);

    // Run events until the first part (or, for a short text, the whole document) is ready, or until
    // the whole document is ready. Return at once when it is there already; false when the user
    // gave the wait up.
    bool WaitForFirstPart(const WaitHooks& hooks = {});
    bool WaitForWhole(const WaitHooks& hooks = {});

    // How much of the entry has been read, in percent of the length it announces (0 to 100).
    int percentRead() const;

    bool hasFirstPart() const { return m_firstPart != nullptr; }
    bool isFinished() const { return m_finished; }
    // The worker ran out of memory: no whole document will come.
    bool failed() const { return m_failed; }
    // Every byte the entry announces was decoded.
    bool isWhole() const { return m_whole; }

    // Hand the documents over (parentless, owned by the caller) and the stored RTF bytes.
    std::unique_ptr<QTextDocument> TakeFirstPart();
    std::unique_ptr<QTextDocument> TakeDocument();
    QByteArray TakeRtf();
    // The headings of the whole document, found with it (plain data).
    DocumentOutline TakeOutline() { return std::move(m_outline); }

signals:
    void firstPartReady();
    // The whole document is ready, or the work ended with failed().
    void finished();

private:
    struct Shared;
    // Runs, on the loader's thread, what the worker left in the shared deliveries.
    Q_INVOKABLE void RunDeliveries();
    void Run(std::unique_ptr<CRtfFile> file, const std::shared_ptr<Shared>& shared, QThread* home);
    bool WaitFor(const std::function<bool()>& ready, const WaitHooks& hooks);

    WorkerThread m_worker;
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<QTextDocument> m_firstPart;
    std::unique_ptr<QTextDocument> m_document;
    QByteArray m_rtf;
    DocumentOutline m_outline;
    bool m_firstPartSeen = false;
    bool m_finished = false;
    bool m_failed = false;
    bool m_whole = false;
};

}  // namespace Norik
