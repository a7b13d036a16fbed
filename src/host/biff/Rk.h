#pragma once

#include <cstdint>

namespace cw::host::biff {

// RK numbers ([MS-XLS] 2.5.217): a double's top 30 bits or a 30-bit integer, optionally / 100.
double decodeRk(std::uint32_t rk);
// The RK value that reads back as exactly v, bit for bit; false when there is none.
bool encodeRk(double v, std::uint32_t& rk);

} // namespace cw::host::biff
