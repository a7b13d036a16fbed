#include "host/Workbook.h"

#include "host/biff/Ole2Reader.h"
#include "host/biff/XlsReader.h"

namespace cw::host {

namespace {

// The name a message shows: the path as the user gave it, in UTF-8 on every platform.
std::string displayName(const std::filesystem::path& path)
{
    const std::u8string u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

} // namespace

Workbook Workbook::open(const std::filesystem::path& path)
{
    const std::string name = displayName(path);
    const std::vector<std::uint8_t> stream = biff::workbookStreamFromFile(path, name);
    return XlsReader::parse(stream, name);
}

Workbook Workbook::fromBytes(const std::vector<std::uint8_t>& bytes, const std::string& nameForErrors)
{
    // A bare workbook stream needs no copy: read it where it is.
    if (bytes.size() >= 4 && bytes[0] == 0x09 && bytes[1] == 0x08 && bytes.size() <= biff::kMaxWorkbookStream)
        return XlsReader::parse(bytes, nameForErrors);
    const std::vector<std::uint8_t> stream = biff::workbookStreamFromBytes(bytes.data(), bytes.size(), nameForErrors);
    return XlsReader::parse(stream, nameForErrors);
}

} // namespace cw::host
