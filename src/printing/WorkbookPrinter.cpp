#include "printing/WorkbookPrinter.h"
#include "core/PathText.h"

#include "printing/PendingFile.h"
#include "printing/PrintingFailure.h"
#include "printing/SheetPages.h"
#include "host/Sheet.h"
#include "host/Workbook.h"

#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QBuffer>

#include <algorithm>

namespace cw::printing {

WorkbookPrinter::WorkbookPrinter(QPagedPaintDevice& device) : m_device(device) {}

WorkbookPrinter::~WorkbookPrinter()
{
    if (m_painter.isActive())
        m_painter.end();
}

int WorkbookPrinter::addWorkbook(const host::Workbook& book)
{
    int added = 0;
    for (int s = 0; s < book.sheetCount(); ++s) {
        const host::Sheet& sheet = book.sheet(s);
        if (sheet.kind() != host::SheetKind::Worksheet || sheet.visibility() != host::Visibility::Visible)
            continue;
        SheetPages pages(book, sheet);
        for (const std::string& note : pages.notes())
            addNote(m_notes, note);
        for (int p = 0; p < pages.count(); ++p) {
            // The page layout must be in place before the page begins: before begin() for the
            // first page, before newPage() for the others. Some print systems refuse a change
            // in the middle of a job, so an unchanged layout is not set again.
            if (m_pages == 0 || !m_device.pageLayout().isEquivalentTo(pages.pageLayout()))
                m_device.setPageLayout(pages.pageLayout());
            if (m_pages == 0) {
                if (!m_painter.begin(&m_device))
                    throw printingFailure("the printer or PDF file could not be started");
            } else if (!m_device.newPage()) {
                throw printingFailure("the printer refused a new page");
            }
            m_painter.save();
            m_painter.resetTransform();
            m_painter.scale(m_device.logicalDpiX() / 72.0, m_device.logicalDpiY() / 72.0);
            pages.paint(m_painter, p);
            m_painter.restore();
            ++m_pages;
            ++added;
        }
    }
    return added;
}

bool WorkbookPrinter::finish()
{
    if (m_finished)
        return true;
    m_finished = true;
    if (!m_painter.isActive())
        return true;
    return m_painter.end();
}

void addNote(std::vector<std::string>& notes, const std::string& note)
{
    if (std::find(notes.begin(), notes.end(), note) == notes.end())
        notes.push_back(note);
}

struct PdfBytesWriter::Parts {
    QByteArray bytes;
    QBuffer buffer{&bytes};
    QPdfWriter writer{&buffer};
    WorkbookPrinter printer{writer};
};

PdfBytesWriter::PdfBytesWriter(const std::string& title) : m_parts(std::make_unique<Parts>())
{
    m_parts->buffer.open(QIODevice::WriteOnly);
    m_parts->writer.setResolution(1200);
    m_parts->writer.setCreator(QStringLiteral("Certwright"));
    if (!title.empty())
        m_parts->writer.setTitle(QString::fromStdString(title));
}

PdfBytesWriter::~PdfBytesWriter() = default;

int PdfBytesWriter::add(const host::Workbook& book)
{
    return m_parts->printer.addWorkbook(book);
}

int PdfBytesWriter::pageCount() const
{
    return m_parts->printer.pageCount();
}

const std::vector<std::string>& PdfBytesWriter::notes() const
{
    return m_parts->printer.notes();
}

QByteArray PdfBytesWriter::finish()
{
    if (m_parts->printer.pageCount() == 0)
        throw printingFailure("the workbook has nothing to print");
    if (!m_parts->printer.finish())
        throw printingFailure("the PDF could not be completed");
    return m_parts->bytes;
}

int writePdf(const host::Workbook& book, const std::filesystem::path& pdf, const std::string& title)
{
    PdfBytesWriter writer(title);
    const int pages = writer.add(book);
    QByteArray bytes;
    try {
        bytes = writer.finish();
    } catch (const core::Failure& e) {
        throw printingFailure(core::pathText(pdf) + ": " + e.what());
    }
    PendingFile file(pdf);
    file.write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    file.commit();
    return pages;
}

} // namespace cw::printing
