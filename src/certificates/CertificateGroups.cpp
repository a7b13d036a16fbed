#include "certificates/CertificateGroups.h"

#include "host/Ascii.h"
#include "host/General.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <unordered_map>

namespace cw::certificates {

using import::Payment;
using import::Statement;
using import::TextId;

namespace {

// The sort keys of a payment, in the order they count.
constexpr std::size_t kKeys = 4;
using Key = std::array<TextId, kKeys>;

// Ranks the texts `ids` take among themselves: ascending ignoring letter case, empty last.
// Equal ranks for texts that differ only in case. Each distinct text is compared once rather
// than once per comparison of the sort.
std::unordered_map<TextId, std::uint32_t> textRanks(const host::TextPool& pool, std::vector<TextId> ids)
{
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::sort(ids.begin(), ids.end(), [&](TextId a, TextId b) {
        const std::string_view x = pool.text(a), y = pool.text(b);
        if (x.empty() != y.empty())
            return y.empty();
        return host::compareIgnoringAsciiCase(x, y) < 0;
    });
    std::unordered_map<TextId, std::uint32_t> rank;
    rank.reserve(ids.size());
    std::uint32_t r = 0;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (i > 0 && host::compareIgnoringAsciiCase(pool.text(ids[i - 1]), pool.text(ids[i])) != 0)
            ++r;
        rank.emplace(ids[i], r);
    }
    return rank;
}

struct KeyHash {
    std::size_t operator()(const Key& k) const
    {
        std::size_t h = 0;
        for (TextId id : k)
            h = h * 0x9E3779B97F4A7C15ull + id;
        return h;
    }
};

} // namespace

CertificatePlan planCertificates(const Statement& s)
{
    const std::size_t n = s.payments.size();
    // A certificate's date is its challan's date of deposit: one text per challan.
    host::TextPool dates;
    std::vector<TextId> challanDate(s.challans.size());
    for (std::size_t c = 0; c < s.challans.size(); ++c)
        challanDate[c] = dates.intern(s.challans[c].depositedOn);

    std::vector<Key> keys(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Payment& p = s.payments[i];
        keys[i] = {p.name, challanDate[p.challan], p.section, p.pan};
    }
    std::array<std::vector<std::uint32_t>, kKeys> ranks;
    for (std::size_t k = 0; k < kKeys; ++k) {
        std::vector<TextId> ids(n);
        for (std::size_t i = 0; i < n; ++i)
            ids[i] = keys[i][k];
        const auto rank = textRanks(k == 1 ? dates : s.texts, std::move(ids));
        ranks[k].resize(n);
        for (std::size_t i = 0; i < n; ++i)
            ranks[k][i] = rank.at(keys[i][k]);
    }
    // Each distinct exact key, numbered by its first appearance in the statement.
    std::vector<std::uint32_t> firstSeen(n);
    {
        std::unordered_map<Key, std::uint32_t, KeyHash> seen;
        seen.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            firstSeen[i] = seen.emplace(keys[i], static_cast<std::uint32_t>(i)).first->second;
    }

    CertificatePlan plan;
    plan.order.resize(n);
    std::iota(plan.order.begin(), plan.order.end(), 0u);
    std::stable_sort(plan.order.begin(), plan.order.end(), [&](std::uint32_t a, std::uint32_t b) {
        for (std::size_t k = 0; k < kKeys; ++k)
            if (ranks[k][a] != ranks[k][b])
                return ranks[k][a] < ranks[k][b];
        return firstSeen[a] < firstSeen[b];
    });

    for (std::uint32_t at = 0; at < n;) {
        std::uint32_t end = at + 1;
        while (end < n && keys[plan.order[end]] == keys[plan.order[at]])
            ++end;
        plan.groups.push_back({at, end - at});
        at = end;
    }
    return plan;
}

bool quarterAcknApplies(std::string_view certificateDate, std::string_view dateOfFiling)
{
    if (certificateDate.empty())
        return false;
    if (dateOfFiling.empty())
        return true;
    const auto certified = host::parseDayMonthYear(certificateDate, '.');
    const auto filed = host::parseDayMonthYear(dateOfFiling, '/');
    return certified && filed && *certified > *filed;
}

} // namespace cw::certificates
