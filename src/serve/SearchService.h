// The full-text side of the web reader: the index of the base found or built, and the threads
// that search it.
//
// The index is found as the viewer finds it (the base's own "fulltext/", else its own in the
// user's cache); without a current one the base is served at once and the index is built in the
// background into the cache (BuildIndex over the base's documents), searches saying so until it
// is ready. Searches run on threads of their own, each with its own Searcher, so that page
// requests never wait behind them; at most maxQueued searches wait for a thread, and Submit
// refuses more. A job runs with the searcher, or with null while the index is not ready.
//
// Threads: any thread may Submit and read the state; jobs run on the search threads. Destruction
// stops a build within one document and runs the jobs queued before it ends.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fulltext/FullTextIndex.h"

namespace Norik::Serve {

class SearchService {
public:
    enum class State { Building, Ready, Failed };
    using Job = std::function<void(const FullText::Searcher* searcher)>;

    SearchService(const std::filesystem::path& baseFolder, std::int32_t baseDate, std::size_t threads,
                  std::size_t maxQueued);
    ~SearchService();
    SearchService(const SearchService&) = delete;
    SearchService& operator=(const SearchService&) = delete;

    State state() const { return m_state.load(); }
    int percent() const;
    // Why the index could not be prepared, once Failed.
    std::string failure() const;

    // Queues job; false when maxQueued searches are waiting already.
    bool Submit(Job job);

private:
    void Build(const std::vector<FullText::DocumentFields>& documents, const FullText::TextSource& textOf);
    void Work();

    std::filesystem::path m_baseFolder;
    std::int32_t m_baseDate;
    std::string m_baseKey;  // the base's key (BaseKey): an index of another base of the same date is not taken
    std::size_t m_maxQueued;
    std::atomic<State> m_state{State::Building};
    std::atomic<std::size_t> m_done{0};
    std::atomic<std::size_t> m_total{0};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    std::filesystem::path m_folder;  // the index, once Ready
    std::string m_failure;
    std::thread m_builder;
    std::vector<std::thread> m_threads;
};

}  // namespace Norik::Serve
