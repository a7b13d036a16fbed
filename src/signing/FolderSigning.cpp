#include "signing/FolderSigning.h"

#include "core/ParallelRun.h"
#include "core/PathText.h"
#include "printing/PdfSigner.h"
#include "printing/PdfTools.h"
#include "printing/PendingFile.h"
#include "printing/PrintingFailure.h"

#include <QFile>

#include <algorithm>
#include <regex>

namespace fs = std::filesystem;

namespace cw::signing {

namespace {

QByteArray readAll(const fs::path& file)
{
    QFile in(QString::fromStdString(core::pathText(file)));
    if (!in.open(QIODevice::ReadOnly))
        throw printing::printingFailure("cannot be read (" + in.errorString().toStdString() + ")");
    return in.readAll();
}

// Where the visible signature goes: over the caption of the signature on the last page, else the
// box asked for; refused without either.
printing::SignaturePlace placeFor(const CertificateFields& fields, const std::optional<SignBox>& asked, const std::string& hint)
{
    printing::SignaturePlace place;
    if (!fields.signatureBox.isEmpty() && !fields.pageSizes.empty()) {
        const QSizeF size = fields.pageSizes.back();
        const QRectF& b = fields.signatureBox;
        place.page = static_cast<int>(fields.pageSizes.size()) - 1;
        place.box = QRectF(b.x() / size.width(), b.y() / size.height(), b.width() / size.width(), b.height() / size.height());
        place.fontSize = std::clamp(b.height() / 3, 5.0, 9.0);
        return place;
    }
    if (!asked)
        throw printing::printingFailure("its last page has no \"Signature of person responsible for deduction of tax\" to put the "
                                 "signature over; " + hint);
    if (static_cast<std::size_t>(asked->page) > fields.pageSizes.size())
        throw printing::printingFailure("it has no page " + std::to_string(asked->page) + " for --sign-box");
    const QSizeF size = fields.pageSizes[static_cast<std::size_t>(asked->page - 1)];
    place.page = asked->page - 1;
    place.box = QRectF(asked->x / size.width(), (size.height() - asked->y - asked->h) / size.height(), asked->w / size.width(),
                       asked->h / size.height());
    place.fontSize = std::clamp(asked->h / 3, 4.0, 9.0);
    return place;
}

bool isPdfName(const fs::path& p)
{
    std::string ext = core::pathText(p.extension());
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".pdf";
}

} // namespace

std::optional<SignBox> parseSignBox(const std::string& text)
{
    static const std::regex form(R"(^\s*(\d+)\s*:\s*([0-9.]+)\s*,\s*([0-9.]+)\s*,\s*([0-9.]+)\s*,\s*([0-9.]+)\s*$)");
    std::smatch m;
    if (!std::regex_match(text, m, form))
        return std::nullopt;
    try {
        SignBox box{std::stoi(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4]), std::stod(m[5])};
        if (box.page < 1 || box.w <= 0 || box.h <= 0)
            return std::nullopt;
        return box;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

namespace {

// A file read and checked, ready to be written: its fields, its bytes (decrypted when it is to be
// protected) and where its signature goes. What refuses a file refuses it before any hashing.
struct ReadPdf {
    CertificateFields fields;
    QByteArray pdf;
    std::optional<printing::SignaturePlace> place;
};

ReadPdf readChecked(const fs::path& file, const PdfPreparation& how)
{
    QByteArray pdf = readAll(file);
    CertificateRead read = portal::readCertificatePdf(pdf, core::pathText(file), how.inputPassword);
    if (auto* refused = std::get_if<core::Failure>(&read))
        throw *refused;
    ReadPdf r{std::get<CertificateFields>(std::move(read)), std::move(pdf), std::nullopt};
    if (how.protect) {
        if (r.fields.pan.rfind("PAN", 0) == 0)
            throw printing::printingFailure("its deductee has no PAN (" + r.fields.pan + ") to protect the file with");
        // Protecting rewrites the whole file, which would void the signature it carries.
        if (r.fields.alreadySigned)
            throw printing::printingFailure("it is signed already, and protecting it would void that signature; sign it without "
                                     "--protect");
        if (r.fields.encrypted)
            r.pdf = printing::decryptPdf(r.pdf, how.inputPassword);
    }
    if (how.signer)
        r.place = placeFor(r.fields, how.box, how.noPlaceHint);
    return r;
}

// `r` protected with `keys` (made for its PAN) when asked, signed when asked, written to `target`.
void writePrepared(ReadPdf& r, const fs::path& target, const PdfPreparation& how, const printing::Aes256Keys* keys)
{
    if (how.protect) {
        printing::ProtectedPdf locked = printing::protectPdf(r.pdf, *keys);
        r.pdf = how.signer ? how.signer->sign(locked, *r.place) : std::move(locked.bytes);
    } else if (how.signer) {
        r.pdf = how.signer->sign(r.pdf, *r.place, r.fields.encrypted ? how.inputPassword : std::string());
    }
    printing::PendingFile written(target, host::AtALink::Replace); // a link at the name is not followed
    written.write({r.pdf.constData(), static_cast<std::size_t>(r.pdf.size())});
    written.commit();
}

// Why `file` was not written: the reader's refusals name the file already; the signer's do not.
std::string refusalOf(const fs::path& file, const std::exception& e)
{
    const std::string name = core::pathText(file), prompt = e.what();
    return (prompt.rfind(name + ":", 0) == 0 ? "" : name + ": ") + prompt;
}

// Files [from, to) into `outFolder`: each read and checked, then the protection keys of all
// those that passed made in one call, then each written.
void prepareBatch(const std::vector<fs::path>& files, const fs::path& outFolder, const PdfPreparation& how, std::size_t from,
                  std::size_t to, std::vector<SignedFile>& done, core::ParallelRun& run)
{
    std::vector<std::optional<ReadPdf>> ready(to - from);
    std::vector<std::string> pans;
    for (std::size_t i = from; i < to; ++i) {
        SignedFile& d = done[i];
        d.file = files[i];
        d.target = outFolder / files[i].filename();
        try {
            std::error_code same;
            if (fs::equivalent(d.file, d.target, same))
                throw printing::printingFailure("the output folder is its own folder; choose another (--out)");
            ready[i - from] = readChecked(d.file, how);
            if (how.protect)
                pans.push_back(ready[i - from]->fields.pan);
        } catch (const std::exception& e) {
            d.refusal = refusalOf(d.file, e);
            run.finish(i);
        }
    }
    std::vector<printing::Aes256Keys> keys;
    try {
        if (how.protect)
            keys = printing::protectionKeys(pans);
    } catch (const std::exception& e) {
        for (std::size_t i = from; i < to; ++i)
            if (ready[i - from]) {
                done[i].refusal = refusalOf(files[i], e);
                run.finish(i);
            }
        return;
    }
    std::size_t nextKey = 0;
    for (std::size_t i = from; i < to; ++i) {
        if (!ready[i - from])
            continue;
        try {
            writePrepared(*ready[i - from], done[i].target, how, how.protect ? &keys[nextKey++] : nullptr);
            done[i].fields = fieldsText(ready[i - from]->fields);
        } catch (const std::exception& e) {
            done[i].refusal = refusalOf(files[i], e);
        }
        ready[i - from].reset();
        run.finish(i);
    }
}

} // namespace

std::string fieldsText(const CertificateFields& fields)
{
    std::string s = "PAN " + fields.pan;
    for (const auto& [label, value] : {std::pair{"Certificate No.", &fields.certificateNo}, {"assessment year", &fields.assessmentYear},
                                       {"quarter", &fields.quarter}, {"TAN", &fields.tan}})
        if (!value->empty())
            s += std::string(", ") + label + " " + *value;
    return s;
}

std::vector<fs::path> pdfFilesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file(ec) && isPdfName(e.path()))
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<SignedFile> signFiles(const std::vector<fs::path>& files, const fs::path& outFolder, const PdfPreparation& how,
                                  const std::function<void(const SignedFile&)>& each)
{
    const portal::PdfLibrarySession pdfLibrary; // the readers of every thread share its tables
    std::vector<SignedFile> done(files.size());
    core::ParallelRun run(files.size(), core::workersForThisMachine(8));
    // Protected files go in batches, whose password hashes share the processor, small enough
    // that every thread gets several.
    const std::size_t batch = how.protect ? std::clamp<std::size_t>(files.size() / (2 * run.workers()), 1, 16) : 1;
    run.run(
        [&](unsigned) {
            for (auto [from, to] = run.take(batch); from < to; std::tie(from, to) = run.take(batch))
                prepareBatch(files, outFolder, how, from, to, done, run);
        },
        [&, told = std::size_t{0}](std::size_t finished) mutable {
            for (; each && told < finished; ++told)
                each(done[told]);
            return true;
        });
    return done;
}

} // namespace cw::signing
