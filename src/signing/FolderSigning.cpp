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

CertificateFields preparePdf(const fs::path& file, const fs::path& target, const PdfPreparation& how)
{
    CertificateRead read = portal::readCertificatePdf(file, how.inputPassword);
    if (auto* refused = std::get_if<core::Failure>(&read))
        throw *refused;
    const CertificateFields& fields = std::get<CertificateFields>(read);
    QByteArray pdf = readAll(file);
    const std::string openWith = fields.encrypted ? how.inputPassword : std::string();
    if (how.protect) {
        if (fields.pan.rfind("PAN", 0) == 0)
            throw printing::printingFailure("its deductee has no PAN (" + fields.pan + ") to protect the file with");
        // Protecting rewrites the whole file, which would void the signature it carries.
        if (fields.alreadySigned)
            throw printing::printingFailure("it is signed already, and protecting it would void that signature; sign it without "
                                     "--protect");
        if (fields.encrypted)
            pdf = printing::decryptPdf(pdf, how.inputPassword);
        printing::ProtectedPdf locked = printing::protectPdf(pdf, fields.pan);
        pdf = how.signer ? how.signer->sign(locked, placeFor(fields, how.box, how.noPlaceHint)) : std::move(locked.bytes);
    } else if (how.signer) {
        pdf = how.signer->sign(pdf, placeFor(fields, how.box, how.noPlaceHint), openWith);
    }
    printing::PendingFile written(target, host::AtALink::Replace); // a link at the name is not followed
    written.write({pdf.constData(), static_cast<std::size_t>(pdf.size())});
    written.commit();
    return fields;
}

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
    run.forEach(
        1,
        [&](std::size_t i, unsigned) {
            SignedFile& d = done[i];
            d.file = files[i];
            d.target = outFolder / files[i].filename();
            const std::string name = core::pathText(d.file);
            try {
                std::error_code same;
                if (fs::equivalent(d.file, d.target, same))
                    throw printing::printingFailure("the output folder is its own folder; choose another (--out)");
                d.fields = fieldsText(preparePdf(d.file, d.target, how));
            } catch (const std::exception& e) {
                // The reader's refusals name the file already; the signer's do not.
                const std::string prompt = e.what();
                d.refusal = (prompt.rfind(name + ":", 0) == 0 ? "" : name + ": ") + prompt;
            }
        },
        [&, told = std::size_t{0}](std::size_t finished) mutable {
            for (; each && told < finished; ++told)
                each(done[told]);
            return true;
        });
    return done;
}

} // namespace cw::signing
