#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

// The one way the program does numbered items on several threads: certificates, their PDFs and
// the signing of a folder. Items finish in any order; progress is told in theirs.
namespace cw::core {

// The earliest failure among numbered items done in parallel: a run that reports it ends where
// one taking the items in turn would have ended.
class EarliestFailure {
public:
    // Keeps the failure of item `index` when no earlier item has failed.
    void record(std::size_t index, std::exception_ptr failure);
    // Whether an earlier item has failed, so that item `index` need not be done.
    bool stops(std::size_t index) const { return index > m_index.load(); }
    void rethrowIfAny() const;

private:
    std::atomic<std::size_t> m_index{SIZE_MAX};
    std::mutex m_mutex;
    std::exception_ptr m_failure;
};

// The threads for this machine: one per core, at most `most`.
unsigned workersForThisMachine(unsigned most);

// Items 0 … count - 1 shared out among workers that take runs of consecutive indices, so that
// each keeps what it allocates to itself and items that belong together stay together.
class ParallelRun {
public:
    // At least one worker, and no more than there are items.
    ParallelRun(std::size_t count, unsigned workers);
    ParallelRun(const ParallelRun&) = delete;
    ParallelRun& operator=(const ParallelRun&) = delete;

    std::size_t count() const { return m_finished.size(); }
    unsigned workers() const { return m_workers; }

    // For a worker: the next up to `n` indices [first, last) no one has taken; an empty run once
    // all are taken, the run is cancelled or an item has failed.
    std::pair<std::size_t, std::size_t> take(std::size_t n);
    // Items [first, last) are done, or told apart by the caller's own records.
    void finish(std::size_t first, std::size_t last);
    void finish(std::size_t index) { finish(index, index + 1); }
    // The earliest failure ends the run where taking the items in turn would have: items after
    // it are not taken, those before it still run.
    EarliestFailure& failure() { return m_failure; }
    bool cancelled() const { return m_cancelled; }

    // Runs body(worker) on each worker's thread and waits for them all; meanwhile the calling
    // thread calls progress(done) for done = 1, 2, … as the first `done` items have all
    // finished, whatever order the workers finish them in. progress returning false cancels the
    // run: no more items are taken, and progress is not told again. A worker whose thread could
    // not start is run on the calling thread.
    void run(const std::function<void(unsigned worker)>& body, const std::function<bool(std::size_t done)>& progress);
    // run() with every worker taking `batch` items at a time and calling work(index, worker) for
    // each. An item that throws is recorded in failure() and stops the items after it.
    void forEach(std::size_t batch, const std::function<void(std::size_t index, unsigned worker)>& work,
                 const std::function<bool(std::size_t done)>& progress);

private:
    std::vector<std::uint8_t> m_finished;
    unsigned m_workers;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_cancelled{false};
    EarliestFailure m_failure;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_inOrder = 0; // items 0 … m_inOrder - 1 have all finished
    unsigned m_running = 0;
};

} // namespace cw::core
