// NSS first: Qt's "slots" keyword would clash with its headers.
#include <pk11pub.h>

#include "printing/SignatureUpdate.h"

#include "core/Failure.h"
#include "printing/PrintingFailure.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

namespace cw::printing {

namespace {

// Room for the CMS signature: a 4096-bit key with a chain of three certificates fits.
constexpr int kSignatureBytes = 8192;
constexpr const char kRangePlaceholder[] = "/ByteRange [0 0000000000 0000000000 0000000000]";


std::string hex(const std::string& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2 + 2);
    out += '<';
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    out += '>';
    return out;
}

// Strings and streams of new objects as the document's encryption wants them: AES-CBC with a
// random first block, under the key of each object (the file's key itself for AES-256).
class Cipher {
public:
    Cipher(QPDF& pdf)
    {
        int r = 0, p = 0;
        QPDF::encryption_method_e stream{}, string{}, file{};
        if (!pdf.isEncrypted(r, p, m_v, stream, string, file))
            return;
        if (stream != QPDF::e_aes && stream != QPDF::e_aesv3)
            throw printingFailure("its encryption (RC4) is too old to be extended by a signature");
        m_r = r;
        m_key = pdf.getEncryptionKey();
        m_on = true;
    }

    std::string operator()(const std::string& plain, int id, int gen) const
    {
        if (!m_on)
            return plain;
        const std::string key = QPDF::compute_data_key(m_key, id, gen, true, m_v, m_r);
        unsigned char iv[16];
        if (PK11_GenerateRandom(iv, sizeof iv) != SECSuccess)
            throw printingFailure("no random numbers for the document's encryption");
        PK11SlotInfo* slot = PK11_GetInternalSlot();
        SECItem keyItem{siBuffer, reinterpret_cast<unsigned char*>(const_cast<char*>(key.data())), static_cast<unsigned>(key.size())};
        PK11SymKey* symKey = slot ? PK11_ImportSymKey(slot, CKM_AES_CBC_PAD, PK11_OriginUnwrap, CKA_ENCRYPT, &keyItem, nullptr) : nullptr;
        SECItem ivItem{siBuffer, iv, sizeof iv};
        std::string out(reinterpret_cast<char*>(iv), sizeof iv);
        out.resize(sizeof iv + plain.size() + 16);
        unsigned outLength = 0;
        const SECStatus done =
            symKey ? PK11_Encrypt(symKey, CKM_AES_CBC_PAD, &ivItem, reinterpret_cast<unsigned char*>(&out[sizeof iv]), &outLength,
                                  static_cast<unsigned>(plain.size() + 16), reinterpret_cast<const unsigned char*>(plain.data()),
                                  static_cast<unsigned>(plain.size()))
                   : SECFailure;
        if (symKey)
            PK11_FreeSymKey(symKey);
        if (slot)
            PK11_FreeSlot(slot);
        if (done != SECSuccess)
            throw printingFailure("the document's encryption could not be applied to the signature");
        out.resize(sizeof iv + outLength);
        return out;
    }

private:
    bool m_on = false;
    int m_v = 0, m_r = 0;
    std::string m_key;
};

// An object of the document as PDF syntax, strings encrypted for object (id, gen).
void put(std::string& out, QPDFObjectHandle o, const Cipher& cipher, int id, int gen, bool top = false)
{
    if (!top && o.isIndirect()) {
        out += std::to_string(o.getObjectID()) + " " + std::to_string(o.getGeneration()) + " R";
    } else if (o.isString()) {
        out += hex(cipher(o.getStringValue(), id, gen));
    } else if (o.isArray()) {
        out += '[';
        for (QPDFObjectHandle& item : o.getArrayAsVector()) {
            put(out, item, cipher, id, gen);
            out += ' ';
        }
        out += ']';
    } else if (o.isDictionary()) {
        out += "<<";
        for (const std::string& key : o.getKeys()) {
            out += QPDFObjectHandle::newName(key).unparse();
            out += ' ';
            put(out, o.getKey(key), cipher, id, gen);
            out += '\n';
        }
        out += ">>";
    } else if (o.isStream()) {
        throw printingFailure("a stream of the document cannot be rewritten by a signature");
    } else {
        out += o.unparse();
    }
}

std::string pdfString(const std::string& utf8, const Cipher& cipher, int id)
{
    // Text strings outside ASCII as UTF-16 with its byte order mark.
    const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](unsigned char c) { return c < 128; });
    std::string bytes = utf8;
    if (!ascii) {
        bytes = "\xFE\xFF";
        for (char16_t c : QString::fromStdString(utf8).toStdU16String()) {
            bytes += static_cast<char>(c >> 8);
            bytes += static_cast<char>(c & 0xFF);
        }
    }
    return hex(cipher(bytes, id, 0));
}

