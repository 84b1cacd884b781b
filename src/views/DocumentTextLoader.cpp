#include "views/DocumentTextLoader.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string_view>

#include "Helpers/Cp1251.h"
#include "Helpers/qt/CRtfFile.h"
#include "Helpers/qt/WorkerThread.h"
#include "diagnostics/ErrorLog.h"
#include "richtext/qt/RtfDocumentBuilder.h"

namespace Norik {

namespace {

constexpr qint64 kBlockSize = 65536;
// The stored bytes are reserved up to this much ahead; a header that claims more (it may lie)
// lets the buffer grow as the bytes really come.
constexpr qint64 kMaxReserve = qint64{64} * 1024 * 1024;

std::string_view View(const QByteArray& bytes, qint64 length) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(length));
}

// A table costs the window far more to lay out than text of its length, and the window lays out
// its first screen at once: a text whose tables hold more than kDenseTextCells cells shows first
// its beginning up to the table that would pass kFirstPartCells cells.
constexpr int kDenseTextCells = 512;
constexpr int kFirstPartCells = 256;

// The first part of a text of many table cells, copied from whole on the thread that built it;
// nothing for a text of few.
std::unique_ptr<QTextDocument> TableHeavyTextHead(QTextDocument& whole) {
    int cells = 0;
    int headEnd = -1;  // before the table that passes kFirstPartCells
    for (QTextFrame* frame : whole.rootFrame()->childFrames()) {
        const auto* table = qobject_cast<QTextTable*>(frame);
        if (table == nullptr) continue;
        const int count = table->rows() * table->columns();
        if (headEnd < 0 && cells + count > kFirstPartCells) headEnd = std::max(frame->firstPosition() - 1, 0);
        cells += count;
    }
    if (cells <= kDenseTextCells) return nullptr;
    // A copy cut short, so that it is laid out as the whole up to its end, pictures and all.
    std::unique_ptr<QTextDocument> head(whole.clone());
    head->setUndoRedoEnabled(false);
    QTextCursor rest(head.get());
    rest.setPosition(headEnd);
    rest.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    rest.removeSelectedText();
    return head;
}

}  // namespace

void RunWhileWaiting(const std::function<void()>& work, const WaitHooks& hooks) {
    QEventLoop loop;
    WorkerThread worker([&] {
        work();
        // Called by name, the queued call is made and freed inside Qt alone; the work's results
        // pass to this thread by the join below.
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    if (hooks.begin) hooks.begin();
    // The quit may have been posted before the loop runs; it is delivered once it does.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.Join();
    if (hooks.end) hooks.end();
}

struct DocumentTextLoader::Shared {
    std::atomic<bool> cancelled{false};
    // Bytes read so far and the length the entry announces, for the progress shown meanwhile.
    std::atomic<qint64> read{0};
    std::atomic<qint64> announced{0};
    // What the worker hands to the loader's thread, in order. The documents and bytes pass under
    // this lock; the queued call that wakes the loader's thread carries nothing.
    std::mutex mutex;
    std::deque<std::function<void()>> deliveries;
};

DocumentTextLoader::DocumentTextLoader(QObject* parent) : QObject(parent) {}

DocumentTextLoader::~DocumentTextLoader() {
    if (m_shared) m_shared->cancelled = true;
    m_worker.Join();
}

DocumentTextLoader::StartResult DocumentTextLoader::Start(const std::string& entryName) {
    auto file = std::make_unique<CRtfFile>();
    try {
        if (!file->openEntry(entryName)) {
            if (file->openCode() == kDataTooLarge) return StartResult::TooLarge;
            return file->openCode() == kStgDocfileCorrupt ? StartResult::Malformed : StartResult::Missing;
        }
    } catch (const std::exception& error) {
        // A header the entry reader cannot take: the text cannot be shown.
        ErrorLog().WriteEntry(std::string("DocumentTextLoader::Start: ") + entryName + ": " +
                              Cp1251ToUtf8(error.what()));
        return StartResult::Malformed;
    }
    m_shared = std::make_shared<Shared>();
    m_worker = WorkerThread([this, file = std::move(file), shared = m_shared, home = thread()]() mutable {
        Run(std::move(file), shared, home);
    });
    return StartResult::Started;
}

namespace {

// Decoded blocks on their way from the decoding thread to the building one. At most kQueued
// blocks wait, so a builder that falls behind holds the decoder back instead of the memory
// growing.
class BlockQueue {
public:
    static constexpr std::size_t kQueued = 64;

    // False once the consumer has gone.
    bool Push(QByteArray block) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_abandoned || m_blocks.size() < kQueued; });
        if (m_abandoned) return false;
        m_blocks.push_back(std::move(block));
        m_changed.notify_all();
        return true;
    }
    // False at the end of the blocks.
    bool Pop(QByteArray& block) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_closed || !m_blocks.empty(); });
        if (m_blocks.empty()) return false;
        block = std::move(m_blocks.front());
        m_blocks.pop_front();
        m_changed.notify_all();
        return true;
    }
    void Close() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }
    void Abandon() {
        std::lock_guard lock(m_mutex);
        m_abandoned = true;
        m_blocks.clear();
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_blocks;
    bool m_closed = false;
    bool m_abandoned = false;
};

