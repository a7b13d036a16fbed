#include "core/ParallelRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using cw::core::ParallelRun;

// Every item once, whatever the number of workers and the batch; progress is told on the calling
// thread, every step in order.
TEST(ParallelRun, RunsEveryItemOnceAndTellsProgressInOrder)
{
    for (std::size_t count : {0u, 1u, 7u, 1000u})
        for (unsigned workers : {1u, 2u, 5u})
            for (std::size_t batch : {1u, 8u}) {
                std::vector<std::atomic<int>> runs(count);
                std::vector<std::size_t> progress;
                ParallelRun run(count, workers);
                EXPECT_LE(run.workers(), std::max<std::size_t>(count, 1));
                run.forEach(
                    batch,
                    [&](std::size_t i, unsigned worker) {
                        ASSERT_LT(worker, run.workers());
                        ++runs[i];
                    },
                    [&](std::size_t done) {
                        // Every item before `done` has run when it is told.
                        for (std::size_t i = 0; i < done; ++i)
                            EXPECT_EQ(runs[i], 1) << i;
                        progress.push_back(done);
                        return true;
                    });
                run.failure().rethrowIfAny();
                for (std::size_t i = 0; i < count; ++i)
                    EXPECT_EQ(runs[i], 1) << i << " of " << count << " on " << workers;
                std::vector<std::size_t> everyStep(count);
                for (std::size_t i = 0; i < count; ++i)
                    everyStep[i] = i + 1;
                EXPECT_EQ(progress, everyStep);
            }
}

// The run ends as one taking the items in turn would: with the earliest failure, every item
// before it done.
TEST(ParallelRun, EndsWithTheEarliestFailure)
{
    for (unsigned workers : {1u, 2u, 4u}) {
        const std::set<std::size_t> failing{421, 37, 38, 900};
        std::vector<std::atomic<int>> runs(1000);
        ParallelRun run(runs.size(), workers);
        run.forEach(
            8,
            [&](std::size_t i, unsigned) {
                ++runs[i];
                if (failing.count(i))
                    throw std::runtime_error("item " + std::to_string(i));
            },
            nullptr);
        try {
            run.failure().rethrowIfAny();
            ADD_FAILURE() << "no failure reported";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "item 37") << workers << " workers";
        }
        for (std::size_t i = 0; i < 37; ++i)
            EXPECT_EQ(runs[i], 1) << i;
        EXPECT_EQ(run.take(1).first, run.take(1).second) << "nothing is left to take after a failure";
    }
}

// A progress that says stop cancels the run: what was taken finishes, nothing more is taken,
// and progress is not told again.
TEST(ParallelRun, ProgressThatSaysStopCancels)
{
    for (unsigned workers : {1u, 3u}) {
        std::atomic<std::size_t> ran{0};
        bool saidStop = false;
        int toldAfterStop = 0;
        ParallelRun run(10000, workers);
        run.forEach(
            4,
            [&](std::size_t i, unsigned) {
                // Items from 100 on wait for the answer, so that the run cannot outpace it.
                while (i >= 100 && !run.cancelled())
                    std::this_thread::yield();
                ++ran;
            },
            [&](std::size_t done) {
                toldAfterStop += saidStop;
                saidStop = done >= 10;
                return !saidStop;
            });
        EXPECT_TRUE(run.cancelled());
        EXPECT_EQ(toldAfterStop, 0);
        EXPECT_LE(ran.load(), 100u + 4 * workers) << workers;
        EXPECT_EQ(run.take(1).first, run.take(1).second);
    }
}
