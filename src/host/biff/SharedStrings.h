#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace cw::host::biff {

// The unique texts in order of first use; an open-addressing table keeps the lookup free of
// per-string allocations.
class StringTable {
public:
    StringTable() : m_slots(256, 0) {}

    std::uint32_t intern(std::string_view s)
    {
        if ((m_strings.size() + 1) * 2 > m_slots.size())
            grow();
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = std::hash<std::string_view>{}(s) & mask;; i = (i + 1) & mask) {
            const std::uint32_t slot = m_slots[i];
            if (slot == 0) {
                m_strings.push_back(s);
                m_slots[i] = static_cast<std::uint32_t>(m_strings.size());
                return slot_index(m_slots[i]);
            }
            if (m_strings[slot - 1] == s)
                return slot_index(slot);
        }
    }
    const std::vector<std::string_view>& strings() const { return m_strings; }

private:
    static std::uint32_t slot_index(std::uint32_t slot) { return slot - 1; }
    void grow()
    {
        std::vector<std::uint32_t> slots(m_slots.size() * 2, 0);
        const std::size_t mask = slots.size() - 1;
        for (std::uint32_t k = 0; k < m_strings.size(); ++k) {
            std::size_t i = std::hash<std::string_view>{}(m_strings[k]) & mask;
            while (slots[i] != 0)
                i = (i + 1) & mask;
            slots[i] = k + 1;
        }
        m_slots.swap(slots);
    }

    std::vector<std::uint32_t> m_slots; // string index + 1; 0 = free
    std::vector<std::string_view> m_strings;
};

} // namespace cw::host::biff