// A line for the box in the standard font's encoding, with PDF string escapes.
std::string shownLine(const std::string& utf8)
{
    std::string out = "(";
    for (QChar c : QString::fromStdString(utf8)) {
        const char16_t u = c.unicode();
        const char b = u < 256 ? static_cast<char>(u) : '?';
        if (b == '(' || b == ')' || b == '\\')
            out += '\\';
        out += b;
    }
    return out + ")";
}

// The box's drawing: white ground, thin black frame, two lines of Helvetica, smaller when long.
std::string appearance(const SignatureLook& look, double w, double h)
{
    double size = look.fontSize;
    for (const std::string& line : look.lines)
        if (!line.empty())
            size = std::min(size, (w - 4) / (0.55 * static_cast<double>(QString::fromStdString(line).size())));
    size = std::max(2.0, std::min(size, (h - 2) / 2.4));
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "q 1 g 0 0 %.2f %.2f re f Q\nq 0 G 0.5 w 0.25 0.25 %.2f %.2f re S Q\nBT /Helv %.2f Tf 0 g %.2f TL 2 %.2f Td ",
                  w, h, w - 0.5, h - 0.5, size, size * 1.2, h / 2 + size * 0.25);
    return buf + shownLine(look.lines[0]) + " Tj T* " + shownLine(look.lines[1]) + " Tj ET\n";
}

// Where the last cross-reference section starts, and whether it is a stream.
std::size_t lastXref(const QByteArray& pdf, bool& isStream)
{
    const qsizetype at = pdf.lastIndexOf("startxref");
    if (at < 0)
        throw printingFailure("it has no cross-reference table (startxref)");
    const std::size_t offset = std::strtoull(pdf.constData() + at + 9, nullptr, 10);
    if (offset == 0 || offset >= static_cast<std::size_t>(pdf.size()))
        throw printingFailure("its cross-reference offset is wrong");
    isStream = !pdf.mid(static_cast<qsizetype>(offset), 4).startsWith("xref");
    return offset;
}

struct Written {
    int id;
    std::size_t offset;
    int gen = 0;
};

// The objects and cross-reference section appended to a document, written in turn.
class Update {
public:
    Update(QPDF& doc, const Cipher& cipher, std::size_t base) : m_doc(doc), m_cipher(cipher), m_base(base)
    {
        m_out.reserve(kSignatureBytes * 2 + 8192);
        m_out += "\n";
        // New objects take numbers after the trailer's count and every number the document's
        // cross-reference sections use (qpdf's own count resolves every object first).
        m_next = static_cast<int>(std::max<long long>(1, doc.getTrailer().getKey("/Size").getIntValue()));
        const std::map<QPDFObjGen, QPDFXRefEntry> xref = doc.getXRefTable();
        if (!xref.empty())
            m_next = std::max(m_next, xref.rbegin()->first.getObj() + 1);
    }

    std::string& text() { return m_out; }

    // A number the document has not used, for a new object.
    int reserve() { return m_next++; }

