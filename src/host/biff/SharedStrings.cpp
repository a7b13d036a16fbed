// The shared string table as written: SST with its CONTINUE records, then EXTSST.

#include "host/biff/RecordWriter.h"
#include "host/biff/Records.h"
#include "host/biff/SharedStrings.h"

#include <algorithm>

namespace cw::host::biff {

void RecordWriter::sharedStrings(std::span<const std::string_view> strings, std::uint32_t totalRefs)
{
    const std::size_t n = strings.size();
    // EXTSST keeps at most 128 buckets of at least 8 strings each.
    const std::size_t dsst = std::max<std::size_t>(8, (n + 127) / 128);
    struct Bucket {
        std::uint32_t streamPos;
        std::uint16_t recordOffset;
    };
    std::vector<Bucket> buckets;
    buckets.reserve((n + dsst - 1) / dsst);

    begin(rt::SST);
    u32(totalRefs);
    u32(static_cast<std::uint32_t>(n));
    auto room = [&] { return kMaxRecordData - recordSize(); };
    auto nextRecord = [&] {
        end();
        begin(rt::Continue);
    };
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view s = strings[i];
        const bool ascii = isAscii(s);
        bool compressed = true;
        std::size_t count = s.size();
        if (!ascii) {
            compressed = toUnits(s, 0xFFFF);
            count = m_units.size();
        }
        const std::size_t charSize = compressed ? 1 : 2;
        // The count, the flags and the first character stay together.
        if (room() < 3 + (count ? charSize : 0))
            nextRecord();
        if (i % dsst == 0)
            buckets.push_back({static_cast<std::uint32_t>(position()),
                               static_cast<std::uint16_t>(position() - m_start)});
        u16(static_cast<std::uint16_t>(count));
        u8(compressed ? 0 : 1);
        std::size_t done = 0;
        while (done < count) {
            std::size_t take = std::min(room() / charSize, count - done);
            // A surrogate pair stays in one record.
            if (!compressed && take > 0 && done + take < count && isHighSurrogate(m_units[done + take - 1]))
                --take;
            if (take == 0) {
                // Continuing a string: the new record starts with its flags byte again.
                nextRecord();
                u8(compressed ? 0 : 1);
                continue;
            }
            if (ascii) {
                bytes(std::span(reinterpret_cast<const std::uint8_t*>(s.data()) + done, take));
            } else if (compressed) {
                for (std::size_t k = done; k < done + take; ++k)
                    m_out.push_back(static_cast<std::uint8_t>(m_units[k]));
            } else {
                for (std::size_t k = done; k < done + take; ++k)
                    u16(m_units[k]);
            }
            done += take;
        }
    }
    end();

    begin(rt::ExtSST);
    u16(static_cast<std::uint16_t>(dsst));
    for (const Bucket& b : buckets) {
        u32(b.streamPos);
        u16(b.recordOffset);
        u16(0);
    }
    end();
}

} // namespace cw::host::biff
