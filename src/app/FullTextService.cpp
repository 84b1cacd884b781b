#include "app/FullTextService.h"

#include <QMetaObject>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "diagnostics/CrashReport.h"
#include "diagnostics/ErrorLog.h"
#include "fulltext/BaseDocuments.h"
#include "showdata/ListDoc.h"

namespace Norik {

namespace {

constexpr int kPollMilliseconds = 100;

std::string DamageText(const std::filesystem::path& folder, const std::string& why) {
    return "Full-text index " + folder.string() + " cannot be used: " + why;
}

}  // namespace

IndexSource OpenBaseIndexSource() {
    IndexSource source;
    source.baseFolder = GetIndexFolder();
    const FullText::BaseIdentity identity = FullText::IdentityOfLoadedBase();
    source.baseDate = identity.date;
    source.baseKey = identity.key;
    std::set<std::int16_t> seen;
    for (const ShowData::DocItem& row : ShowData::GetDocTable()) {
        if (!seen.insert(row.number).second) continue;
        FullText::DocumentFields fields;
        fields.number = row.number;
        fields.title = Cp1251ToUtf8(row.title);
        std::string_view type = row.type;
        if (!type.empty() && type.front() == ' ') type.remove_prefix(1);
        fields.type = Cp1251ToUtf8(type);
        fields.numberText = Cp1251ToUtf8(row.numberText);
        fields.date = row.dateOfIntroduction;
        fields.inForce = row.inForce;
        source.documents.push_back(std::move(fields));
    }
    // Resolved here, on this thread: the building thread reads the container by this path.
    source.textOf = [container =
                         GetDataFolder() + "Norik.sdb"](std::int16_t number) -> std::optional<FullText::DocumentText> {
        std::string problem;
        return FullText::ContainerDocumentText(container, number, problem);
    };
    return source;
}

FullTextService::FullTextService(QObject* parent) : QObject(parent) {
    m_poll.setInterval(kPollMilliseconds);
    connect(&m_poll, &QTimer::timeout, this, &FullTextService::LookAtBuild);
    connect(this, &FullTextService::handedOver, this, &FullTextService::RunHandedOver, Qt::QueuedConnection);
}

void FullTextService::HandOver(std::function<void()> work) {
    {
        const std::lock_guard lock(m_handedMutex);
        m_handed.push_back(std::move(work));
    }
    emit handedOver();
}

void FullTextService::RunHandedOver() {
    std::vector<std::function<void()>> handed;
    {
        const std::lock_guard lock(m_handedMutex);
        handed.swap(m_handed);
    }
    for (std::function<void()>& work : handed) work();
}

struct FullTextService::Searching {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stop = false;
};

FullTextService::~FullTextService() {
    if (m_build) m_build->stop = true;
    if (m_worker.joinable()) m_worker.join();
    if (m_searching) {
        {
            const std::lock_guard lock(m_searching->mutex);
            m_searching->stop = true;
            m_searching->jobs.clear();
        }
        m_searching->wake.notify_all();
    }
    if (m_searchThread.joinable()) m_searchThread.join();
}

void FullTextService::Post(Job job) {
    if (!m_searching) {
        m_searching = std::make_shared<Searching>();
        m_searchThread = std::thread([searching = m_searching] {
            std::unique_ptr<FullText::Searcher> searcher;
            for (;;) {
                Job next;
                {
                    std::unique_lock lock(searching->mutex);
                    searching->wake.wait(lock, [&] { return searching->stop || !searching->jobs.empty(); });
                    if (searching->stop) break;
                    next = std::move(searching->jobs.front());
                    searching->jobs.pop_front();
                }
                next(searcher);
            }
        });
    }
    {
        const std::lock_guard lock(m_searching->mutex);
        m_searching->jobs.push_back(std::move(job));
    }
    m_searching->wake.notify_one();
    if (m_unanswered++ == 0) emit searchingChanged(true);
}

void FullTextService::Answered() {
    if (m_unanswered > 0 && --m_unanswered == 0) emit searchingChanged(false);
}

void FullTextService::Prepare(IndexSource source) {
    if (m_state != State::Idle) return;
    m_baseDate = source.baseDate;
    m_state = State::Building;
    m_percent = 0;
    // The indexes are looked at off this thread: the first look at one reads all of it. What is
    // found comes back to this thread; a service destroyed meanwhile waits for the look to end,
    // and what it found is dropped with the service.
    auto shared = std::make_shared<IndexSource>(std::move(source));
    m_worker = std::thread([this, shared] {
        const ThreadSignalStack signalStack;
        FullText::IndexChoice index;
        try {
            index = FullText::ChooseIndex(shared->baseFolder, {shared->baseDate, shared->baseKey});
        } catch (const std::exception& error) {
            // Out of memory, most likely: taken as no index, which is then built.
            index.own.why = error.what();
        }
        HandOver([this, shared, index = std::move(index)] { Chosen(std::move(*shared), index); });
    });
    emit progressChanged(0);
}

void FullTextService::Chosen(IndexSource source, const FullText::IndexChoice& index) {
    if (m_worker.joinable()) m_worker.join();
    const std::filesystem::path cache = FullText::CacheIndexFolder(source.baseFolder, source.baseDate);
    // The base's own index is only read: a damaged one is told in the log and left where it is.
    if (index.own.state == FullText::IndexState::Damaged)
        ErrorLog().WriteEntry(DamageText(FullText::BaseIndexFolder(source.baseFolder), index.own.why));
    if (!index.folder.empty()) {
        StartCleanup(cache);
        Finish(index.folder);
        return;
    }
    const FullText::IndexCheck& cacheCheck = index.cache;
    if (cacheCheck.state == FullText::IndexState::Damaged) {
        const std::filesystem::path aside = FullText::SetIndexAside(cache);
        ErrorLog().WriteEntry(DamageText(cache, cacheCheck.why) +
                              (aside.empty() ? "; it could not be moved aside" : "; moved to " + aside.string()));
        if (aside.empty()) {
            Fail(QStringLiteral("Индекс быстрого поиска повреждён и не может быть заменён."));
            return;
        }
    }
    StartBuild(std::move(source), cache);
}

void FullTextService::StartBuild(IndexSource source, const std::filesystem::path& folder) {
    m_state = State::Building;
    m_percent = 0;
    m_folder = folder;
    auto build = std::make_shared<Build>();
    m_build = build;
    build->total = source.documents.size();
    m_worker = std::thread([build, folder, source = std::move(source)] {
        const ThreadSignalStack signalStack;
        FullText::BuildResult result;
        try {
            result = FullText::BuildIndex(folder, source.documents, source.textOf, {source.baseDate, source.baseKey},
                                          [&build](std::size_t done, std::size_t total) {
                                              build->done = done;
                                              build->total = total;
                                              return !build->stop.load();
                                          });
            // Checked here, off the window's thread, before the window opens it: the check of a
            // large index takes seconds, and is remembered for the opening.
            if (result.ok) {
                if (const FullText::IndexCheck check = FullText::CheckIndex(folder, {source.baseDate, source.baseKey});
                    check.state != FullText::IndexState::Current) {
                    result.ok = false;
                    result.error = check.why;
                }
            }
            // The index in place supersedes the cache's others of this base folder.
            if (result.ok) FullText::RemoveSupersededIndexes(folder);
        } catch (const std::exception& error) {
            // Out of memory, most likely: the build is given up like a failed one.
            result.ok = false;
            result.error = error.what();
        }
        {
            const std::lock_guard lock(build->mutex);
            build->result = std::move(result);
        }
        build->finished = true;
    });
    m_poll.start();
    emit progressChanged(0);
}

void FullTextService::StartCleanup(const std::filesystem::path& cache) {
    // Removing whole indexes may take a while: off this thread.
    if (!m_worker.joinable())
        m_worker = std::thread([cache] {
            const ThreadSignalStack signalStack;
            FullText::RemoveSupersededIndexes(cache);
        });
}

void FullTextService::LookAtBuild() {
    if (!m_build) return;
    const std::size_t total = m_build->total;
    const int percent = total == 0 ? 100 : static_cast<int>(m_build->done * 100 / total);
    if (percent != m_percent) {
        m_percent = percent;
        emit progressChanged(percent);
    }
    if (!m_build->finished) return;
    m_poll.stop();
    if (m_worker.joinable()) m_worker.join();
    FullText::BuildResult result;
    {
        const std::lock_guard lock(m_build->mutex);
        result = std::move(m_build->result);
    }
    m_build.reset();
    if (!result.ok) {
        ErrorLog().WriteEntry("Full-text index " + m_folder.string() + " could not be built: " + result.error);
        Fail(QStringLiteral("Индекс быстрого поиска не удалось подготовить: %1")
                 .arg(QString::fromStdString(result.error)));
        return;
    }
    Finish(m_folder);
}

void FullTextService::Finish(const std::filesystem::path& folder) {
    m_folder = folder;
    // Opened on the searching thread, which answers every search: the window goes on meanwhile.
    Post([this, folder](std::unique_ptr<FullText::Searcher>& searcher) {
        searcher = std::make_unique<FullText::Searcher>(folder);
        std::string error = searcher->ok() ? std::string() : searcher->error();
        if (!error.empty()) searcher.reset();
        HandOver([this, folder, error = std::move(error)] {
            Answered();
            if (!error.empty()) {
                ErrorLog().WriteEntry(DamageText(folder, error));
                Fail(QStringLiteral("Индекс быстрого поиска не открывается."));
                return;
            }
            m_state = State::Ready;
            m_percent = 100;
            emit ready();
        });
    });
}

void FullTextService::Fail(const QString& why) {
    m_state = State::Failed;
    m_failure = why;
    emit failed(why);
}

void FullTextService::Search(std::string query, std::size_t maxHits, std::size_t passagesPerHit,
                             std::optional<std::vector<std::int16_t>> among, SearchDone done) {
    if (m_state != State::Ready) {
        FullText::SearchResult none;
        none.error = "the index is not ready";
        done(std::move(none));
        return;
    }
    Post([this, query = std::move(query), maxHits, passagesPerHit, among = std::move(among),
          done = std::move(done)](std::unique_ptr<FullText::Searcher>& searcher) mutable {
        FullText::SearchResult result;
        if (searcher)
            result = searcher->Search(query, maxHits, passagesPerHit, among ? &*among : nullptr);
        else
            result.error = "the index is not open";
        HandOver([this, result = std::move(result), done = std::move(done)]() mutable {
            Answered();
            done(std::move(result));
        });
    });
}

void FullTextService::Passages(std::string query, std::int16_t number, std::size_t count, PassagesDone done) {
    if (m_state != State::Ready) {
        done({});
        return;
    }
    Post([this, query = std::move(query), number, count,
          done = std::move(done)](std::unique_ptr<FullText::Searcher>& searcher) mutable {
        std::vector<std::string> passages =
            searcher ? searcher->Passages(query, number, count) : std::vector<std::string>();
        HandOver([this, passages = std::move(passages), done = std::move(done)]() mutable {
            Answered();
            done(std::move(passages));
        });
    });
}

}  // namespace Norik
