#include "host/biff/Ole2Reader.h"

#include "host/Ascii.h"
#include "host/Error.h"
#include "host/biff/Bytes.h"

#include <gsf/gsf.h>

#include <cstring>
#include <fstream>
#include <mutex>
#include <system_error>

namespace cw::host::biff {

namespace {

constexpr std::uint8_t kOleMagic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// libgsf reports damaged containers through GLib warnings as well as its GError; the caller
// gets our Error instead, so its log lines would only clutter a console or a log file. Some of
// them carry no log domain at all (gsf_infile_child_by_index), hence the default domain too:
// nothing else in the program logs through GLib's default domain.
void quietLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

template <typename T>
struct GObjectRef {
    T* p = nullptr;
    ~GObjectRef()
    {
        if (p)
            g_object_unref(p);
    }
};

struct GErrorRef {
    GError* p = nullptr;
    ~GErrorRef()
    {
        if (p)
            g_error_free(p);
    }
    std::string text() const { return p && p->message ? p->message : "unknown reason"; }
};

std::vector<std::uint8_t> readStream(GsfInput* stream, std::size_t containerSize, const std::string& name)
{
    const gsf_off_t size = gsf_input_size(stream);
    if (size < 0 || static_cast<std::uintmax_t>(size) > containerSize)
        throw Error(Error::Code::Corrupt,
                    "the compound document is damaged: its Workbook stream claims " + std::to_string(size)
                        + " bytes in a file of " + std::to_string(containerSize),
                    name);
    if (static_cast<std::uintmax_t>(size) > kMaxWorkbookStream)
        throw Error(Error::Code::Limit,
                    "the Workbook stream holds " + std::to_string(size) + " bytes, more than the "
                        + std::to_string(kMaxWorkbookStream >> 20) + " MiB this program reads",
                    name);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    if (size > 0 && !gsf_input_read(stream, static_cast<std::size_t>(size), out.data()))
        throw Error(Error::Code::Corrupt, "the compound document is damaged: its Workbook stream is cut short",
                    name);
    return out;
}

std::vector<std::uint8_t> fromCompoundDocument(const std::uint8_t* data, std::size_t size, const std::string& name)
{
    initGsf();
    GObjectRef<GsfInput> input;
    input.p = gsf_input_memory_new(data, static_cast<gsf_off_t>(size), FALSE);
    if (!input.p)
        throw Error(Error::Code::Io, "could not set up reading the file", name);
    GErrorRef err;
    GObjectRef<GsfInfile> ole;
    ole.p = gsf_infile_msole_new(input.p, &err.p);
    if (!ole.p)
        throw Error(Error::Code::Corrupt, "the compound document is damaged (" + err.text() + ")", name);

    const int children = gsf_infile_num_children(ole.p);
    int workbook = -1;
    int book = -1;
    for (int i = 0; i < children; ++i) {
        const char* child = gsf_infile_name_by_index(ole.p, i);
        if (!child)
            continue;
        if (workbook < 0 && equalsIgnoringAsciiCase(child, "Workbook"))
            workbook = i;
        else if (book < 0 && equalsIgnoringAsciiCase(child, "Book"))
            book = i;
    }
    if (workbook < 0) {
        if (book >= 0)
            throw Error(Error::Code::OldFormat,
                        "it is an Excel 5.0/95 workbook; save it as an Excel 97-2003 workbook (.xls) and try again",
                        name);
        throw Error(Error::Code::NoWorkbook,
                    "it is an OLE compound document without a Workbook stream (perhaps a Word or other Office file)",
                    name);
    }
    GObjectRef<GsfInput> stream;
    stream.p = gsf_infile_child_by_index(ole.p, workbook);
    if (!stream.p)
        throw Error(Error::Code::Corrupt, "the compound document is damaged: its Workbook stream cannot be opened",
                    name);
    if (GSF_IS_INFILE(stream.p) && gsf_infile_num_children(GSF_INFILE(stream.p)) >= 0)
        throw Error(Error::Code::NoWorkbook, "its \"Workbook\" entry is a storage, not a stream", name);
    return readStream(stream.p, size, name);
}

} // namespace

void initGsf()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING
                                                        | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
        for (const char* domain : {static_cast<const char*>(nullptr), "libgsf", "libgsf:msole", "libgsf:utils"})
            g_log_set_handler(domain, levels, quietLog, nullptr);
    });
}

std::vector<std::uint8_t> workbookStreamFromBytes(const std::uint8_t* data, std::size_t size, const std::string& name)
{
    if (size == 0)
        throw Error(Error::Code::NotOle2, "the file is empty", name);
    if (size >= 8 && std::memcmp(data, kOleMagic, 8) == 0)
        return fromCompoundDocument(data, size, name);
    if (size >= 4 && data[0] == 'P' && data[1] == 'K' && data[2] == 3 && data[3] == 4)
        throw Error(Error::Code::NotOle2,
                    "it is an Excel 2007 or later workbook (.xlsx) or another ZIP archive, not an Excel 97-2003 "
                    "workbook; save it as .xls and try again",
                    name);
    if (size >= 4) {
        const std::uint16_t type = le16(data);
        if (type == 0x0009 || type == 0x0209 || type == 0x0409)
            throw Error(Error::Code::OldFormat,
                        "it is an Excel 2.x-4.0 worksheet; save it as an Excel 97-2003 workbook (.xls) and try again",
                        name);
        // A bare workbook stream without the compound-document wrapper; the BOF decides.
        if (type == 0x0809) {
            if (size > kMaxWorkbookStream)
                throw Error(Error::Code::Limit,
                            "the workbook holds " + std::to_string(size) + " bytes, more than the "
                                + std::to_string(kMaxWorkbookStream >> 20) + " MiB this program reads",
                            name);
            return std::vector<std::uint8_t>(data, data + size);
        }
    }
    std::size_t i = 0;
    while (i < size && i < 64 && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n'
                                   || data[i] == 0xEF || data[i] == 0xBB || data[i] == 0xBF))
        ++i;
    if (i < size && data[i] == '<')
        throw Error(Error::Code::NotOle2,
                    "it is an XML or HTML file with an .xls name, not an Excel 97-2003 workbook", name);
    throw Error(Error::Code::NotOle2, "it is not an Excel workbook (no compound-document header)", name);
}

std::vector<std::uint8_t> workbookStreamFromFile(const std::filesystem::path& path, const std::string& name)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status))
        throw Error(Error::Code::Io, "the file does not exist", name);
    if (std::filesystem::is_directory(status))
        throw Error(Error::Code::Io, "it is a folder, not a file", name);
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec)
        throw Error(Error::Code::Io, "the file cannot be read (" + ec.message() + ")", name);
    if (size > kMaxFileBytes)
        throw Error(Error::Code::Limit,
                    "the file holds " + std::to_string(size) + " bytes, more than the "
                        + std::to_string(kMaxFileBytes >> 20) + " MiB this program reads",
                    name);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error(Error::Code::Io, "the file cannot be opened (it may be in use or not readable)", name);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        throw Error(Error::Code::Io, "the file cannot be read to its end", name);
    if (size >= 4 && le16(bytes.data()) == 0x0809 && size <= kMaxWorkbookStream)
        return bytes; // a bare workbook stream: no second copy
    return workbookStreamFromBytes(bytes.data(), bytes.size(), name);
}

} // namespace cw::host::biff