    void begin(int id)
    {
        m_written.push_back({id, m_base + m_out.size()});
        m_out += std::to_string(id) + " 0 obj\n";
    }

    // `content` as the new version of the document's object `original`.
    void writeAs(QPDFObjectHandle original, QPDFObjectHandle content)
    {
        const int id = original.getObjectID(), gen = original.getGeneration();
        m_written.push_back({id, m_base + m_out.size(), gen});
        m_out += std::to_string(id) + " " + std::to_string(gen) + " obj\n";
        put(m_out, content, m_cipher, id, gen, true);
        m_out += "\nendobj\n";
    }

    // Adds `item` to the array `key` of `owner`: an array object of its own is written anew,
    // otherwise the owner gets a new one (and must be written).
    void addTo(QPDFObjectHandle& owner, const char* key, QPDFObjectHandle item)
    {
        QPDFObjectHandle list = owner.getKey(key);
        std::vector<QPDFObjectHandle> items;
        if (list.isArray())
            items = list.getArrayAsVector();
        items.push_back(item);
        if (list.isArray() && list.isIndirect())
            writeAs(list, QPDFObjectHandle::newArray(items));
        else
            owner.replaceKey(key, QPDFObjectHandle::newArray(items));
    }

    // The page lists the widget among its annotations; the form lists the field and says that
    // the document is signed.
    void link(QPDFObjectHandle page, QPDFObjectHandle field)
    {
        QPDFObjectHandle annots = page.getKey("/Annots");
        QPDFObjectHandle pageCopy = page.shallowCopy();
        addTo(pageCopy, "/Annots", field);
        if (!(annots.isArray() && annots.isIndirect()))
            writeAs(page, pageCopy);
        QPDFObjectHandle root = m_doc.getRoot();
        QPDFObjectHandle acroForm = root.getKey("/AcroForm");
        QPDFObjectHandle form = acroForm.isDictionary() ? acroForm.shallowCopy() : QPDFObjectHandle::newDictionary();
        addTo(form, "/Fields", field);
        form.replaceKey("/SigFlags", QPDFObjectHandle::newInteger(3));
        if (acroForm.isDictionary() && acroForm.isIndirect()) {
            writeAs(acroForm, form);
        } else {
            QPDFObjectHandle rootCopy = root.shallowCopy();
            rootCopy.replaceKey("/AcroForm", form);
            writeAs(root, rootCopy);
        }
    }

    // The cross-reference section of the update, in the kind the document already uses.
    void finish(std::size_t prev, bool asStream)
    {
        QPDFObjectHandle trailer = m_doc.getTrailer();
        int next = m_next;
        for (const Written& w : m_written)
            next = std::max(next, w.id + 1);
        const auto ref = [](const QPDFObjectHandle& o) {
            return std::to_string(o.getObjectID()) + " " + std::to_string(o.getGeneration()) + " R";
        };
        std::string keys = "/Root " + ref(m_doc.getRoot());
        for (const char* key : {"/Info", "/Encrypt"})
            if (QPDFObjectHandle v = trailer.getKey(key); v.isIndirect())
                keys += std::string(" ") + key + " " + ref(v);
        QPDFObjectHandle ids = trailer.getKey("/ID");
        if (ids.isArray() && ids.getArrayNItems() == 2)
            keys += " /ID [" + hex(ids.getArrayItem(0).getStringValue()) + hex(ids.getArrayItem(1).getStringValue()) + "]";
        keys += " /Prev " + std::to_string(prev);
        std::sort(m_written.begin(), m_written.end(), [](const Written& a, const Written& b) { return a.id < b.id; });
        const std::size_t xrefAt = m_base + m_out.size();
        if (asStream) {
            const int xrefId = next++;
            m_written.push_back({xrefId, xrefAt});
            std::string index, rows;
            for (const Written& w : m_written) {
                index += std::to_string(w.id) + " 1 ";
                rows += '\x01';
                for (int shift = 24; shift >= 0; shift -= 8)
                    rows += static_cast<char>((w.offset >> shift) & 0xFF);
                rows += static_cast<char>(w.gen >> 8);
                rows += static_cast<char>(w.gen & 0xFF);
            }
            m_out += std::to_string(xrefId) + " 0 obj\n<</Type /XRef /Size " + std::to_string(next) + " /W [1 4 2] /Index [" +
                     index + "] " + keys + " /Length " + std::to_string(rows.size()) + ">>\nstream\n" + rows +
                     "\nendstream\nendobj\n";
        } else {
            m_out += "xref\n";
            for (const Written& w : m_written) {
                char row[48];
                std::snprintf(row, sizeof row, "%d 1\n%010zu %05d n \n", w.id, w.offset, w.gen);
                m_out += row;
            }
            m_out += "trailer\n<</Size " + std::to_string(next) + " " + keys + ">>\n";
        }
        m_out += "startxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
    }

private:
    QPDF& m_doc;
    const Cipher& m_cipher;
    std::size_t m_base;
    int m_next = 1;
    std::string m_out;
    std::vector<Written> m_written;
};

