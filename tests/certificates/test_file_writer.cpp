#include "certificates/FileWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

// Files are created on a thread of their own; a failed save and a failed item both count, and
// the earliest ends the run.
TEST(FileWriter, FailuresCountWithTheItems)
{
    for (std::size_t writerFails : {300u, 700u}) {
        cw::core::ParallelRun run(1000, 2);
        std::vector<int> saved(1000);
        {
            cw::certificates::FileWriter writer(
                [&](std::size_t i, const std::vector<std::uint8_t>& bytes) {
                    ASSERT_EQ(bytes.size(), i % 7);
                    if (i == writerFails)
                        throw std::runtime_error("save " + std::to_string(i));
                    ++saved[i];
                },
                run.failure());
            run.forEach(
                8,
                [&](std::size_t i, unsigned) {
                    if (i == 500)
                        throw std::runtime_error("item 500");
                    writer.add(i, std::vector<std::uint8_t>(i % 7));
                },
                nullptr);
            writer.finish();
        }
        try {
            run.failure().rethrowIfAny();
            ADD_FAILURE() << "no failure reported";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), writerFails < 500 ? "save 300" : "item 500");
        }
        const std::size_t earliest = std::min<std::size_t>(writerFails, 500);
        for (std::size_t i = 0; i < earliest; ++i)
            EXPECT_EQ(saved[i], 1) << i;
    }
}
