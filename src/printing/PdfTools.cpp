#include "printing/PdfTools.h"
#include "printing/PrintingFailure.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <QRandomGenerator>


namespace cw::printing {

namespace {

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
        throw printingFailure(std::string(what) + ": " + e.what());
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
                throw printingFailure("it has " + std::to_string(pages.size()) + " pages, not pages " +
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

QByteArray decryptPdf(const QByteArray& pdf, const std::string& password)
{
    return guarded("the PDF could not be opened with its password", [&] {
        QPDF doc;
        doc.setSuppressWarnings(true);
        doc.processMemoryFile("document", pdf.constData(), static_cast<std::size_t>(pdf.size()), password.c_str());
        return written(doc, [](QPDFWriter& w) { w.setPreserveEncryption(false); });
    });
}

} // namespace cw::printing
