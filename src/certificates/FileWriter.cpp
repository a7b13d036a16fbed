#include "certificates/FileWriter.h"

namespace cw::certificates {

namespace {

// Items the writer is woken for, and the most that wait for it.
constexpr std::size_t kBatch = 16;
constexpr std::size_t kQueueLimit = 256;

} // namespace

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
