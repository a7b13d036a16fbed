#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace cw::host::biff {

// The largest Workbook stream we read; anything bigger is refused before it is allocated.
constexpr std::size_t kMaxWorkbookStream = std::size_t(256) << 20;
// The largest file we load at all (the Workbook stream plus pictures, macros, summaries).
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t(512) << 20;

// Sets libgsf up, once for the process, quieting its log: the reader and the writer call it
// before they use it, from any thread.
void initGsf();

// Finds the BIFF8 Workbook stream of an .xls file and returns its bytes. The container is an
// OLE2 compound document (read with libgsf); the stream name is matched ignoring case as
// Excel does. A bare BIFF8 stream without a container is returned as it is.
// Throws Error: Io (cannot read the file), NotOle2 (not a compound document, e.g. an .xlsx),
// NoWorkbook, OldFormat (a "Book" stream or a raw Excel 2-4 file), Corrupt, Limit.
std::vector<std::uint8_t> workbookStreamFromFile(const std::filesystem::path& path, const std::string& nameForErrors);
std::vector<std::uint8_t> workbookStreamFromBytes(const std::uint8_t* data, std::size_t size,
                                                  const std::string& nameForErrors);

} // namespace cw::host::biff
