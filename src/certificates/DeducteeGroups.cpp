#include "certificates/DeducteeGroups.h"

#include "host/Ascii.h"
#include "host/General.h"
#include "import/WorkSheets.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <iterator>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cw::certificates {

using host::Cell;
using host::Sheet;
using host::Value;
using namespace import::deductee_columns;

namespace {

bool sameText(const Value& a, const Value& b)
{
    if (host::isText(a) && host::isText(b))
        return std::get<std::string>(a) == std::get<std::string>(b);
    if (host::isEmpty(a) && host::isEmpty(b))
        return true;
    return host::valueText(a) == host::valueText(b);
}

// Sort order of value kinds: numbers, text, booleans, errors; empty last.
int kindRank(const Value& v)
{
    switch (v.index()) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    case 4: return 3;
    default: return 4;
    }
}

int compareKeys(const Value& a, const Value& b)
{
    const int ra = kindRank(a), rb = kindRank(b);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    switch (ra) {
    case 0: {
        const double x = std::get<double>(a), y = std::get<double>(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case 1: return host::compareIgnoringAsciiCase(std::get<std::string>(a), std::get<std::string>(b));
    case 2: return static_cast<int>(std::get<bool>(a)) - static_cast<int>(std::get<bool>(b));
    default: return 0;
    }
}

// Sort keys in order: name, certificate date, section, PAN.
constexpr int kSortColumns[] = {kName, kCertificateDate, kSection, kPan};

// A text that is the same for two values exactly when compareKeys finds them equal.
void appendSortIdentity(std::string& key, const Value& v)
{
    key += static_cast<char>('0' + kindRank(v));
    switch (v.index()) {
    case 1: {
        const double d = std::get<double>(v);
        key += host::numberToText(d == 0 ? 0.0 : d);
        break;
    }
    case 2:
        for (char c : std::get<std::string>(v))
            key += host::asciiLower(c);
        break;
    case 3: key += std::get<bool>(v) ? '1' : '0'; break;
    default: break; // errors compare equal, as do empty cells
    }
}

// The rank of each row's value in column `col` among the column's distinct values, in sort order.
std::vector<int> sortRanks(const Sheet& s, int first, int n, int col)
{
    std::unordered_map<std::string, int> ids;
    std::vector<Value> distinct;
    std::vector<int> id(static_cast<std::size_t>(n));
    std::string key;
    for (int i = 0; i < n; ++i) {
        Value v = s.value(first + i, col);
        key.clear();
        appendSortIdentity(key, v);
        const auto [it, added] = ids.emplace(key, static_cast<int>(distinct.size()));
        if (added)
            distinct.push_back(std::move(v));
        id[static_cast<std::size_t>(i)] = it->second;
    }
    std::vector<int> order(distinct.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return compareKeys(distinct[static_cast<std::size_t>(a)], distinct[static_cast<std::size_t>(b)]) < 0;
    });
    std::vector<int> rank(distinct.size());
    for (std::size_t r = 0; r < order.size(); ++r)
        rank[static_cast<std::size_t>(order[r])] = static_cast<int>(r);
    for (int& x : id)
        x = rank[static_cast<std::size_t>(x)];
    return id;
}

bool isBlankRow(const Sheet& s, int row)
{
    for (int c = 0; c < kDeducteeColumns; ++c)
        if (!host::isEmpty(s.value(row, c)))
            return false;
    return true;
}

bool sameGroupKey(const Sheet& s, int a, int b)
{
    for (int c : {kName, kPan, kSection, kCertificateDate}) {
        // Texts, as most of these are, are compared by the sheet without reading them.
        const std::optional<bool> same = s.sameText(a, c, b, c);
        if (same ? !*same : !sameText(s.value(a, c), s.value(b, c)))
            return false;
    }
    return true;
}

std::optional<double> dateValue(const Value& v, char sep)
{
    if (host::isNumber(v)) {
        const double serial = std::floor(std::get<double>(v));
        return host::serialToDate(serial) ? std::optional<double>(serial) : std::nullopt;
    }
    if (host::isText(v))
        return host::parseDayMonthYear(std::get<std::string>(v), sep);
    return std::nullopt;
}

} // namespace

