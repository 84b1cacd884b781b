#include "views/DocumentTextLoader.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextDocument>
#include <QThread>
#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <string_view>

#include "Helpers/qt/CRtfFile.h"
#include "diagnostics/ErrorLog.h"
#include "richtext/qt/RtfDocumentBuilder.h"

namespace Norik {

namespace {

constexpr qint64 kBlockSize = 65536;
// The stored bytes are reserved up to this much ahead; a header that claims more (it may lie)
// lets the buffer grow as the bytes really come.
constexpr qint64 kMaxReserve = 64 * 1024 * 1024;

std::string_view View(const QByteArray& bytes, qint64 length) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(length));
}

}  // namespace

void RunWhileWaiting(const std::function<void()>& work, const WaitHooks& hooks) {
    QEventLoop loop;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (hooks.begin) hooks.begin();
    // The quit may have been posted before the loop runs; it is delivered once it does.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (hooks.end) hooks.end();
}

struct DocumentTextLoader::Shared {
    std::atomic<bool> cancelled{false};
};

DocumentTextLoader::DocumentTextLoader(QObject* parent) : QObject(parent) {}

DocumentTextLoader::~DocumentTextLoader() {
    if (m_shared) m_shared->cancelled = true;
    if (m_worker.joinable()) m_worker.join();
}

DocumentTextLoader::StartResult DocumentTextLoader::Start(const std::string& entryName) {
    auto file = std::make_unique<CRtfFile>();
    try {
        if (!file->openEntry(entryName)) return StartResult::Missing;
    } catch (const std::exception& error) {
        // A header the entry reader cannot take: the text cannot be shown.
        ErrorLog().WriteEntry(std::string("DocumentTextLoader::Start: ") + entryName + ": " + error.what());
        return StartResult::Malformed;
    }
    m_shared = std::make_shared<Shared>();
    m_worker = std::thread(&DocumentTextLoader::Run, this, std::move(file), m_shared, thread());
    return StartResult::Started;
}

void DocumentTextLoader::Run(std::unique_ptr<CRtfFile> file, std::shared_ptr<Shared> shared, QThread* home) {
    auto post = [this](std::function<void()> deliver) {
        QMetaObject::invokeMethod(this, std::move(deliver), Qt::QueuedConnection);
    };
    // A document on its way to the loader's thread; freed with the call when that never runs.
    auto handOver = [home](std::unique_ptr<QTextDocument> document) {
        document->moveToThread(home);
        return std::make_shared<std::unique_ptr<QTextDocument>>(std::move(document));
    };
    try {
        const qint64 announced = file->announcedLength();
        const bool showFirstPart = announced > kFirstPartMinimumLength;
        auto rtf = std::make_shared<QByteArray>();
        rtf->reserve(static_cast<qsizetype>(std::min(announced, kMaxReserve)));
        RtfDocumentLoader whole;
        bool firstPartSent = false;
        for (;;) {
            if (shared->cancelled) return;
            const qint64 start = rtf->size();
            rtf->resize(static_cast<qsizetype>(start + kBlockSize));
            const qint64 count = file->read(rtf->data() + start, kBlockSize);
            rtf->resize(static_cast<qsizetype>(start + std::max<qint64>(count, 0)));
            if (count <= 0) break;
            whole.Feed(View(*rtf, rtf->size()).substr(static_cast<std::size_t>(start)));
            if (showFirstPart && !firstPartSent && rtf->size() >= kFirstPartLength) {
                firstPartSent = true;
                auto part = handOver(BuildTextDocument(View(*rtf, kFirstPartLength)));
                post([this, part] {
                    m_firstPart = std::move(*part);
                    emit firstPartReady();
                });
            }
        }
        const bool isWhole = file->atWholeEnd();
        if (!isWhole) {
            ErrorLog().WriteEntry("DocumentTextLoader: " + file->entryName() + ": the text ends after " +
                                  std::to_string(rtf->size()) + " of " + std::to_string(announced) + " bytes");
        }
        // The container is released before the document is handed over.
        file.reset();
        if (shared->cancelled) return;
        auto document = handOver(whole.TakeDocument());
        post([this, document, rtf, isWhole] {
            m_document = std::move(*document);
            m_rtf = std::move(*rtf);
            m_whole = isWhole;
            m_finished = true;
            // The worker has nothing left to do but return.
            if (m_worker.joinable()) m_worker.join();
            emit finished();
        });
    } catch (const std::bad_alloc&) {
        ErrorLog().WriteEntry("DocumentTextLoader: out of memory while reading a document text");
        post([this] {
            m_failed = true;
            m_finished = true;
            if (m_worker.joinable()) m_worker.join();
            emit finished();
        });
    }
}

void DocumentTextLoader::WaitFor(const std::function<bool()>& ready, const WaitHooks& hooks) {
    if (ready() || !m_shared) return;
    if (hooks.begin) hooks.begin();
    QEventLoop loop;
    const auto check = [&] {
        if (ready()) loop.quit();
    };
    connect(this, &DocumentTextLoader::firstPartReady, &loop, check);
    connect(this, &DocumentTextLoader::finished, &loop, check);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (hooks.end) hooks.end();
}

void DocumentTextLoader::WaitForFirstPart(const WaitHooks& hooks) {
    WaitFor([this] { return m_firstPart != nullptr || m_firstPartSeen || m_finished; }, hooks);
}

void DocumentTextLoader::WaitForWhole(const WaitHooks& hooks) {
    WaitFor([this] { return m_finished; }, hooks);
}

std::unique_ptr<QTextDocument> DocumentTextLoader::TakeFirstPart() {
    if (m_firstPart) m_firstPartSeen = true;
    return std::move(m_firstPart);
}

std::unique_ptr<QTextDocument> DocumentTextLoader::TakeDocument() { return std::move(m_document); }

QByteArray DocumentTextLoader::TakeRtf() { return std::move(m_rtf); }

}  // namespace Norik
