#pragma once

#include "host/Workbook.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace cw::host {

// Serializes a Workbook as a BIFF8 .xls file. Two phases: prepare() settles everything the
// globals depend on (the shared strings, which formulas can be written verbatim, the link
// table and the defined names); write() then emits the globals and each sheet's substream,
// filling in each BOUNDSHEET's stream offset once its sheet is placed.
//
// Throws Error(Limit) naming the sheet when the workbook does not fit the format (a sheet of
// more than 65,536 rows, a sheet name longer than 31 characters, a text over 32,767
// characters) and Error(Invalid) for a workbook without sheets.
class XlsWriter {
public:
    explicit XlsWriter(const Workbook& workbook);
    ~XlsWriter();
    XlsWriter(const XlsWriter&) = delete;
    XlsWriter& operator=(const XlsWriter&) = delete;

    // The BIFF8 "Workbook" stream.
    std::vector<std::uint8_t> workbookStream();
    // The whole .xls file: the stream in an OLE2 compound file.
    std::vector<std::uint8_t> fileBytes();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace cw::host
