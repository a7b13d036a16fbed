#include "certificates/ParallelRun.h"

#include <algorithm>

namespace cw::certificates {

namespace {

// Indices a worker takes at a time: enough to make taking them cheap, few enough to share the
// last ones out.
constexpr std::size_t kRun = 8;
// Items the writer is woken for, and the most that wait for it.
constexpr std::size_t kBatch = 16;
constexpr std::size_t kQueueLimit = 256;

} // namespace

void EarliestFailure::record(std::size_t index, std::exception_ptr failure)
{
    std::lock_guard lock(m_mutex);
    if (index < m_index.load()) {
        m_failure = std::move(failure);
        m_index = index;
    }
}

void EarliestFailure::rethrowIfAny() const
{
    if (m_failure)
        std::rethrow_exception(m_failure);
}

unsigned workersForThisMachine()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

void runInParallel(std::size_t count, unsigned workers, const std::function<void(std::size_t, unsigned)>& work,
                   const std::function<void(std::size_t)>& progress, EarliestFailure& failure)
{
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    auto worker = [&](unsigned id) {
        for (;;) {
            const std::size_t first = next.fetch_add(kRun);
            for (std::size_t i = first; i < std::min(first + kRun, count); ++i) {
                if (failure.stops(i))
                    return;
                try {
                    work(i, id);
                } catch (...) {
                    failure.record(i, std::current_exception());
                    return;
                }
                const std::size_t finished = ++done;
                if (id == 0 && progress)
                    progress(finished);
            }
            if (first + kRun >= count)
                return;
        }
    };
    std::vector<std::thread> threads;
    try {
        for (unsigned t = 1; t < std::max(1u, workers); ++t)
            threads.emplace_back(worker, t);
    } catch (...) {
        // No more threads to be had: those started do the run.
    }
    worker(0);
    for (std::thread& t : threads)
        t.join();
}

FileWriter::FileWriter(std::function<void(std::size_t, const std::vector<std::uint8_t>&)> save, EarliestFailure& failure)
    : m_save(std::move(save)), m_failure(failure), m_thread([this] { write(); })
{
}

FileWriter::~FileWriter()
{
    finish();
}

void FileWriter::add(std::size_t index, std::vector<std::uint8_t> bytes)
{
    std::unique_lock lock(m_mutex);
    if (m_queue.size() >= kQueueLimit) {
        ++m_addersWaiting;
        m_roomMade.wait(lock, [&] { return m_queue.size() < kQueueLimit; });
        --m_addersWaiting;
    }
    m_queue.push_back({index, std::move(bytes)});
    const bool wake = m_writerWaiting && m_queue.size() >= kBatch;
    lock.unlock();
    if (wake)
        m_itemsQueued.notify_one();
}

void FileWriter::finish()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_itemsQueued.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void FileWriter::write()
{
    std::vector<Item> batch;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_writerWaiting = true;
        m_itemsQueued.wait(lock, [&] { return m_queue.size() >= kBatch || m_closed; });
        m_writerWaiting = false;
        if (m_queue.empty() && m_closed)
            return;
        batch.swap(m_queue);
        const bool addersWaiting = m_addersWaiting > 0;
        lock.unlock();
        if (addersWaiting)
            m_roomMade.notify_all();
        for (const Item& item : batch) {
            if (m_failure.stops(item.index))
                continue;
            try {
                m_save(item.index, item.bytes);
            } catch (...) {
                m_failure.record(item.index, std::current_exception());
            }
        }
        batch.clear();
        lock.lock();
    }
}

} // namespace cw::certificates
