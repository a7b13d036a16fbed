#include "host/biff/OfficeArt.h"

#include "host/biff/Bytes.h"

namespace cw::host::biff::art {

std::optional<Header> header(const std::vector<std::uint8_t>& art, std::size_t at, std::size_t end)
{
    if (end > art.size() || at > end || end - at < 8)
        return std::nullopt;
    Header h;
    h.at = at;
    const std::uint16_t verInst = le16(&art[at]);
    h.version = static_cast<std::uint8_t>(verInst & 0x0F);
    h.instance = static_cast<std::uint16_t>(verInst >> 4);
    h.type = le16(&art[at + 2]);
    h.length = le32(&art[at + 4]);
    if (h.length > end - at - 8 || !validType(h.type))
        return std::nullopt;
    return h;
}

void putHeader(std::vector<std::uint8_t>& out, std::uint8_t version, std::uint16_t instance, std::uint16_t type,
               std::uint32_t length)
{
    const std::size_t at = out.size();
    out.resize(at + 8);
    putLe16(&out[at], static_cast<std::uint16_t>((instance << 4) | (version & 0x0F)));
    putLe16(&out[at + 2], type);
    putLe32(&out[at + 4], length);
}

std::vector<Property> properties(const std::vector<std::uint8_t>& art, const Header& opt)
{
    std::vector<Property> out;
    std::size_t data = opt.body() + 6 * std::size_t(opt.instance);
    if (data > opt.end())
        return out;
    for (std::size_t i = 0; i < opt.instance; ++i) {
        const std::size_t at = opt.body() + 6 * i;
        const std::uint16_t opid = le16(&art[at]);
        Property p{static_cast<std::uint16_t>(opid & 0x3FFF), (opid & 0xC000) == 0x4000, (opid & 0x8000) != 0, at + 2, 0};
        // The picture of a picture shape is a store index even where a writer leaves fBid
        // clear (Gnumeric does).
        p.blip = p.blip || (p.id == kPictureProperty && !p.complex);
        if (p.complex) {
            p.data = data;
            data += le32(&art[at + 2]);
            if (data > opt.end())
                break; // a table that claims more data than its record holds: the rest is not read
        }
        out.push_back(p);
    }
    return out;
}

} // namespace cw::host::biff::art
