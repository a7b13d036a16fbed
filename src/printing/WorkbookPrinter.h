#pragma once

#include <QPainter>

#include <QByteArray>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QPagedPaintDevice;

namespace cw::host {
class Workbook;
}

namespace cw::printing {

// Draws workbooks page after page onto one paged device (a PDF writer or a printer): every
// visible worksheet in workbook order, each with its own paper, orientation and pages. The
// device must draw from the paper's corner: a QPrinter needs setFullPage(true) first.
class WorkbookPrinter {
public:
    explicit WorkbookPrinter(QPagedPaintDevice& device);
    ~WorkbookPrinter();
    WorkbookPrinter(const WorkbookPrinter&) = delete;
    WorkbookPrinter& operator=(const WorkbookPrinter&) = delete;

    // Adds the pages of every visible worksheet. Returns the number of pages added. Throws
    // core::Failure when the device cannot start (e.g. a PDF file that cannot be written).
    int addWorkbook(const host::Workbook& book);
    int pageCount() const { return m_pages; }
    // What the pages leave out (pictures that can't be drawn), each said once.
    const std::vector<std::string>& notes() const { return m_notes; }
    // Ends the document; false when the device reports a failure. Nothing is written for a
    // document without pages.
    bool finish();

private:
    QPagedPaintDevice& m_device;
    QPainter m_painter;
    int m_pages = 0;
    bool m_finished = false;
    std::vector<std::string> m_notes;
};

// Adds the sentence to the notes unless it is there already.
void addNote(std::vector<std::string>& notes, const std::string& note);

// A PDF document in memory, made of the pages of one workbook after another.
class PdfBytesWriter {
public:
    explicit PdfBytesWriter(const std::string& title = {});
    ~PdfBytesWriter();
    PdfBytesWriter(const PdfBytesWriter&) = delete;
    PdfBytesWriter& operator=(const PdfBytesWriter&) = delete;

    // Adds the workbook's pages; returns how many.
    int add(const host::Workbook& book);
    int pageCount() const;
    const std::vector<std::string>& notes() const;
    // The finished document. Throws core::Failure when it has no pages or could not be
    // completed.
    QByteArray finish();

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
};

// Writes a workbook as a PDF file, replacing `pdf` only once the whole document is written
// (and replacing a link there rather than writing through it). Returns the page count; throws
// core::Failure naming the file when it cannot be written.
int writePdf(const host::Workbook& book, const std::filesystem::path& pdf, const std::string& title = {});

} // namespace cw::printing
