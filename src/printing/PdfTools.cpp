#include "printing/PdfTools.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <QRandomGenerator>

#include <stdexcept>

namespace cw::printing {

namespace {

// Widths of Helvetica's characters 32 to 126 in thousandths of an em (its published metrics):
// a font that is not embedded must carry them.
constexpr int kHelveticaWidths[] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278, 556, 556, 556, 556,
    556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, 1015, 667, 667, 722, 722, 667, 611, 778,
    722, 278, 500, 667, 556, 833, 722, 778, 667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278,
    278, 278, 469, 556, 333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,
    556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584,
};

QByteArray written(QPDF& pdf, const std::function<void(QPDFWriter&)>& setUp = {})
{
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setStaticID(false);
    if (setUp)
        setUp(writer);
    writer.write();
    const auto buffer = writer.getBufferSharedPointer();
    return QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), static_cast<qsizetype>(buffer->getSize()));
}

void read(QPDF& pdf, const QByteArray& bytes, const char* description)
{
    pdf.setSuppressWarnings(true);
    pdf.processMemoryFile(description, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void addSignatureFontTo(QPDF& pdf)
{
    QPDFObjectHandle widths = QPDFObjectHandle::newArray();
    for (int w : kHelveticaWidths)
        widths.appendItem(QPDFObjectHandle::newInteger(w));
    QPDFObjectHandle descriptor = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /FontDescriptor /FontName /Helvetica /Flags 32 /FontBBox [-166 -225 1000 931] /ItalicAngle 0"
        " /Ascent 718 /Descent -207 /CapHeight 718 /StemV 88 >>"));
    auto font = [&](const char* baseFont) {
        QPDFObjectHandle f = QPDFObjectHandle::parse(
            std::string("<< /Type /Font /Subtype /Type1 /BaseFont ") + baseFont +
            " /Encoding << /Type /Encoding /BaseEncoding /WinAnsiEncoding /Differences [10 /uni000A] >>"
            " /FirstChar 32 /LastChar 126 >>");
        f.replaceKey("/Widths", widths);
        f.replaceKey("/FontDescriptor", descriptor);
        return pdf.makeIndirectObject(f);
    };
    // The signer looks for a resource named popplerfont* whose base font is the family, and
    // some versions add a space to the name; the line break is mapped so that the text may
    // have two lines.
    QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
    fonts.replaceKey("/popplerfontHelvetica", font("/Helvetica"));
    fonts.replaceKey("/popplerfontHelveticaSpace", font("/Helvetica#20"));
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/Font", fonts);
    QPDFObjectHandle form = QPDFObjectHandle::newDictionary();
    form.replaceKey("/DR", resources);
    form.replaceKey("/Fields", QPDFObjectHandle::newArray());
    pdf.getRoot().replaceKey("/AcroForm", pdf.makeIndirectObject(form));
}

std::string randomPassword()
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string password;
    for (int i = 0; i < 32; ++i)
        password += kLetters[QRandomGenerator::system()->bounded(static_cast<int>(sizeof kLetters - 1))];
    return password;
}

// The document information of `from` (title, creator, dates) as `to`'s own.
QPDFObjectHandle copyInformation(QPDF& from, QPDF& to)
{
    QPDFObjectHandle info = from.getTrailer().getKey("/Info");
    info = info.isIndirect() && info.isDictionary() ? to.copyForeignObject(info) : to.makeIndirectObject(QPDFObjectHandle::newDictionary());
    to.getTrailer().replaceKey("/Info", info);
    return info;
}

template <typename Work>
auto guarded(const char* what, Work work)
{
    try {
        return work();
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string(what) + ": " + e.what());
    }
}

} // namespace

QByteArray mergePdfs(const std::vector<QByteArray>& documents)
{
    return guarded("the PDF files could not be joined", [&] {
        QPDF merged;
        merged.emptyPDF();
        QPDFPageDocumentHelper pages(merged);
        for (const QByteArray& bytes : documents) {
            QPDF part;
            read(part, bytes, "part");
            if (&bytes == &documents.front())
                copyInformation(part, merged);
            for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(part).getAllPages())
                pages.addPage(page, false);
        }
        return written(merged);
    });
}

std::vector<QByteArray> splitPdf(const QByteArray& pdf, const std::vector<PdfPart>& parts)
{
    return guarded("the PDF could not be split into certificates", [&] {
        QPDF whole;
        read(whole, pdf, "certificates");
        const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(whole).getAllPages();
        std::vector<QByteArray> documents;
        documents.reserve(parts.size());
        for (const PdfPart& part : parts) {
            if (part.firstPage < 0 || part.pages < 1 || static_cast<std::size_t>(part.firstPage + part.pages) > pages.size())
                throw std::runtime_error("it has " + std::to_string(pages.size()) + " pages, not pages " +
                                         std::to_string(part.firstPage + 1) + " to " + std::to_string(part.firstPage + part.pages));
            QPDF one;
            one.emptyPDF();
            QPDFPageDocumentHelper onePages(one);
            for (int p = part.firstPage; p < part.firstPage + part.pages; ++p)
                onePages.addPage(pages[static_cast<std::size_t>(p)], false);
            copyInformation(whole, one).replaceKey("/Title", QPDFObjectHandle::newUnicodeString(part.title));
            documents.push_back(written(one));
        }
        return documents;
    });
}

QByteArray protectPdf(const QByteArray& pdf, const std::string& openPassword)
{
    std::string owner;
    return guarded("the PDF could not be protected", [&] {
        QPDF doc;
        read(doc, pdf, "certificate");
        owner = randomPassword();
        return written(doc, [&](QPDFWriter& w) {
            w.setR6EncryptionParameters(openPassword.c_str(), owner.c_str(), true, true, true, false, false, false,
                                        qpdf_r3p_full, true);
        });
    });
}

QByteArray addSignatureFont(const QByteArray& pdf)
{
    return guarded("the PDF could not be prepared for signing", [&] {
        QPDF doc;
        read(doc, pdf, "certificate");
        addSignatureFontTo(doc);
        return written(doc);
    });
}

QByteArray protectPdfForSigning(const QByteArray& pdf, const std::string& openPassword, std::string& ownerPassword)
{
    return guarded("the PDF could not be protected", [&] {
        QPDF doc;
        read(doc, pdf, "certificate");
        addSignatureFontTo(doc);
        ownerPassword = randomPassword();
        return written(doc, [&](QPDFWriter& w) {
            w.setR6EncryptionParameters(openPassword.c_str(), ownerPassword.c_str(), true, true, true, false, false,
                                        false, qpdf_r3p_full, true);
        });
    });
}

} // namespace cw::printing
