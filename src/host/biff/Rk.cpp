#include "host/biff/Rk.h"

#include <cmath>
#include <cstring>

namespace cw::host::biff {

double decodeRk(std::uint32_t rk)
{
    double d;
    if (rk & 0x02) {
        d = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, sizeof d);
    }
    return (rk & 0x01) ? d / 100 : d;
}

bool encodeRk(double v, std::uint32_t& rk)
{
    auto exact = [&](std::uint32_t candidate) {
        const double back = decodeRk(candidate);
        return std::memcmp(&back, &v, sizeof v) == 0;
    };
    auto tryValue = [&](double x, std::uint32_t flag) {
        if (x >= -536870912.0 && x <= 536870911.0 && x == std::floor(x)) {
            const auto i = static_cast<std::int32_t>(x);
            const std::uint32_t candidate = (static_cast<std::uint32_t>(i) << 2) | 2u | flag;
            if (exact(candidate)) {
                rk = candidate;
                return true;
            }
        }
        std::uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        if ((bits & 0x3FFFFFFFFull) == 0 && exact(static_cast<std::uint32_t>(bits >> 32) | flag)) {
            rk = static_cast<std::uint32_t>(bits >> 32) | flag;
            return true;
        }
        return false;
    };
    if (!std::isfinite(v))
        return false;
    return tryValue(v, 0) || tryValue(v * 100, 1);
}

} // namespace cw::host::biff