// The decoding thread of one text: reads the entry block by block into the queue. Destroying it
// (the builder is done, gave up or failed) stops it and waits for it.
class Decoder {
public:
    Decoder(CRtfFile& file, BlockQueue& queue) : m_queue(queue) {
        m_thread = WorkerThread([this, &file] {
            try {
                for (;;) {
                    QByteArray block(static_cast<qsizetype>(kBlockSize), Qt::Uninitialized);
                    const qint64 count = file.read(block.data(), kBlockSize);
                    if (count <= 0) break;
                    block.truncate(static_cast<qsizetype>(count));
                    if (!m_queue.Push(std::move(block))) break;
                }
            } catch (const std::bad_alloc&) {
                m_outOfMemory = true;
            }
            m_queue.Close();
        });
    }
    ~Decoder() { Join(); }
    void Join() {
        if (!m_thread.running()) return;
        m_queue.Abandon();
        m_thread.Join();
    }
    bool outOfMemory() const { return m_outOfMemory; }

private:
    BlockQueue& m_queue;
    WorkerThread m_thread;
    std::atomic<bool> m_outOfMemory{false};
};

}  // namespace

// The thread keeps its own copy of the shared state for as long as it runs; shared refers to it.
void DocumentTextLoader::Run(std::unique_ptr<CRtfFile> file, const std::shared_ptr<Shared>& shared, QThread* home) {
    auto post = [this, &shared](std::function<void()> deliver) {
        {
            std::lock_guard lock(shared->mutex);
            shared->deliveries.push_back(std::move(deliver));
        }
        QMetaObject::invokeMethod(this, "RunDeliveries", Qt::QueuedConnection);
    };
    // A document on its way to the loader's thread; freed with the deliveries when the loader goes
    // first.
    auto handOver = [home](std::unique_ptr<QTextDocument> document) {
        document->moveToThread(home);
        return std::make_shared<std::unique_ptr<QTextDocument>>(std::move(document));
    };
    try {
        const qint64 announced = file->announcedLength();
        shared->announced = announced;
        const bool showFirstPart = announced > kFirstPartMinimumLength;
        auto rtf = std::make_shared<QByteArray>();
        rtf->reserve(static_cast<qsizetype>(std::min(announced, kMaxReserve)));
        RtfDocumentLoader whole;
        bool firstPartSent = false;
        {
            // Decoding and building run side by side, each on a thread of its own.
            BlockQueue queue;
            Decoder decoder(*file, queue);
            for (QByteArray block; queue.Pop(block);) {
                if (shared->cancelled) return;
                rtf->append(block);
                shared->read = rtf->size();
                whole.Feed(std::string_view(block.constData(), static_cast<std::size_t>(block.size())));
                if (showFirstPart && !firstPartSent && rtf->size() >= kFirstPartLength) {
                    firstPartSent = true;
                    auto part = handOver(BuildTextDocument(View(*rtf, kFirstPartLength)));
                    post([this, part] {
                        m_firstPart = std::move(*part);
                        emit firstPartReady();
                    });
                }
            }
            decoder.Join();
            if (decoder.outOfMemory()) throw std::bad_alloc();
        }
        const bool isWhole = file->atWholeEnd();
        if (!isWhole) {
            ErrorLog().WriteEntry("DocumentTextLoader: " + file->entryName() + ": the text ends after " +
                                  std::to_string(rtf->size()) + " of " + std::to_string(announced) + " bytes");
        }
        // The container is released before the document is handed over.
        file.reset();
        if (shared->cancelled) return;
        std::unique_ptr<QTextDocument> built = whole.TakeDocument();
        if (!firstPartSent) {
            if (std::unique_ptr<QTextDocument> head = TableHeavyTextHead(*built)) {
                auto part = handOver(std::move(head));
                post([this, part] {
                    m_firstPart = std::move(*part);
                    emit firstPartReady();
                });
            }
        }
        auto document = handOver(std::move(built));
        auto outline = std::make_shared<DocumentOutline>(whole.TakeOutline());
        post([this, document, rtf, outline, isWhole] {
            m_document = std::move(*document);
            m_rtf = std::move(*rtf);
            m_outline = std::move(*outline);
            m_whole = isWhole;
            m_finished = true;
            // The worker has nothing left to do but return.
            m_worker.Join();
            emit finished();
        });
    } catch (const std::bad_alloc&) {
        ErrorLog().WriteEntry("DocumentTextLoader: out of memory while reading a document text");
        post([this] {
            m_failed = true;
            m_finished = true;
            m_worker.Join();
            emit finished();
        });
    }
}

