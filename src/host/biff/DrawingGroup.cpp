#include "host/biff/DrawingGroup.h"

#include "host/biff/Bytes.h"
#include "host/biff/OfficeArt.h"
#include "host/biff/Records.h"

#include <algorithm>

namespace cw::host::biff {

namespace {

constexpr std::size_t kFbseFixed = 36; // an FBSE body up to its name

// Where a store entry's embedded picture record starts, or 0 when the entry holds none.
std::size_t embeddedBlip(const std::vector<std::uint8_t>& fbse)
{
    if (fbse.size() < 8 + kFbseFixed)
        return 0;
    const std::size_t at = 8 + kFbseFixed + fbse[8 + 33];
    return art::header(fbse, at, fbse.size()) ? at : 0;
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.resize(out.size() + 4);
    putLe32(&out[out.size() - 4], v);
}

} // namespace

std::uint32_t clustersFor(std::uint32_t shapes)
{
    return std::max<std::uint32_t>(1, (shapes + art::kSpidsPerCluster - 1) / art::kSpidsPerCluster);
}

std::optional<DrawingGroup> DrawingGroup::read(const std::vector<RawRecord>& globals)
{
    // The group's records: MSODRAWINGGROUP, then CONTINUE or (as some writers split it) more
    // MSODRAWINGGROUP records.
    std::vector<std::uint8_t> body;
    bool in = false;
    for (const RawRecord& r : globals) {
        if (r.type == rt::MsoDrawingGroup || (in && r.type == rt::Continue)) {
            in = true;
            body.insert(body.end(), r.data.begin(), r.data.end());
        } else if (in) {
            break;
        }
    }
    const auto dgg = art::header(body, 0, body.size());
    if (!dgg || dgg->type != art::DggContainer)
        return std::nullopt;
    DrawingGroup g;
    for (std::size_t at = dgg->body(); at < dgg->end();) {
        const auto h = art::header(body, at, dgg->end());
        if (!h)
            return std::nullopt;
        if (h->type == art::BStoreContainer) {
            for (std::size_t e = h->body(); e < h->end();) {
                // Each entry is an FBSE; a picture it embeds is a BLIP record that fills it.
                const auto entry = art::header(body, e, h->end());
                if (!entry || entry->type != art::FBSE || entry->length < kFbseFixed)
                    return std::nullopt;
                const std::size_t blip = entry->body() + kFbseFixed + body[entry->body() + 33];
                if (blip < entry->end()) {
                    const auto picture = art::header(body, blip, entry->end());
                    if (!picture || !art::blipType(picture->type))
                        return std::nullopt;
                }
                g.m_entries.emplace_back(body.begin() + static_cast<std::ptrdiff_t>(entry->at),
                                         body.begin() + static_cast<std::ptrdiff_t>(entry->end()));
                e = entry->end();
            }
        } else if (h->type != art::FDGG) {
            g.m_others.emplace_back(body.begin() + static_cast<std::ptrdiff_t>(h->at),
                                    body.begin() + static_cast<std::ptrdiff_t>(h->end()));
        }
        at = h->end();
    }
    return g;
}

PictureFormat DrawingGroup::format(std::uint32_t index) const
{
    if (index == 0 || index > m_entries.size())
        return PictureFormat::None;
    const std::vector<std::uint8_t>& e = m_entries[index - 1];
    const std::size_t at = embeddedBlip(e);
    if (!at)
        return PictureFormat::None;
    switch (le16(&e[at + 2])) {
    case 0xF01A: return PictureFormat::Emf;
    case 0xF01B: return PictureFormat::Wmf;
    case 0xF01C: return PictureFormat::Pict;
    case 0xF01D: case 0xF02A: return PictureFormat::Jpeg;
    case 0xF01E: return PictureFormat::Png;
    case 0xF01F: return PictureFormat::Dib;
    case 0xF029: return PictureFormat::Tiff;
    default: return PictureFormat::None;
    }
}

std::vector<std::uint8_t> DrawingGroup::image(std::uint32_t index) const
{
    const PictureFormat f = format(index);
    if (f == PictureFormat::None)
        return {};
    const std::vector<std::uint8_t>& e = m_entries[index - 1];
    const auto blip = *art::header(e, embeddedBlip(e), e.size());
    // One or two 16-byte ids (an odd instance has the second), then a metafile's 34-byte header
    // or a bitmap's tag byte.
    const bool metafile = f == PictureFormat::Emf || f == PictureFormat::Wmf || f == PictureFormat::Pict;
    const std::size_t start = blip.body() + 16 * (1 + (blip.instance & 1)) + (metafile ? 34 : 1);
    if (start > blip.end())
        return {};
    return {e.begin() + static_cast<std::ptrdiff_t>(start), e.begin() + static_cast<std::ptrdiff_t>(blip.end())};
}

std::vector<std::uint8_t> DrawingGroup::build(const std::vector<Drawing>& drawings,
                                              const std::vector<std::pair<std::uint32_t, std::uint32_t>>& keep) const
{
    // FDGG with a cluster list: each drawing's ids run on from cluster 1.
    std::vector<std::uint8_t> fdgg;
    std::uint32_t cluster = 1, shapes = 0, spidMax = art::kSpidsPerCluster;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> idcls;
    for (const Drawing& d : drawings) {
        for (std::uint32_t left = std::max<std::uint32_t>(d.shapes, 1); left > 0; ++cluster) {
            const std::uint32_t used = std::min(left, art::kSpidsPerCluster);
            idcls.emplace_back(d.dgid, used);
            spidMax = cluster * art::kSpidsPerCluster + used;
            left -= used;
        }
        shapes += d.shapes;
    }
    for (std::uint32_t v : {spidMax, static_cast<std::uint32_t>(idcls.size() + 1), shapes,
                            static_cast<std::uint32_t>(drawings.size())})
        putU32(fdgg, v);
    for (const auto& [dgid, used] : idcls) {
        putU32(fdgg, dgid);
        putU32(fdgg, used);
    }

    std::vector<std::uint8_t> store;
    for (const auto& [index, refs] : keep) {
        std::vector<std::uint8_t> entry = m_entries.at(index - 1);
        if (entry.size() >= 8 + kFbseFixed)
            putLe32(&entry[8 + 24], refs);
        store.insert(store.end(), entry.begin(), entry.end());
    }
    std::vector<std::vector<std::uint8_t>> others = m_others;
    if (others.empty()) {
        // Excel's defaults: text fitted, white fill, black lines; the split menu's colours.
        std::vector<std::uint8_t> opt, colors;
        art::putHeader(opt, 3, 3, art::OPT, 18);
        for (auto [id, value] : {std::pair<std::uint16_t, std::uint32_t>{0x00BF, 0x00080008}, {0x0181, 0x08000041}, {0x01C0, 0x08000040}}) {
            opt.resize(opt.size() + 2);
            putLe16(&opt[opt.size() - 2], id);
            putU32(opt, value);
        }
        art::putHeader(colors, 0, 4, 0xF11E, 16);
        for (std::uint32_t c : {0x0800000Du, 0x0800000Cu, 0x08000017u, 0x100000F7u})
            putU32(colors, c);
        others = {opt, colors};
    }

    std::vector<std::uint8_t> body;
    std::size_t length = 8 + fdgg.size() + (keep.empty() ? 0 : 8 + store.size());
    for (const auto& o : others)
        length += o.size();
    art::putHeader(body, 0x0F, 0, art::DggContainer, static_cast<std::uint32_t>(length));
    art::putHeader(body, 0, 0, art::FDGG, static_cast<std::uint32_t>(fdgg.size()));
    body.insert(body.end(), fdgg.begin(), fdgg.end());
    if (!keep.empty()) {
        art::putHeader(body, 0x0F, static_cast<std::uint16_t>(keep.size()), art::BStoreContainer,
                       static_cast<std::uint32_t>(store.size()));
        body.insert(body.end(), store.begin(), store.end());
    }
    for (const auto& o : others)
        body.insert(body.end(), o.begin(), o.end());
    return body;
}

} // namespace cw::host::biff
