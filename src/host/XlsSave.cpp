#include "host/SafeWrite.h"
#include "host/Workbook.h"
#include "host/biff/XlsWriter.h"

namespace cw::host {

std::vector<std::uint8_t> Workbook::toBytes() const
{
    return XlsWriter(*this).fileBytes();
}

void Workbook::save(const std::filesystem::path& path, SaveMode mode, const ByteWriter& writer) const
{
    saveBytes(toBytes(), path, mode, writer);
}

void Workbook::saveBytes(const std::vector<std::uint8_t>& bytes, const std::filesystem::path& path, SaveMode mode,
                         const ByteWriter& writer)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (mode == SaveMode::NewFile)
        writeNewFile(path, text, writer);
    else
        replaceFile(path, text, writer);
}

} // namespace cw::host
