#pragma once

// Reading back what the writer produced, independently of the writer's own code: a record
// walker over a Workbook stream, the stream out of an OLE2 file (through libgsf's reader),
// and a shared-string-table decoder that also checks the continuation rules.

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace xlstest {

struct Rec {
    std::size_t pos = 0; // stream offset of the record header
    std::uint16_t type = 0;
    std::vector<std::uint8_t> data;
};

inline std::uint16_t u16(const std::vector<std::uint8_t>& d, std::size_t at)
{
    return static_cast<std::uint16_t>(d.at(at) | (d.at(at + 1) << 8));
}
inline std::uint32_t u32(const std::vector<std::uint8_t>& d, std::size_t at)
{
    return u16(d, at) | (static_cast<std::uint32_t>(u16(d, at + 2)) << 16);
}
inline double f64(const std::vector<std::uint8_t>& d, std::size_t at)
{
    std::uint64_t bits = u32(d, at) | (static_cast<std::uint64_t>(u32(d, at + 4)) << 32);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Every record of the stream, stopping at trailing zero padding.
inline std::vector<Rec> records(const std::vector<std::uint8_t>& s)
{
    std::vector<Rec> out;
    std::size_t pos = 0;
    while (pos + 4 <= s.size()) {
        const std::uint16_t type = u16(s, pos), len = u16(s, pos + 2);
        if (type == 0 && len == 0)
            break;
        if (pos + 4 + len > s.size())
            break;
        out.push_back({pos, type, std::vector<std::uint8_t>(s.begin() + pos + 4, s.begin() + pos + 4 + len)});
        pos += 4 + len;
    }
    return out;
}

// The records of the substream whose BOF is at stream offset `bofPos`, BOF to EOF inclusive.
inline std::vector<Rec> substream(const std::vector<Rec>& all, std::size_t bofPos)
{
    std::vector<Rec> out;
    int depth = 0;
    bool in = false;
    for (const Rec& r : all) {
        if (!in && r.pos == bofPos)
            in = true;
        if (!in)
            continue;
        out.push_back(r);
        if (r.type == 0x0809)
            ++depth;
        else if (r.type == 0x000A && --depth == 0)
            break;
    }
    return out;
}

inline std::vector<const Rec*> ofType(const std::vector<Rec>& recs, std::uint16_t type)
{
    std::vector<const Rec*> out;
    for (const Rec& r : recs)
        if (r.type == type)
            out.push_back(&r);
    return out;
}

// The "Workbook" stream of an OLE2 file; empty when there is none.
inline std::vector<std::uint8_t> workbookStreamOf(const std::vector<std::uint8_t>& file)
{
    std::vector<std::uint8_t> out;
    GsfInput* mem = gsf_input_memory_new(file.data(), static_cast<gsf_off_t>(file.size()), FALSE);
    GsfInfile* ole = gsf_infile_msole_new(mem, nullptr);
    if (ole) {
        if (GsfInput* s = gsf_infile_child_by_name(ole, "Workbook")) {
            out.resize(static_cast<std::size_t>(gsf_input_size(s)));
            if (!out.empty())
                gsf_input_read(s, out.size(), out.data());
            g_object_unref(s);
        }
        g_object_unref(ole);
    }
    g_object_unref(mem);
    return out;
}

// The shared string table read back record by record.
struct Sst {
    std::uint32_t total = 0;
    std::uint32_t unique = 0;
    std::vector<std::u16string> strings;
    std::vector<std::size_t> starts;      // stream offset of each string's character count
    std::vector<std::size_t> recordStart; // stream offset of the record holding that count
    std::vector<std::size_t> sizes;       // body size of the SST and each of its CONTINUE records
    bool headerSplit = false;             // a count/flags split from the first character
    bool pairSplit = false;               // a surrogate pair split over two records
    bool ok = false;
};

inline Sst readSst(const std::vector<Rec>& globals)
{
    Sst out;
    std::vector<const Rec*> segs;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        if (globals[i].type != 0x00FC)
            continue;
        segs.push_back(&globals[i]);
        for (std::size_t j = i + 1; j < globals.size() && globals[j].type == 0x003C; ++j)
            segs.push_back(&globals[j]);
        break;
    }
    if (segs.empty())
        return out;
    for (const Rec* r : segs)
        out.sizes.push_back(r->data.size());
    std::size_t seg = 0, off = 8;
    out.total = u32(segs[0]->data, 0);
    out.unique = u32(segs[0]->data, 4);
    for (std::uint32_t k = 0; k < out.unique; ++k) {
        if (off == segs[seg]->data.size()) {
            if (++seg == segs.size())
                return out;
            off = 0;
        }
        const auto& d = segs[seg]->data;
        if (off + 3 > d.size()) {
            out.headerSplit = true;
            return out;
        }
        out.starts.push_back(segs[seg]->pos + 4 + off);
        out.recordStart.push_back(segs[seg]->pos);
        std::size_t remaining = u16(d, off);
        std::uint8_t flags = d[off + 2];
        off += 3;
        std::size_t runs = 0, ext = 0;
        if (flags & 0x08) {
            runs = u16(d, off);
            off += 2;
        }
        if (flags & 0x04) {
            ext = u32(d, off);
            off += 4;
        }
        if (remaining > 0 && off + ((flags & 1) ? 2 : 1) > d.size())
            out.headerSplit = true;
        std::u16string s;
        while (remaining > 0) {
            const auto& cur = segs[seg]->data;
            const std::size_t cs = (flags & 1) ? 2 : 1;
            std::size_t take = std::min(remaining, (cur.size() - off) / cs);
            for (std::size_t i = 0; i < take; ++i, off += cs)
                s.push_back(cs == 2 ? static_cast<char16_t>(u16(cur, off)) : static_cast<char16_t>(cur[off]));
            remaining -= take;
            if (remaining > 0) {
                if (!s.empty() && s.back() >= 0xD800 && s.back() <= 0xDBFF)
                    out.pairSplit = true;
                if (++seg == segs.size())
                    return out;
                off = 0;
                flags = segs[seg]->data.at(0);
                off = 1;
            }
        }
        off += 4 * runs + ext;
        out.strings.push_back(std::move(s));
    }
    out.ok = true;
    return out;
}

inline std::u16string utf16(const std::string& utf8)
{
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        int n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c >> 5) == 6) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c >> 4) == 14) {
            cp = c & 0x0F;
            n = 3;
        } else {
            cp = c & 0x07;
            n = 4;
        }
        for (int k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

} // namespace xlstest
