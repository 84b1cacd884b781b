// A worker thread that may build Qt objects (text documents among them): a QThread, started at
// construction with the work given, opening with its own signal stack so that a crash there is
// reported too.
//
// Join waits for the work to end. The end is passed on through a latch the work counts down last,
// so that the thread checker sees everything the work wrote happen before Join returns (Qt's own
// wait is not built with the checker and is invisible to it); the thread itself is then reaped.
// Destroying a worker that is still running joins it.
//
// Ownership: a worker belongs to the thread that started it; it can be moved, not copied. The
// work must not throw.
#pragma once

#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <latch>
#include <memory>
#include <type_traits>
#include <utility>

#include "diagnostics/CrashReport.h"

namespace Norik {

class WorkerThread {
public:
    WorkerThread() = default;

    // Not a copy or move of another worker: those take the constructors below.
    template <typename Work, std::enable_if_t<!std::is_same_v<std::decay_t<Work>, WorkerThread>, int> = 0>
    explicit WorkerThread(Work&& work) : m_done(std::make_shared<std::latch>(1)) {
        m_thread.reset(QThread::create([work = std::forward<Work>(work), done = m_done]() mutable {
            {
                const ThreadSignalStack signalStack;
                work();
            }
            done->count_down();
        }));
        m_thread->start();
    }

    WorkerThread(WorkerThread&& other) noexcept = default;
    WorkerThread& operator=(WorkerThread&& other) noexcept {
        if (this != &other) {
            Join();
            m_thread = std::move(other.m_thread);
            m_done = std::move(other.m_done);
        }
        return *this;
    }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() { Join(); }

    bool running() const { return m_thread != nullptr; }

    // Waits for the work to end; at once when there is none.
    void Join() {
        if (!m_thread) return;
        m_done->wait();
        m_thread->wait();
        m_thread.reset();
        m_done.reset();
    }

private:
    std::unique_ptr<QThread> m_thread;
    std::shared_ptr<std::latch> m_done;
};

// Gives every thread of pool an alternate signal stack for its lifetime (Qt's own work on the
// pool - scaling and converting large pictures - runs there): the pool keeps its threads rather
// than letting idle ones end, and one task on each of them, all held until every one runs, keeps
// a stack for its thread (ThreadSignalStack::KeepForThread). Called once, at start, before the
// pool has work; returns without waiting for the tasks.
inline void GiveSignalStacks(QThreadPool& pool) {
    pool.setExpiryTimeout(-1);
    const int threads = std::max(pool.maxThreadCount(), 1);
    auto started = std::make_shared<std::latch>(threads);
    for (int i = 0; i < threads; ++i) {
        pool.start([started] {
            ThreadSignalStack::KeepForThread();
            started->arrive_and_wait();
        });
    }
}

}  // namespace Norik
