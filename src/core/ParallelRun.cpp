#include "core/ParallelRun.h"

#include <algorithm>
#include <thread>
#include <tuple>

namespace cw::core {

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

unsigned workersForThisMachine(unsigned most)
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, std::max(1u, most));
}

ParallelRun::ParallelRun(std::size_t count, unsigned workers)
    : m_finished(count), m_workers(static_cast<unsigned>(std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(count, 1))))
{
}

std::pair<std::size_t, std::size_t> ParallelRun::take(std::size_t n)
{
    if (m_cancelled)
        return {count(), count()};
    const std::size_t first = std::min(m_next.fetch_add(std::max<std::size_t>(n, 1)), count());
    if (m_failure.stops(first))
        return {count(), count()};
    return {first, std::min(first + std::max<std::size_t>(n, 1), count())};
}

void ParallelRun::finish(std::size_t first, std::size_t last)
{
    bool advanced = false;
    {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = first; i < std::min(last, count()); ++i)
            m_finished[i] = 1;
        while (m_inOrder < count() && m_finished[m_inOrder]) {
            ++m_inOrder;
            advanced = true;
        }
    }
    if (advanced)
        m_changed.notify_one();
}

void ParallelRun::run(const std::function<void(unsigned)>& body, const std::function<bool(std::size_t)>& progress)
{
    std::vector<std::thread> threads;
    const auto worker = [&](unsigned id) {
        body(id);
        {
            std::lock_guard lock(m_mutex);
            --m_running;
        }
        m_changed.notify_one();
    };
    // Counted before each thread starts, so that none can finish before it is counted.
    for (unsigned t = 0; t < m_workers; ++t) {
        {
            std::lock_guard lock(m_mutex);
            ++m_running;
        }
        try {
            threads.emplace_back(worker, t);
        } catch (...) {
            // No more threads to be had: those started do the run.
            std::lock_guard lock(m_mutex);
            --m_running;
            break;
        }
    }
    // Workers whose thread could not start are done here, for a body may own a share of the
    // items (a run of its own) that no other worker takes.
    for (auto id = static_cast<unsigned>(threads.size()); id < m_workers; ++id) {
        {
            std::lock_guard lock(m_mutex);
            ++m_running;
        }
        worker(id);
    }
    std::size_t told = 0;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_running == 0 || m_inOrder > told; });
        const std::size_t inOrder = m_inOrder;
        lock.unlock();
        for (; told < inOrder; ++told)
            if (progress && !m_cancelled && !progress(told + 1))
                m_cancelled = true;
        lock.lock();
        if (m_running == 0 && m_inOrder == told)
            break;
    }
    lock.unlock();
    for (std::thread& t : threads)
        t.join();
}

void ParallelRun::forEach(std::size_t batch, const std::function<void(std::size_t, unsigned)>& work,
                          const std::function<bool(std::size_t)>& progress)
{
    run(
        [&](unsigned worker) {
            for (auto [first, last] = take(batch); first < last; std::tie(first, last) = take(batch)) {
                for (std::size_t i = first; i < last && !m_failure.stops(i); ++i) {
                    try {
                        work(i, worker);
                    } catch (...) {
                        m_failure.record(i, std::current_exception());
                    }
                }
                finish(first, last);
            }
        },
        progress);
}

} // namespace cw::core