bool quarterAcknApplies(const Value& certificateDate, const Value& dateOfFiling)
{
    if (host::isEmpty(certificateDate) || (host::isText(certificateDate) && std::get<std::string>(certificateDate).empty()))
        return false;
    if (host::isEmpty(dateOfFiling) || (host::isText(dateOfFiling) && std::get<std::string>(dateOfFiling).empty()))
        return true;
    const auto certified = dateValue(certificateDate, '.');
    const auto filed = dateValue(dateOfFiling, '/');
    return certified && filed && *certified > *filed;
}

int lastDeducteeRow(const Sheet& deductees)
{
    int last = -1;
    for (int c = 0; c < kDeducteeColumns; ++c)
        last = std::max(last, deductees.lastNonEmptyUp(c, host::kMaxRows - 1));
    return last >= 1 ? last : -1;
}

int sortDeducteeRows(Sheet& deductees, int lastRow)
{
    const int first = 1;
    if (lastRow < first)
        return lastRow;
    const int n = lastRow - first + 1;

    // Each sort column as ranks: the rows' values compared once per distinct value instead of
    // once per comparison, which for 100,000 rows means millions of string comparisons. They
    // are counted on a second thread while this one numbers the exact keys: no one changes the
    // sheet meanwhile.
    constexpr std::size_t kKeys = std::size(kSortColumns);
    std::vector<int> ranks(static_cast<std::size_t>(n) * kKeys);
    auto rankColumns = [&] {
        for (std::size_t k = 0; k < kKeys; ++k) {
            const std::vector<int> column = sortRanks(deductees, first, n, kSortColumns[k]);
            for (std::size_t i = 0; i < column.size(); ++i)
                ranks[i * kKeys + k] = column[i];
        }
    };
    // Where no thread can be started, the ranking waits for get() on this one.
    std::future<void> ranking = std::async(std::launch::async | std::launch::deferred, rankColumns);

    // Each distinct exact key, numbered by its first appearance in the statement.
    std::vector<int> exactKey(static_cast<std::size_t>(n));
    std::vector<char> blank(static_cast<std::size_t>(n));
    {
        std::unordered_map<std::string, int> seen;
        seen.reserve(static_cast<std::size_t>(n));
        std::string key;
        for (int i = 0; i < n; ++i) {
            key.clear();
            for (int c : kSortColumns) {
                const Value& v = deductees.value(first + i, c);
                const std::string t = host::valueText(v);
                key += static_cast<char>('0' + v.index());
                key += std::to_string(t.size());
                key += ':';
                key += t;
            }
            exactKey[static_cast<std::size_t>(i)] = seen.emplace(key, i).first->second;
            blank[static_cast<std::size_t>(i)] = isBlankRow(deductees, first + i);
        }
    }
    ranking.get();

    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const auto ia = static_cast<std::size_t>(a), ib = static_cast<std::size_t>(b);
        if (blank[ia] != blank[ib])
            return blank[ib] != 0;
        for (std::size_t k = 0; k < kKeys; ++k) {
            const int ra = ranks[ia * kKeys + k], rb = ranks[ib * kKeys + k];
            if (ra != rb)
                return ra < rb;
        }
        return exactKey[ia] < exactKey[ib];
    });

    // The rows' cells (values and formats) move to their new places; row heights stay.
    deductees.reorderRows(first, order);

    int records = n;
    while (records > 0 && blank[static_cast<std::size_t>(order[static_cast<std::size_t>(records - 1)])])
        --records;
    return first + records - 1;
}

std::vector<CertificateGroup> certificateGroups(const Sheet& deductees, int lastRow)
{
    std::vector<CertificateGroup> groups;
    for (int row = 1; row <= lastRow;) {
        int end = row;
        while (end < lastRow && sameGroupKey(deductees, row, end + 1))
            ++end;
        groups.push_back({row, end});
        row = end + 1;
    }
    return groups;
}

} // namespace cw::certificates
