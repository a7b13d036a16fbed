#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace cw::certificates {

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

// Runs work(index, worker) for every index from 0 to count - 1 on `workers` threads, the calling
// thread being worker 0, which also calls progress(done) after each of its items with the
// number finished so far (rising). Workers take runs of consecutive indices, so that each
// keeps what it allocates to itself. A failed item (work throws) is recorded in `failure` and
// stops the items after it; those before it still run.
void runInParallel(std::size_t count, unsigned workers, const std::function<void(std::size_t index, unsigned worker)>& work,
                   const std::function<void(std::size_t done)>& progress, EarliestFailure& failure);

// The workers for this machine: one per core, at most four.
unsigned workersForThisMachine();

// Creates the files the workers make, one at a time on a thread of its own: files created in
// one folder wait for each other anyway, and a worker that waited for its turn would leave its
// core idle. Items are handed over in batches, so that the threads seldom wake each other.
class FileWriter {
public:
    // save(index, bytes) creates item `index`'s file; it throws to report a failure, which is
    // recorded in `failure`. Items stopped by an earlier failure are not saved.
    FileWriter(std::function<void(std::size_t index, const std::vector<std::uint8_t>& bytes)> save,
               EarliestFailure& failure);
    // Saves what is queued and stops the thread.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Queues an item; waits while the writer is far behind.
    void add(std::size_t index, std::vector<std::uint8_t> bytes);
    // Saves what is queued and waits for the thread.
    void finish();

private:
    struct Item {
        std::size_t index;
        std::vector<std::uint8_t> bytes;
    };
    void write();

    std::function<void(std::size_t, const std::vector<std::uint8_t>&)> m_save;
    EarliestFailure& m_failure;
    std::mutex m_mutex;
    std::condition_variable m_itemsQueued;
    std::condition_variable m_roomMade;
    std::vector<Item> m_queue;
    bool m_writerWaiting = false;
    int m_addersWaiting = 0;
    bool m_closed = false;
    std::thread m_thread;
};

} // namespace cw::certificates
