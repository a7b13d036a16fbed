#pragma once

#include <atomic>
#include <cstdint>

// Internal to the engine and its tests: not part of the model's interface.
namespace cw::host::detail {

// Test seam for Workbook::save. When zero or more, a save writes that many bytes of its
// temporary file and then fails as a full disk does ("No space left on device"), so a test
// can show that a failed save leaves the old file as it was. -1 (the default): saves run
// normally.
extern std::atomic<std::int64_t> failSaveAfterBytes;

} // namespace cw::host::detail
