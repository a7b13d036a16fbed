#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cw::host {

// The texts of one sheet, each stored once. A cell holds a 32-bit id instead of a string of its
// own: a statement repeats PANs, sections, BSR codes and names on thousands of rows. Entries are
// never changed in place, so two cells with the same text share an id and setting one of them
// gives that cell another id. Texts lie in blocks that never move once written, so a growing
// pool copies nothing, and a copied pool holds only the bytes in use.
class TextPool {
public:
    using Id = std::uint32_t;

    Id intern(std::string_view text);
    std::string_view text(Id id) const;
    // Bytes held by the texts (their length prefixes included).
    std::size_t bytes() const { return m_bytes; }
    std::size_t size() const { return m_count; }
    void clear();

private:
    void grow();
    std::size_t find(std::string_view text, std::size_t hash) const; // the slot that has it or is free
    std::string& blockFor(std::size_t need);

    std::vector<std::string> m_blocks; // an id is block index << kOffsetBits | offset
    std::vector<Id> m_slots;           // open addressing: id + 1, 0 for a free slot
    std::size_t m_count = 0;
    std::size_t m_bytes = 0;
};

} // namespace cw::host
