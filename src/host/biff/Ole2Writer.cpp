#include "host/biff/Ole2Writer.h"
#include "host/Error.h"
#include "host/biff/Ole2Reader.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>

#include <algorithm>
#include <memory>

namespace cw::host::biff {

namespace {

// [MS-CFB]: streams shorter than the 4,096-byte cutoff go to the mini stream.
constexpr std::size_t kMiniStreamCutoff = 4096;

// Excel.Sheet.8, {00020820-0000-0000-C000-000000000046}, as stored (first fields little-endian).
constexpr guint8 kExcelClassId[16] = {0x20, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

struct Unref {
    void operator()(void* p) const { g_object_unref(p); }
};
template <typename T>
using GPtr = std::unique_ptr<T, Unref>;

[[noreturn]] void fail(const char* what)
{
    throw Error(Error::Code::Io, std::string("the .xls container could not be built: ") + what);
}

} // namespace

std::vector<std::uint8_t> wrapInCompoundFile(std::span<const std::uint8_t> workbookStream)
{
    initGsf();
    GPtr<GsfOutput> sink(gsf_output_memory_new());
    if (!sink)
        fail("out of memory");
    GPtr<GsfOutfile> ole(gsf_outfile_msole_new(sink.get()));
    if (!ole)
        fail("out of memory");
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(ole.get()), kExcelClassId);

    {
        GPtr<GsfOutput> stream(gsf_outfile_new_child(ole.get(), "Workbook", FALSE));
        if (!stream)
            fail("the Workbook stream could not be created");
        bool ok = gsf_output_write(stream.get(), workbookStream.size(), workbookStream.data());
        if (ok && workbookStream.size() < kMiniStreamCutoff) {
            static const guint8 zeros[kMiniStreamCutoff] = {};
            ok = gsf_output_write(stream.get(), kMiniStreamCutoff - workbookStream.size(), zeros);
        }
        ok = gsf_output_close(stream.get()) && ok;
        if (!ok)
            fail("writing the Workbook stream failed");
    }
    if (!gsf_output_close(GSF_OUTPUT(ole.get())))
        fail("closing the compound file failed");

    const auto size = static_cast<std::size_t>(gsf_output_size(sink.get()));
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    if (!bytes && size > 0)
        fail("no data");
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

} // namespace cw::host::biff
