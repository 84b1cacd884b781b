// The full-text index of the open base, found or built for the viewer's quick search.
//
// Prepare looks, in this order, for the index the base carries (its folder "fulltext/"), then for
// the viewer's own one in the user's cache folder, and takes the first that is current; it looks
// on a worker thread, since the first look at an index checks all of it (FullTextIndex.h). Without
// one it builds the index into the cache folder on a worker thread, from plain data only: the
// documents' attributes copied from the tables beforehand, and their texts read from the
// container and decoded there. Meanwhile the window goes on: the progress is looked at a few
// times a second (progressChanged) and ready() comes when the index can answer. An index found
// damaged is written to the error log; one in the cache folder is moved aside (renamed) and built
// anew; the base's own is never touched. Once an index is in place, or found current, the cache's
// indexes of other dates of the same base folder and those set aside are removed.
//
// Searching runs on a thread of the service's own, which opens the index once it is prepared
// (ready() or failed() come when it is open) and answers one request after another; each answer
// comes back on the user-interface thread, so the window never waits for a search. Destroying the
// service stops a build within one document, drops the requests not yet answered and waits for
// the one being answered.
// User-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fulltext/FullTextIndex.h"

namespace Norik {

// What an index is made from: plain data, handed whole to the building thread.
struct IndexSource {
    // The folder of the base's tables: its own index is "fulltext/" there; the cache keeps one
    // index per base folder and base date.
    std::filesystem::path baseFolder;
    std::int32_t baseDate = 0;
    // What tells this base from another of its date (FullText::BaseKey).
    std::string baseKey;
    std::vector<FullText::DocumentFields> documents;
    // Called on the building thread.
    FullText::TextSource textOf;
};

// The source of the base the viewer has open: the document table's rows (the first of each
// number) and texts read from the container by number. The tables must be loaded.
IndexSource OpenBaseIndexSource();

class FullTextService : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Building, Ready, Failed };

    explicit FullTextService(QObject* parent = nullptr);
    ~FullTextService() override;

    // Finds the index of source's base or starts building it (see above). A service prepares once.
    void Prepare(IndexSource source);

    State state() const { return m_state; }
    // How far a build has got, 0 to 100.
    int percent() const { return m_percent; }
    // The index answering the searches, once Ready.
    const std::filesystem::path& folder() const { return m_folder; }
    // Why the index could not be prepared, once Failed.
    const QString& failure() const { return m_failure; }

    using SearchDone = std::function<void(FullText::SearchResult)>;
    using PassagesDone = std::function<void(std::vector<std::string>)>;
    // Runs query over the index (Searcher::Search, among: null for every document) on the
    // searching thread; done is called on this thread with the result, an error when the index is
    // not ready or cannot answer. Not called once the service is gone.
    void Search(std::string query, std::size_t maxHits, std::size_t passagesPerHit,
                std::optional<std::vector<std::int16_t>> among, SearchDone done);
    // The passages of one document found by query (Searcher::Passages), as Search gives its
    // result; none when not ready.
    void Passages(std::string query, std::int16_t number, std::size_t count, PassagesDone done);
    // Whether a request is being answered or waits to be.
    bool searching() const { return m_unanswered > 0; }

signals:
    void progressChanged(int percent);
    void ready();
    void failed(const QString& why);
    // A request began to be answered with none waiting (true), or the last was answered (false).
    void searchingChanged(bool searching);
    // Work handed over by another thread waits (HandOver): emitted on that thread, received on this.
    void handedOver();

private:
    struct Build {
        std::atomic<bool> stop{false};
        std::atomic<std::size_t> done{0};
        std::atomic<std::size_t> total{0};
        std::atomic<bool> finished{false};
        std::mutex mutex;
        FullText::BuildResult result;
    };

    // Goes on from what the worker found of the indexes of source's base.
    void Chosen(IndexSource source, const FullText::IndexChoice& index);
    void StartBuild(IndexSource source, const std::filesystem::path& folder);
    // Removes the indexes the cache keeps for this base folder that cache supersedes.
    void StartCleanup(const std::filesystem::path& cache);
    void LookAtBuild();
    void Finish(const std::filesystem::path& folder);
    void Fail(const QString& why);

    // The requests for the searching thread and the index it opens: shared with the thread.
    struct Searching;
    using Job = std::function<void(std::unique_ptr<FullText::Searcher>& searcher)>;
    // Hands job to the searching thread (started on the first one).
    void Post(Job job);
    // Called on this thread when the searching thread has answered a request.
    void Answered();
    // Runs work on this object's thread, from any thread: what is handed over waits under a lock of
    // ours (so that it passes between the threads under that lock), and a queued signal wakes this
    // thread to run it.
    void HandOver(std::function<void()> work);
    void RunHandedOver();

    State m_state = State::Idle;
    int m_percent = 0;
    std::filesystem::path m_folder;
    std::int32_t m_baseDate = 0;
    QString m_failure;
    std::shared_ptr<Build> m_build;
    std::thread m_worker;
    QTimer m_poll;
    std::shared_ptr<Searching> m_searching;
    std::thread m_searchThread;
    int m_unanswered = 0;
    std::mutex m_handedMutex;
    std::vector<std::function<void()>> m_handed;
};

}  // namespace Norik
