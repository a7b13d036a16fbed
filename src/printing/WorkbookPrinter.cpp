#include "printing/WorkbookPrinter.h"
#include "core/PathText.h"

#include "printing/SheetPages.h"
#include "host/Sheet.h"
#include "host/Workbook.h"

#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <stdexcept>

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
                    throw std::runtime_error("the printer or PDF file could not be started");
            } else if (!m_device.newPage()) {
                throw std::runtime_error("the printer refused a new page");
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

int writePdf(const host::Workbook& book, const std::filesystem::path& pdf, const std::string& title,
             std::vector<std::string>* notes)
{
    const QString name = QString::fromStdString(core::pathText(pdf));
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(core::pathText(pdf) + ": cannot be written (" + file.errorString().toStdString() + ")");
    int pages = 0;
    {
        QPdfWriter writer(&file);
        writer.setResolution(1200);
        writer.setCreator(QStringLiteral("Certwright"));
        if (!title.empty())
            writer.setTitle(QString::fromStdString(title));
        WorkbookPrinter printer(writer);
        pages = printer.addWorkbook(book);
        for (const std::string& note : printer.notes())
            if (notes)
                addNote(*notes, note);
        if (!printer.finish())
            throw std::runtime_error(core::pathText(pdf) + ": the PDF could not be completed");
    }
    if (pages == 0) {
        file.cancelWriting();
        throw std::runtime_error(core::pathText(pdf) + ": the workbook has nothing to print");
    }
    if (!file.commit())
        throw std::runtime_error(core::pathText(pdf) + ": cannot be written (" + file.errorString().toStdString() + ")");
    return pages;
}

} // namespace cw::printing
