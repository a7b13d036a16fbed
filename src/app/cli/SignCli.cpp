#include "app/cli/SignCli.h"

#include "core/PathText.h"
#include "portal/CertificateText.h"
#include "printing/PdfSigner.h"
#include "printing/PdfTools.h"
#include "printing/PendingFile.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <optional>
#include <ostream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace cw::app {

namespace {

// --sign-box PAGE:X,Y,W,H: a 1-based page and a box in points from its lower left.
struct SignBox {
    int page = 0;
    double x = 0, y = 0, w = 0, h = 0;
};

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

QByteArray readAll(const fs::path& file)
{
    QFile in(QString::fromStdString(core::pathText(file)));
    if (!in.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot be read (" + in.errorString().toStdString() + ")");
    return in.readAll();
}

// Where the visible signature goes: over the caption of the signature on the last page, else the
// box asked for; refused without either.
printing::SignaturePlace placeFor(const portal::CertificateFields& fields, const std::optional<SignBox>& asked)
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
        throw std::runtime_error("its last page has no \"Signature of person responsible for deduction of tax\" to put the "
                                 "signature over; give its place with --sign-box PAGE:X,Y,W,H");
    if (static_cast<std::size_t>(asked->page) > fields.pageSizes.size())
        throw std::runtime_error("it has no page " + std::to_string(asked->page) + " for --sign-box");
    const QSizeF size = fields.pageSizes[static_cast<std::size_t>(asked->page - 1)];
    place.page = asked->page - 1;
    place.box = QRectF(asked->x / size.width(), (size.height() - asked->y - asked->h) / size.height(), asked->w / size.width(),
                       asked->h / size.height());
    place.fontSize = std::clamp(asked->h / 3, 4.0, 9.0);
    return place;
}

// One certificate PDF signed into `target`; throws with the reason it is refused.
void signOne(const fs::path& file, const fs::path& target, const printing::PdfSigner& signer, const SignCommand& command,
             const std::optional<SignBox>& box, const std::string& inputPassword, std::ostream& out)
{
    portal::CertificateRead read = portal::readCertificatePdf(file, inputPassword);
    if (auto* refused = std::get_if<core::Failure>(&read))
        throw *refused;
    const portal::CertificateFields& fields = std::get<portal::CertificateFields>(read);
    const printing::SignaturePlace place = placeFor(fields, box);
    QByteArray pdf = readAll(file);
    std::string openWith = fields.encrypted ? inputPassword : std::string();
    if (command.protect) {
        if (fields.pan.rfind("PAN", 0) == 0)
            throw std::runtime_error("its deductee has no PAN (" + fields.pan + ") to protect the file with");
        // Protecting rewrites the whole file, which would void the signature it carries.
        if (fields.alreadySigned)
            throw std::runtime_error("it is signed already, and protecting it would void that signature; sign it without "
                                     "--protect");
        if (fields.encrypted)
            pdf = printing::decryptPdf(pdf, inputPassword);
        pdf = printing::protectPdf(pdf, fields.pan);
        openWith = fields.pan;
    }
    const QByteArray signedPdf = signer.sign(pdf, place, openWith);
    printing::PendingFile written(target);
    written.write({signedPdf.constData(), static_cast<std::size_t>(signedPdf.size())});
    written.commit();
    out << core::pathText(target) << ": PAN " << fields.pan;
    for (const auto& [label, value] : {std::pair{"Certificate No.", &fields.certificateNo}, {"assessment year", &fields.assessmentYear},
                                       {"quarter", &fields.quarter}, {"TAN", &fields.tan}})
        if (!value->empty())
            out << ", " << label << " " << *value;
    out << "\n";
}

bool isPdfName(const fs::path& p)
{
    std::string ext = core::pathText(p.extension());
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".pdf";
}

} // namespace

int runSign(const SignCommand& command, std::ostream& out, std::ostream& err)
{
    std::error_code ec;
    if (!fs::is_directory(command.pdfs, ec)) {
        err << "certwright sign: there is no folder " << core::pathText(command.pdfs) << "\n";
        return 2;
    }
    const std::optional<SignBox> box = command.signBox.empty() ? std::nullopt : parseSignBox(command.signBox);
    if (!command.signBox.empty() && !box) {
        err << "certwright sign: --sign-box \"" << command.signBox
            << "\" is not PAGE:X,Y,W,H (a page from 1, a box in points from its lower left, e.g. 1:380,60,180,40)\n";
        return 2;
    }
    std::vector<fs::path> files;
    for (const fs::directory_entry& e : fs::directory_iterator(command.pdfs, ec))
        if (e.is_regular_file(ec) && isPdfName(e.path()))
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        err << "certwright sign: no PDF files in " << core::pathText(command.pdfs) << "\n";
        return 2;
    }
    const fs::path outFolder = command.out.empty() ? command.pdfs / "Signed" : command.out;
    std::unique_ptr<printing::PdfSigner> signer;
    std::string inputPassword;
    try {
        if (command.key.pkcs12.empty() && command.key.nickname.empty())
            throw std::runtime_error("give the signing key with --sign FILE.p12 or --sign-cert NICKNAME");
        if (!command.inputPasswordFile.empty())
            inputPassword = readFirstLine(command.inputPasswordFile);
        fs::create_directories(outFolder, ec);
        if (!fs::is_directory(outFolder, ec))
            throw std::runtime_error("the folder " + core::pathText(outFolder) + " cannot be made");
        signer = makeSigner(command.key, err);
    } catch (const std::exception& e) {
        err << "certwright sign: " << e.what() << "\n";
        return 2;
    }
    portal::quietPdfLibrary();
    // Files are independent: a thread per core, each file's lines told in the folder's order.
    struct Told {
        std::string out, err;
    };
    std::vector<Told> told(files.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++) {
            const fs::path& file = files[i];
            const fs::path target = outFolder / file.filename();
            std::ostringstream lines;
            try {
                std::error_code same;
                if (fs::equivalent(file, target, same))
                    throw std::runtime_error("the output folder is its own folder; give another with --out");
                signOne(file, target, *signer, command, box, inputPassword, lines);
                told[i].out = lines.str();
            } catch (const core::Failure& f) {
                // The reader's refusals name the file already; the signer's do not.
                const std::string& prompt = f.message().prompt;
                told[i].err = (prompt.rfind(core::pathText(file) + ":", 0) == 0 ? "" : core::pathText(file) + ": ") + prompt + "\n";
            } catch (const std::exception& e) {
                told[i].err = core::pathText(file) + ": " + e.what() + "\n";
            }
        }
    };
    const unsigned threads = std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, 8);
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < std::min<std::size_t>(threads, files.size()); ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
    std::size_t refused = 0;
    for (const Told& t : told) {
        out << t.out;
        err << t.err;
        refused += t.err.empty() ? 0 : 1;
    }
    out << files.size() - refused << " of " << files.size() << " PDF file(s) signed into " << core::pathText(outFolder) << "\n";
    if (refused)
        err << refused << " PDF file(s) refused; the others were signed\n";
    return refused ? 1 : 0;
}

} // namespace cw::app