// Where the placeholders of the signature dictionary are in the update's text.
struct Placeholders {
    std::size_t range = 0, contents = 0;
};

// The update's text: the signature, its field and widget with the box's drawing, the page and
// form that list it, and the cross-reference section.
std::string update(QPDF& doc, std::size_t base, std::size_t prev, bool xrefStream, const SignatureLook& look,
                   Placeholders& at)
{
    const Cipher cipher(doc);
    std::vector<QPDFObjectHandle> pages = doc.getAllPages();
    if (pages.empty())
        throw printingFailure("it has no pages");
    if (look.page < 0 || static_cast<std::size_t>(look.page) >= pages.size())
        throw printingFailure("it has no page " + std::to_string(look.page + 1) + " for the signature");
    QPDFObjectHandle page = pages[static_cast<std::size_t>(look.page)];
    Update u(doc, cipher, base);
    std::string& out = u.text();
    const int sigId = u.reserve(), fieldId = u.reserve(), apId = u.reserve(), fontId = u.reserve();

    // The signature: its byte range and contents filled in once the file is whole.
    u.begin(sigId);
    out += "<</Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached ";
    at.range = out.size();
    out += kRangePlaceholder;
    out += "\n/Contents ";
    at.contents = out.size();
    out += '<' + std::string(kSignatureBytes * 2, '0') + ">\n";
    out += "/M " + pdfString(look.when, cipher, sigId) + " /Name " + pdfString(look.name, cipher, sigId) + " /Reason " +
           pdfString(look.reason, cipher, sigId);
    if (!look.location.empty())
        out += " /Location " + pdfString(look.location, cipher, sigId);
    out += ">>\nendobj\n";

    // The field and its widget in one, on the page, named after the fields already there.
    QPDFObjectHandle fields = doc.getRoot().getKey("/AcroForm");
    fields = fields.isDictionary() ? fields.getKey("/Fields") : QPDFObjectHandle::newNull();
    const int fieldCount = fields.isArray() ? fields.getArrayNItems() : 0;
    const QPDFObjectHandle::Rectangle media = QPDFPageObjectHelper(page).getCropBox(false, false).getArrayAsRectangle();
    const double pw = media.urx - media.llx, ph = media.ury - media.lly;
    double x = 0, y = 0, w = 0, h = 0;
    if (!look.box.isEmpty()) {
        x = media.llx + look.box.x() * pw;
        w = look.box.width() * pw;
        h = look.box.height() * ph;
        y = media.ury - look.box.y() * ph - h;
    }
    char rect[160];
    std::snprintf(rect, sizeof rect, "[%.2f %.2f %.2f %.2f]", x, y, x + w, y + h);
    u.begin(fieldId);
    out += "<</Type /Annot /Subtype /Widget /FT /Sig /F 4 /T " +
           pdfString("Signature" + std::to_string(fieldCount + 1), cipher, fieldId) + " /V " + std::to_string(sigId) +
           " 0 R /Rect " + rect + " /P " + std::to_string(page.getObjectID()) + " " + std::to_string(page.getGeneration()) +
           " R /AP <</N " + std::to_string(apId) + " 0 R>>>>\nendobj\n";

    // Its look, and the font it is drawn in.
    const std::string drawing = cipher(look.box.isEmpty() ? std::string() : appearance(look, w, h), apId, 0);
    char bbox[96];
    std::snprintf(bbox, sizeof bbox, "[0 0 %.2f %.2f]", w, h);
    u.begin(apId);
    out += "<</Type /XObject /Subtype /Form /BBox " + std::string(bbox) + " /Resources <</Font <</Helv " +
           std::to_string(fontId) + " 0 R>>>> /Length " + std::to_string(drawing.size()) + ">>\nstream\n" + drawing +
           "\nendstream\nendobj\n";
    u.begin(fontId);
    out += "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding>>\nendobj\n";

    // The field is an object of the update, which the document qpdf read does not hold: a
    // reference to it as an operator, whose text qpdf writes as it stands.
    u.link(page, QPDFObjectHandle::newOperator(std::to_string(fieldId) + " 0 R"));
    u.finish(prev, xrefStream);
    return out;
}

} // namespace

