#pragma once

#include "core/ParallelRun.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace cw::certificates {

using core::EarliestFailure;

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
