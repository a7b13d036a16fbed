#include "printing/PdfTools.h"

#include "printing/PdfEncryption.h"
#include "printing/PrintingFailure.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <QRandomGenerator>

#include <cstdio>
#include <stdexcept>
#include <string_view>

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

// What a protected document allows: printing (high resolution too), copying, accessibility and
// assembly; not changing it, its forms or its annotations.
constexpr std::int32_t kPermissions = -300;

std::string hexText(std::string_view bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex().toStdString();
}

// An empty document whose encryption dictionary holds `keys`, with `id1` as the first word of
// its ID: what QPDFWriter copies a document's encryption from. Read with the file key itself,
// it costs no password hashing.
std::string keyHolder(const Aes256Keys& keys, const std::string& id1)
{
    std::string text = "%PDF-1.7\n";
    std::vector<std::size_t> offsets;
    const auto object = [&](const std::string& body) {
        offsets.push_back(text.size());
        text += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    object("<</Type /Catalog /Pages 2 0 R>>");
    object("<</Type /Pages /Kids [] /Count 0>>");
    object("<</Filter /Standard /V 5 /R 6 /Length 256 /P " + std::to_string(kPermissions) +
           " /EncryptMetadata true /CF <</StdCF <</AuthEvent /DocOpen /CFM /AESV3 /Length 32>>>> /StmF /StdCF /StrF /StdCF"
           " /O <" + hexText(keys.O) + "> /U <" + hexText(keys.U) + "> /OE <" + hexText(keys.OE) + "> /UE <" +
           hexText(keys.UE) + "> /Perms <" + hexText(keys.Perms) + ">>>");
    const std::size_t xref = text.size();
    text += "xref\n0 4\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char row[24];
        std::snprintf(row, sizeof row, "%010zu 00000 n \n", offset);
        text += row;
    }
    text += "trailer\n<</Size 4 /Root 1 0 R /Encrypt 3 0 R /ID [<" + hexText(id1) + "> <" + hexText(id1) +
            ">]>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return text;
}

// The first word of the document's ID, which stays with the document; a new one when it has none.
std::string firstId(QPDF& pdf)
{
    QPDFObjectHandle ids = pdf.getTrailer().getKey("/ID");
    if (ids.isArray() && ids.getArrayNItems() == 2 && ids.getArrayItem(0).isString() &&
        !ids.getArrayItem(0).getStringValue().empty())
        return ids.getArrayItem(0).getStringValue();
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return std::string(reinterpret_cast<const char*>(words), sizeof words);
}

// The document information of `from` (title, creator, dates) as `to`'s own.
QPDFObjectHandle copyInformation(QPDF& from, QPDF& to)
{
    QPDFObjectHandle info = from.getTrailer().getKey("/Info");
    info = info.isIndirect() && info.isDictionary() ? to.copyForeignObject(info) : to.makeIndirectObject(QPDFObjectHandle::newDictionary());
    to.getTrailer().replaceKey("/Info", info);
    return info;
}

// `doc` written encrypted with AES-256 under `keys`, and the file key.
ProtectedPdf writtenProtected(QPDF& doc, const Aes256Keys& keys)
{
    QPDF holder;
    holder.setSuppressWarnings(true);
    holder.setPasswordIsHexKey(true);
    const std::string text = keyHolder(keys, firstId(doc)), key = hexText(keys.fileKey);
    holder.processMemoryFile("encryption", text.data(), text.size(), key.c_str());
    return {written(doc, [&](QPDFWriter& w) { w.copyEncryptionParameters(holder); }), keys.fileKey};
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

std::vector<ProtectedPdf> splitPdf(const QByteArray& pdf, const std::vector<PdfPart>& parts)
{
    return guarded("the PDF could not be split into certificates", [&] {
        QPDF whole;
        read(whole, pdf, "certificates");
        const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(whole).getAllPages();
        // The keys of all the protected parts first: their password hashes go faster together.
        std::vector<std::string> passwords;
        for (const PdfPart& part : parts)
            if (part.openPassword)
                passwords.push_back(*part.openPassword);
        const std::vector<Aes256Keys> keys = protectionKeys(passwords);
        std::size_t nextKey = 0;
        std::vector<ProtectedPdf> documents;
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
            documents.push_back(part.openPassword ? writtenProtected(one, keys[nextKey++]) : ProtectedPdf{written(one), {}});
        }
        return documents;
    });
}

ProtectedPdf protectPdf(const QByteArray& pdf, const std::string& openPassword)
{
    return protectPdf(pdf, protectionKeys({openPassword}).front());
}

ProtectedPdf protectPdf(const QByteArray& pdf, const Aes256Keys& keys)
{
    return guarded("the PDF could not be protected", [&] {
        QPDF doc;
        read(doc, pdf, "certificate");
        return writtenProtected(doc, keys);
    });
}

std::vector<Aes256Keys> protectionKeys(const std::vector<std::string>& openPasswords)
{
    return aes256Keys(openPasswords, kPermissions);
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