QByteArray appendSignature(const QByteArray& pdf, const SignatureLook& look, const PdfOpening& opening,
                           const std::function<QByteArray(std::string_view before, std::string_view after)>& cms)
{
    bool xrefStream = false;
    const std::size_t prev = lastXref(pdf, xrefStream);
    const std::size_t base = static_cast<std::size_t>(pdf.size());
    Placeholders at;
    std::string out;
    try {
        QPDF doc;
        doc.setSuppressWarnings(true);
        doc.setAttemptRecovery(false);
        std::string key;
        if (!opening.fileKey.empty()) {
            doc.setPasswordIsHexKey(true);
            key = QByteArray(opening.fileKey.data(), static_cast<qsizetype>(opening.fileKey.size())).toHex().toStdString();
        }
        doc.processMemoryFile("signed document", pdf.constData(), base, key.empty() ? opening.password.c_str() : key.c_str());
        out = update(doc, base, prev, xrefStream, look, at);
    } catch (const core::Failure&) {
        throw;
    } catch (const std::exception& e) {
        throw printingFailure(e.what());
    }

    QByteArray whole;
    whole.reserve(pdf.size() + static_cast<qsizetype>(out.size()));
    whole.append(pdf.constData(), pdf.size());
    whole.append(out.data(), static_cast<qsizetype>(out.size()));
    const std::size_t gapFrom = base + at.contents, gapTo = gapFrom + kSignatureBytes * 2 + 2;
    char range[sizeof kRangePlaceholder];
    const int n = std::snprintf(range, sizeof range, "/ByteRange [0 %zu %zu %zu]", gapFrom, gapTo,
                                static_cast<std::size_t>(whole.size()) - gapTo);
    std::memset(range + n, ' ', sizeof range - 1 - static_cast<std::size_t>(n));
    std::memcpy(whole.data() + base + at.range, range, sizeof range - 1);
    const std::string_view all(whole.constData(), static_cast<std::size_t>(whole.size()));
    const QByteArray signature = cms(all.substr(0, gapFrom), all.substr(gapTo)).toHex().toUpper();
    if (signature.size() > kSignatureBytes * 2)
        throw printingFailure("the signature is larger than the room kept for it");
    std::memcpy(whole.data() + gapFrom + 1, signature.constData(), static_cast<std::size_t>(signature.size()));
    return whole;
}

} // namespace cw::printing
