#pragma once

// OfficeArt records ([MS-ODRAW]) as the MSODRAWINGGROUP and MSODRAWING records of a workbook
// carry them: an 8-byte header (version and instance, type, length), then the body, which for
// a container is more such records.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace cw::host::biff::art {

constexpr std::uint16_t DggContainer = 0xF000;
constexpr std::uint16_t BStoreContainer = 0xF001;
constexpr std::uint16_t DgContainer = 0xF002;
constexpr std::uint16_t SpgrContainer = 0xF003;
constexpr std::uint16_t SpContainer = 0xF004;
constexpr std::uint16_t SolverContainer = 0xF005;
constexpr std::uint16_t FDGG = 0xF006;
constexpr std::uint16_t FBSE = 0xF007;
constexpr std::uint16_t FDG = 0xF008;
constexpr std::uint16_t FSP = 0xF00A;
constexpr std::uint16_t OPT = 0xF00B;
constexpr std::uint16_t ClientTextbox = 0xF00D;
constexpr std::uint16_t ClientAnchor = 0xF010;
constexpr std::uint16_t ClientData = 0xF011;
constexpr std::uint16_t ConnectorRule = 0xF012;
constexpr std::uint16_t ArcRule = 0xF014;
constexpr std::uint16_t CalloutRule = 0xF017;
constexpr std::uint16_t TertiaryOPT = 0xF122;

constexpr std::uint16_t kPictureProperty = 0x0104; // pib: the picture of a picture shape

// Shape identifiers come in clusters of 1,024; a drawing's own come from its clusters.
constexpr std::uint32_t kSpidsPerCluster = 1024;

struct Header {
    std::size_t at = 0;      // offset of the header
    std::uint8_t version = 0;
    std::uint16_t instance = 0;
    std::uint16_t type = 0;
    std::uint32_t length = 0;
    std::size_t body() const { return at + 8; }
    std::size_t end() const { return at + 8 + length; }
    bool container() const { return version == 0x0F && type != FBSE; }
};

// Whether a record type is one an OfficeArt record may have: the format puts every type at
// 0xF000 and above, so a header that was zeroed or overwritten shows here.
inline bool validType(std::uint16_t type) { return type >= 0xF000; }
// The picture records a store entry embeds (the BLIP types, [MS-ODRAW] 2.2.23).
inline bool blipType(std::uint16_t type) { return type >= 0xF018 && type <= 0xF117; }

// The record at `at`, when its header and body fit before `end` and its type is valid.
std::optional<Header> header(const std::vector<std::uint8_t>& art, std::size_t at, std::size_t end);

// Appends a record header.
void putHeader(std::vector<std::uint8_t>& out, std::uint8_t version, std::uint16_t instance, std::uint16_t type,
               std::uint32_t length);

// The property table of an OPT (or tertiary OPT) record: each property's number, the offset of
// its 32-bit value in the art stream and, for a complex one, where its data lies.
struct Property {
    std::uint16_t id = 0;      // the property number, without the flag bits
    bool blip = false;         // fBid: a simple value that is a 1-based index into the picture store
    bool complex = false;
    std::size_t value = 0;     // offset of the value (for a complex property: its data's size)
    std::size_t data = 0;      // offset of a complex property's data
};
std::vector<Property> properties(const std::vector<std::uint8_t>& art, const Header& opt);

// The picture kinds a picture store entry names ([MS-ODRAW] 2.4.1 MSOBLIPTYPE).
enum class BlipType : std::uint8_t { Emf = 2, Wmf = 3, Pict = 4, Jpeg = 5, Png = 6, Dib = 7, Tiff = 0x11, CmykJpeg = 0x12 };

} // namespace cw::host::biff::art
