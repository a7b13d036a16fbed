#include "host/TextPool.h"
#include "host/Error.h"

#include <algorithm>
#include <functional>

namespace cw::host {

namespace {
constexpr unsigned kOffsetBits = 20;                    // blocks of up to 1 MiB are addressed inside
constexpr std::size_t kBlockBytes = std::size_t{1} << kOffsetBits;
constexpr std::size_t kMaxBlocks = std::size_t{1} << (32 - kOffsetBits);
constexpr std::size_t kFirstBlockBytes = 256;

std::size_t hashOf(std::string_view s) { return std::hash<std::string_view>{}(s); }

// Length prefix: 7 bits a byte, low bits first.
void appendLength(std::string& out, std::size_t n)
{
    while (n >= 0x80) {
        out.push_back(static_cast<char>(0x80 | (n & 0x7F)));
        n >>= 7;
    }
    out.push_back(static_cast<char>(n));
}
} // namespace

std::string_view TextPool::text(Id id) const
{
    const std::string& block = m_blocks[id >> kOffsetBits];
    std::size_t at = id & (kBlockBytes - 1);
    std::size_t n = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto b = static_cast<unsigned char>(block[at++]);
        n |= static_cast<std::size_t>(b & 0x7F) << shift;
        if (b < 0x80)
            break;
    }
    return std::string_view(block).substr(at, n);
}

std::size_t TextPool::find(std::string_view text, std::size_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Id slot = m_slots[i];
        if (slot == 0 || this->text(slot - 1) == text)
            return i;
    }
}

void TextPool::grow()
{
    std::vector<Id> old = std::move(m_slots);
    m_slots.assign(old.empty() ? 64 : old.size() * 2, 0);
    for (Id slot : old)
        if (slot != 0)
            m_slots[find(text(slot - 1), hashOf(text(slot - 1)))] = slot;
}

std::string& TextPool::blockFor(std::size_t need)
{
    if (!m_blocks.empty()) {
        std::string& last = m_blocks.back();
        // Ids address a block's first 1 MiB; a text longer than that has a block of its own.
        if (last.size() + need <= last.capacity() && last.size() < kBlockBytes)
            return last;
    }
    if (m_blocks.size() == kMaxBlocks)
        throw Error(Error::Code::Limit, "a sheet holds more text than the program can keep");
    // Blocks grow with the pool, so a small sheet stays small and a large one has few blocks.
    std::string block;
    block.reserve(std::max(need, std::min(kBlockBytes, std::max(kFirstBlockBytes, m_bytes))));
    m_blocks.push_back(std::move(block));
    return m_blocks.back();
}

TextPool::Id TextPool::intern(std::string_view text)
{
    if ((m_count + 1) * 2 > m_slots.size())
        grow();
    const std::size_t at = find(text, hashOf(text));
    if (m_slots[at] != 0)
        return m_slots[at] - 1;
    std::string& block = blockFor(text.size() + 5);
    const Id id = static_cast<Id>(((m_blocks.size() - 1) << kOffsetBits) | block.size());
    const std::size_t before = block.size();
    appendLength(block, text.size());
    block.append(text);
    m_bytes += block.size() - before;
    m_slots[at] = id + 1;
    ++m_count;
    return id;
}

void TextPool::clear()
{
    m_blocks.clear();
    m_slots.clear();
    m_count = 0;
    m_bytes = 0;
}

} // namespace cw::host
