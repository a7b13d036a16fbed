#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace cw::host::biff {

// Wraps a BIFF8 Workbook stream in an OLE2 compound file (the .xls container) and returns the
// file's bytes. The stream is padded with zeros to 4,096 bytes when shorter, so that it lives
// in regular sectors rather than the mini stream: Excel expects the Workbook stream there.
// Throws Error(Io) when the container cannot be built.
std::vector<std::uint8_t> wrapInCompoundFile(std::span<const std::uint8_t> workbookStream);

} // namespace cw::host::biff
