#include "serve/SearchService.h"

#include <memory>

#include "Helpers/Folders.h"
#include "diagnostics/ErrorLog.h"
#include "fulltext/BaseDocuments.h"

namespace Norik::Serve {

SearchService::SearchService(const std::filesystem::path& baseFolder, std::int32_t baseDate, std::size_t threads,
                             std::size_t maxQueued)
    : m_baseFolder(baseFolder),
      m_baseDate(baseDate),
      m_baseKey(FullText::IdentityOfLoadedBase().key),
      m_maxQueued(maxQueued) {
    const FullText::IndexChoice choice = FullText::ChooseIndex(baseFolder, {baseDate, m_baseKey});
    if (choice.own.state == FullText::IndexState::Damaged)
        ErrorLog().WriteEntry("Full-text index " + FullText::BaseIndexFolder(baseFolder).string() +
                              " cannot be used: " + choice.own.why);
    if (!choice.folder.empty()) {
        m_folder = choice.folder;
        m_state = State::Ready;
    } else {
        const std::filesystem::path cache = FullText::CacheIndexFolder(baseFolder, baseDate);
        if (choice.cache.state == FullText::IndexState::Damaged) {
            const std::filesystem::path aside = FullText::SetIndexAside(cache);
            ErrorLog().WriteEntry("Full-text index " + cache.string() + " cannot be used: " + choice.cache.why);
            if (aside.empty()) {
                m_failure = "Индекс быстрого поиска повреждён и не может быть заменён.";
                m_state = State::Failed;
            }
        }
        if (m_state == State::Building) {
            // The documents are copied here, on the thread that owns the model; the build reads
            // texts on threads of its own.
            std::vector<FullText::DocumentFields> documents = FullText::DocumentsOfLoadedBase();
            m_total = documents.size();
            FullText::TextSource textOf = [container = GetDataFolder() + "Norik.sdb"](std::int16_t number) {
                std::string problem;
                return FullText::ContainerDocumentText(container, number, problem);
            };
            m_builder = std::thread(
                [this, documents = std::move(documents), textOf = std::move(textOf)] { Build(documents, textOf); });
        }
    }
    for (std::size_t i = 0; i < threads; ++i) m_threads.emplace_back(&SearchService::Work, this);
}

SearchService::~SearchService() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) thread.join();
    if (m_builder.joinable()) m_builder.join();
}

int SearchService::percent() const {
    const std::size_t total = m_total;
    return total == 0 ? 100 : static_cast<int>(m_done * 100 / total);
}

std::string SearchService::failure() const {
    const std::lock_guard lock(m_mutex);
    return m_failure;
}

void SearchService::Build(const std::vector<FullText::DocumentFields>& documents, const FullText::TextSource& textOf) {
    const std::filesystem::path folder = FullText::CacheIndexFolder(m_baseFolder, m_baseDate);
    FullText::BuildResult result;
    try {
        result = FullText::BuildIndex(folder, documents, textOf, {m_baseDate, m_baseKey},
                                      [this](std::size_t done, std::size_t total) {
                                          m_done = done;
                                          m_total = total;
                                          return !m_stop.load();
                                      });
        if (result.ok) FullText::RemoveSupersededIndexes(folder);
    } catch (const std::exception& error) {
        result.ok = false;
        result.error = error.what();
    }
    const std::lock_guard lock(m_mutex);
    if (result.ok) {
        m_folder = folder;
        m_state = State::Ready;
    } else if (!result.cancelled) {
        ErrorLog().WriteEntry("Full-text index " + folder.string() + " could not be built: " + result.error);
        m_failure = "Индекс быстрого поиска не удалось подготовить: " + result.error;
        m_state = State::Failed;
    }
}

bool SearchService::Submit(Job job) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_stop || m_jobs.size() >= m_maxQueued) return false;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
    return true;
}

void SearchService::Work() {
    // A searcher belongs to the thread that opened it: each thread opens its own once the index
    // is ready.
    std::unique_ptr<FullText::Searcher> searcher;
    for (;;) {
        Job job;
        std::filesystem::path folder;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            // The searches in flight are answered before the threads end.
            if (m_jobs.empty()) return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            if (m_state == State::Ready) folder = m_folder;
        }
        if (!searcher && !folder.empty()) searcher = std::make_unique<FullText::Searcher>(folder);
        job(searcher && searcher->ok() ? searcher.get() : nullptr);
    }
}

}  // namespace Norik::Serve
