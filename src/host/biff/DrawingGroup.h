#pragma once

#include "host/Drawing.h"
#include "host/Format.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace cw::host::biff {

// The workbook's drawing group ([MS-XLS] 2.4.133 MsoDrawingGroup): the picture store that every
// sheet's pictures refer to by a 1-based index, the identifier clusters of the drawings, and
// settings the drawings share.
class DrawingGroup {
public:
    // From the raw globals (MSODRAWINGGROUP and its CONTINUEs); nothing when there is none or
    // its records can't be followed.
    static std::optional<DrawingGroup> read(const std::vector<RawRecord>& globals);

    std::size_t storeSize() const { return m_entries.size(); }
    // The picture of store entry `index` (1-based): how it is encoded and its bytes.
    PictureFormat format(std::uint32_t index) const;
    std::vector<std::uint8_t> image(std::uint32_t index) const;

    // One drawing as the group lists it: its id, and how many shape ids it uses.
    struct Drawing {
        std::uint32_t dgid = 0;
        std::uint32_t shapes = 0;
    };
    // The MSODRAWINGGROUP body for these drawings (their ids from cluster 1 on, in order) with
    // the store entries `keep` (old indices, in their new order) and each one's references.
    std::vector<std::uint8_t> build(const std::vector<Drawing>& drawings,
                                    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& keep) const;

private:
    std::vector<std::vector<std::uint8_t>> m_entries; // FBSE records, header included
    std::vector<std::vector<std::uint8_t>> m_others;  // the group's other records, as read
};

// The clusters of shape ids a drawing of `shapes` shapes takes (at least one).
std::uint32_t clustersFor(std::uint32_t shapes);

} // namespace cw::host::biff