void DocumentTextLoader::RunDeliveries() {
    for (;;) {
        std::function<void()> deliver;
        {
            std::lock_guard lock(m_shared->mutex);
            if (m_shared->deliveries.empty()) return;
            deliver = std::move(m_shared->deliveries.front());
            m_shared->deliveries.pop_front();
        }
        deliver();
    }
}

bool DocumentTextLoader::WaitFor(const std::function<bool()>& ready, const WaitHooks& hooks) {
    if (ready() || !m_shared) return true;
    if (hooks.begin) hooks.begin();
    QEventLoop loop;
    bool cancelled = false;
    const auto check = [&] {
        if (ready()) loop.quit();
    };
    connect(this, &DocumentTextLoader::firstPartReady, &loop, check);
    connect(this, &DocumentTextLoader::finished, &loop, check);
    if (hooks.offerCancel) {
        hooks.offerCancel([&] {
            cancelled = true;
            loop.quit();
        });
    }
    loop.exec(hooks.offerCancel ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    if (hooks.offerCancel) hooks.offerCancel({});
    if (hooks.end) hooks.end();
    return !cancelled;
}

bool DocumentTextLoader::WaitForFirstPart(const WaitHooks& hooks) {
    return WaitFor([this] { return m_firstPart != nullptr || m_firstPartSeen || m_finished; }, hooks);
}

bool DocumentTextLoader::WaitForWhole(const WaitHooks& hooks) {
    return WaitFor([this] { return m_finished; }, hooks);
}

int DocumentTextLoader::percentRead() const {
    if (m_finished) return 100;
    if (!m_shared) return 0;
    const qint64 announced = m_shared->announced;
    // The announced length may lie: the figure never passes 99 before the end.
    if (announced <= 0) return 0;
    return static_cast<int>(std::min<qint64>(99, m_shared->read * 100 / announced));
}

std::unique_ptr<QTextDocument> DocumentTextLoader::TakeFirstPart() {
    if (m_firstPart) m_firstPartSeen = true;
    return std::move(m_firstPart);
}

std::unique_ptr<QTextDocument> DocumentTextLoader::TakeDocument() { return std::move(m_document); }

QByteArray DocumentTextLoader::TakeRtf() { return std::move(m_rtf); }

}  // namespace Norik
