#include "certificates/ParallelRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using cw::certificates::EarliestFailure;
using cw::certificates::runInParallel;

// Every item once, whatever the number of workers; the progress the calling thread sees rises.
TEST(ParallelRun, RunsEveryItemOnce)
{
    for (std::size_t count : {0u, 1u, 7u, 1000u})
        for (unsigned workers : {1u, 2u, 5u}) {
            std::vector<std::atomic<int>> runs(count);
            std::vector<std::size_t> progress;
            EarliestFailure failure;
            runInParallel(
                count, workers, [&](std::size_t i, unsigned worker) {
                    ASSERT_LT(worker, workers);
                    ++runs[i];
                },
                [&](std::size_t done) { progress.push_back(done); }, failure);
            failure.rethrowIfAny();
            for (std::size_t i = 0; i < count; ++i)
                EXPECT_EQ(runs[i], 1) << i << " of " << count << " on " << workers;
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
            EXPECT_LE(progress.empty() ? 0 : progress.back(), count);
        }
}

// The run ends as one taking the items in turn would: with the earliest failure, every item
// before it done.
TEST(ParallelRun, EndsWithTheEarliestFailure)
{
    for (unsigned workers : {1u, 2u, 4u}) {
        const std::set<std::size_t> failing{421, 37, 38, 900};
        std::vector<std::atomic<int>> runs(1000);
        EarliestFailure failure;
        runInParallel(
            runs.size(), workers, [&](std::size_t i, unsigned) {
                ++runs[i];
                if (failing.count(i))
                    throw std::runtime_error("item " + std::to_string(i));
            },
            nullptr, failure);
        try {
            failure.rethrowIfAny();
            ADD_FAILURE() << "no failure reported";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "item 37") << workers << " workers";
        }
        for (std::size_t i = 0; i < 37; ++i)
            EXPECT_EQ(runs[i], 1) << i;
    }
}

// Files are created on a thread of their own; a failed save and a failed item both count, and
// the earliest ends the run.
TEST(ParallelRun, FileWriterFailuresCountWithTheItems)
{
    for (std::size_t writerFails : {300u, 700u}) {
        EarliestFailure failure;
        std::vector<int> saved(1000);
        {
            cw::certificates::FileWriter writer(
                [&](std::size_t i, const std::vector<std::uint8_t>& bytes) {
                    ASSERT_EQ(bytes.size(), i % 7);
                    if (i == writerFails)
                        throw std::runtime_error("save " + std::to_string(i));
                    ++saved[i];
                },
                failure);
            runInParallel(
                saved.size(), 2, [&](std::size_t i, unsigned) {
                    if (i == 500)
                        throw std::runtime_error("item 500");
                    writer.add(i, std::vector<std::uint8_t>(i % 7));
                },
                nullptr, failure);
            writer.finish();
        }
        try {
            failure.rethrowIfAny();
            ADD_FAILURE() << "no failure reported";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), writerFails < 500 ? "save 300" : "item 500");
        }
        const std::size_t earliest = std::min<std::size_t>(writerFails, 500);
        for (std::size_t i = 0; i < earliest; ++i)
            EXPECT_EQ(saved[i], 1) << i;
    }
}
