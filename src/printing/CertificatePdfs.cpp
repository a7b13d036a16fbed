#include "printing/CertificatePdfs.h"

#include "core/ParallelRun.h"
#include "core/PathText.h"
#include "host/Error.h"
#include "host/SafeWrite.h"
#include "host/Sheet.h"
#include "host/Workbook.h"
#include "printing/NumberFormat.h"
#include "printing/PdfSigner.h"
#include "printing/PdfTools.h"
#include "printing/PendingFile.h"
#include "printing/PrintingFailure.h"
#include "printing/SheetPages.h"
#include "printing/WorkbookPrinter.h"

#include <QFontDatabase>

#include <algorithm>
#include <optional>
#include <tuple>

namespace fs = std::filesystem;

namespace cw::printing {

namespace {

constexpr const char* kSignatureCaption = "Signature of the person responsible for deduction of tax";

// The certificate page is the workbook's first visible worksheet.
const host::Sheet* certificatePage(const host::Workbook& book)
{
    for (int s = 0; s < book.sheetCount(); ++s)
        if (book.sheet(s).kind() == host::SheetKind::Worksheet && book.sheet(s).visibility() == host::Visibility::Visible)
            return &book.sheet(s);
    return nullptr;
}

std::string shownText(const host::Workbook& book, const host::Sheet& sheet, const char* a1)
{
    const host::CellRef at = host::cellRefOrThrow(a1);
    const std::optional<host::Cell> cell = sheet.cell(at.row, at.col);
    return cell ? cellText(book, *cell).text : std::string();
}

// The deductee's PAN as the certificate prints it (I16), in capitals; empty when there is none.
std::string printedPan(const host::Workbook& book)
{
    const host::Sheet* page = certificatePage(book);
    std::string pan = page ? shownText(book, *page, "I16") : std::string();
    pan.erase(std::remove_if(pan.begin(), pan.end(), [](unsigned char c) { return std::isspace(c); }), pan.end());
    std::transform(pan.begin(), pan.end(), pan.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return pan;
}

// Where the signature goes: the row above the signature caption, as wide as the caption, on
// the first page; the place of issue (C47) as its location.
SignaturePlace signaturePlace(const host::Workbook& book)
{
    SignaturePlace place;
    const host::Sheet* page = certificatePage(book);
    if (!page)
        return place;
    place.location = shownText(book, *page, "C47");
    for (int row = 1; row < page->rowCount(); ++row) {
        for (int col = 0; col < page->rowWidth(row); ++col) {
            const std::optional<host::Cell> cell = page->cell(row, col);
            if (!cell || cellText(book, *cell).text != kSignatureCaption)
                continue;
            host::Range caption{row, col, row, col};
            for (const host::Range& m : page->mergedRanges())
                if (m.contains(row, col))
                    caption = m;
            const SheetPages pages(book, *page);
            const QRectF box = pages.rangeOnPage(0, {row - 1, caption.firstCol, row - 1, caption.lastCol});
            const QSizeF paper = pages.pageLayout().fullRect(QPageLayout::Point).size();
            if (box.isEmpty() || paper.isEmpty())
                return place;
            place.box = QRectF(box.x() / paper.width(), box.y() / paper.height(), box.width() / paper.width(),
                               box.height() / paper.height());
            place.fontSize = std::clamp(box.height() / 2.6, 4.0, 8.0);
            return place;
        }
    }
    return place;
}

// A certificate's workbook, or the reason it cannot be used.
std::optional<host::Workbook> openCertificate(const fs::path& folder, const std::string& name, std::string& reason)
{
    if (!isCertificateName(name)) {
        reason = "is not a certificate name";
        return std::nullopt;
    }
    const fs::path source = certificatePath(folder, name);
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) {
        reason = "there is no file " + core::pathText(source.filename());
        return std::nullopt;
    }
    try {
        return host::Workbook::open(source);
    } catch (const host::Error& e) {
        reason = e.message();
    } catch (const std::exception& e) {
        reason = e.what();
    }
    return std::nullopt;
}

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

struct Outcome {
    bool finished = false;
    bool done = false;
    int pages = 0;
    std::string reason;
    std::vector<std::string> notes; // what its pages left out
};

// The PDFs' parallel run: each certificate's outcome, progress told in order, cancelled when
// the progress says so.
class OrderedRun {
public:
    OrderedRun(std::size_t count, const PdfRunOptions& options)
        : m_outcomes(count), m_options(options), m_run(count, options.threads ? options.threads : core::workersForThisMachine(64))
    {
    }

    std::vector<Outcome>& outcomes() { return m_outcomes; }
    bool cancelled() const { return m_run.cancelled(); }
    unsigned threads() const { return m_run.workers(); }
    std::pair<std::size_t, std::size_t> take(std::size_t n) { return m_run.take(n); }

    void finish(std::size_t i, Outcome outcome)
    {
        outcome.finished = true;
        m_outcomes[i] = std::move(outcome);
        m_run.finish(i);
    }

    void run(const std::function<void(unsigned worker)>& worker)
    {
        m_run.run(worker, [this](std::size_t done) {
            return !m_options.progress || m_options.progress(done, m_outcomes.size());
        });
    }

private:
    std::vector<Outcome> m_outcomes;
    const PdfRunOptions& m_options;
    core::ParallelRun m_run;
};

Outcome failed(std::string reason)
{
    Outcome o;
    o.reason = std::move(reason);
    return o;
}

// A certificate laid out in a document of several, with what its file needs later.
struct LaidOut {
    std::size_t index;
    PdfPart part;
    std::string pan;      // the open password when protected
    SignaturePlace place; // where a signature goes
    std::vector<std::string> notes;

    Outcome outcome() const
    {
        Outcome o;
        o.done = true;
        o.pages = part.pages;
        o.notes = notes;
        return o;
    }
};

// Opens certificate `i` and adds its pages to `writer`. One that can't be read or laid out is
// skipped with its reason; pages a failed layout leaves behind belong to no certificate.
std::optional<LaidOut> layOut(PdfBytesWriter& writer, const fs::path& folder, const std::vector<std::string>& names,
                              std::size_t i, const PdfRunOptions& options, OrderedRun& run)
{
    std::string reason;
    std::optional<host::Workbook> book = openCertificate(folder, names[i], reason);
    try {
        if (!book)
            throw printingFailure(reason);
        LaidOut laid{i, {writer.pageCount(), 0, "Form 16A " + names[i], {}}, {}, {}, {}};
        if (options.protect && (laid.pan = printedPan(*book)).empty())
            throw printingFailure("the certificate has no PAN in I16 to protect it with");
        if (options.signer)
            laid.place = signaturePlace(*book);
        laid.part.pages = writer.add(*book);
        laid.notes = writer.notes();
        return laid;
    } catch (const std::exception& e) {
        run.finish(i, failed(e.what()));
    }
    return std::nullopt;
}

// Its own PDF file, signed as asked (it was protected when the batch was split).
void writeOne(ProtectedPdf pdf, const LaidOut& laid, const fs::path& target, const PdfRunOptions& options)
{
    // A link among the certificates was not made by us: the user's file it points at is kept.
    PendingFile file(target, host::AtALink::Replace);
    if (options.signer)
        pdf.bytes = options.protect ? options.signer->sign(pdf, laid.place) : options.signer->sign(pdf.bytes, laid.place);
    file.write(view(pdf.bytes));
    file.commit();
}

// Separate files for certificates [from, to): laid out one after another in one document, which
// is then split into their files. The PDF writer embeds its fonts once per document, at about
// the cost of laying out a certificate; a batch pays it once.
void writeBatch(const fs::path& folder, const std::vector<std::string>& names, std::size_t from, std::size_t to,
                const PdfRunOptions& options, OrderedRun& run)
{
    PdfBytesWriter writer;
    std::vector<LaidOut> batch;
    for (std::size_t i = from; i < to && !run.cancelled(); ++i) {
        std::optional<LaidOut> laid = layOut(writer, folder, names, i, options, run);
        if (laid && laid->part.pages == 0)
            run.finish(i, failed("the workbook has nothing to print"));
        else if (laid)
            batch.push_back(std::move(*laid));
    }
    if (batch.empty())
        return;
    std::vector<ProtectedPdf> files;
    try {
        std::vector<PdfPart> parts;
        for (const LaidOut& laid : batch) {
            parts.push_back(laid.part);
            if (options.protect)
                parts.back().openPassword = laid.pan;
        }
        files = splitPdf(writer.finish(), parts);
    } catch (const std::exception& e) {
        for (const LaidOut& laid : batch)
            run.finish(laid.index, failed(e.what()));
        return;
    }
    for (std::size_t k = 0; k < batch.size(); ++k) {
        const LaidOut& laid = batch[k];
        try {
            const fs::path into = options.targetFolder.empty() ? folder : options.targetFolder;
            writeOne(std::move(files[k]), laid, into / core::pathFromText(names[laid.index] + ".pdf"), options);
            run.finish(laid.index, laid.outcome());
        } catch (const std::exception& e) {
            run.finish(laid.index, failed(e.what()));
        }
    }
}

// Batches small enough that every thread gets several, so that none waits long for the last.
void writeSeparate(const fs::path& folder, const std::vector<std::string>& names, const PdfRunOptions& options,
                   OrderedRun& run)
{
    const std::size_t batchSize = std::clamp<std::size_t>(names.size() / (2 * run.threads()), 1, 16);
    run.run([&](unsigned) {
        for (auto [from, to] = run.take(batchSize); from < to; std::tie(from, to) = run.take(batchSize))
            writeBatch(folder, names, from, to, options, run);
    });
}

// The merged file: each thread lays out a run of consecutive certificates into one document;
// the documents are joined in order, then protected or signed as a whole.
void writeMerged(const fs::path& folder, const std::vector<std::string>& names, const PdfRunOptions& options,
                 OrderedRun& run, PdfRunResult& result)
{
    const unsigned threads = run.threads();
    std::vector<QByteArray> parts(threads);
    std::optional<SignaturePlace> firstPlace; // the first thread's first certificate with pages
    run.run([&](unsigned t) {
        const std::size_t from = names.size() * t / threads, to = names.size() * (t + 1) / threads;
        PdfBytesWriter writer("Form 16A certificates");
        for (std::size_t i = from; i < to && !run.cancelled(); ++i) {
            std::optional<LaidOut> laid = layOut(writer, folder, names, i, options, run);
            if (!laid)
                continue;
            if (t == 0 && laid->part.pages > 0 && !firstPlace)
                firstPlace = laid->place;
            run.finish(i, laid->outcome());
        }
        if (writer.pageCount() > 0)
            parts[t] = writer.finish();
    });
    if (run.cancelled())
        return;
    parts.erase(std::remove_if(parts.begin(), parts.end(), [](const QByteArray& p) { return p.isEmpty(); }), parts.end());
    if (parts.empty())
        return;
    QByteArray pdf = parts.size() == 1 ? parts.front() : mergePdfs(parts);
    PendingFile file(options.mergedFile);
    // The signature shows in the first certificate's box; a first thread that had nothing to
    // lay out leaves it without a visible place.
    if (options.signer)
        pdf = options.signer->sign(pdf, firstPlace.value_or(SignaturePlace{}));
    file.write(view(pdf));
    file.commit();
    result.files.push_back(options.mergedFile);
}

} // namespace

PdfRunResult writeCertificatePdfs(const fs::path& outputFolder, std::vector<std::string> names,
                                  const PdfRunOptions& options)
{
    if (std::optional<std::string> refusal = linkedFolderRefusal(outputFolder))
        throw printingFailure(*refusal);
    // Callers hold the folder's lock: a temporary file there is one a killed run left.
    host::removeTemporaryFiles(outputFolder);
    if (names.empty())
        names = printListNames(outputFolder);
    PdfRunResult result;
    if (names.empty())
        return result;
    if (options.protect && !options.mergedFile.empty())
        throw printingFailure("a merged file holds several deductees' certificates: it cannot be protected with one PAN");
    // The target folder must take new files before any work starts.
    std::error_code ec;
    if (!options.mergedFile.empty() && fs::is_directory(options.mergedFile, ec))
        throw printingFailure(core::pathText(options.mergedFile) + ": cannot be written (a folder has that name)");
    const fs::path into = options.targetFolder.empty() ? outputFolder : options.targetFolder;
    if (options.mergedFile.empty()) {
        try {
            PendingFile probe(into / "certificate.pdf");
        } catch (const PendingFileError& e) {
            std::error_code ec;
            throw printingFailure("the folder " + core::pathText(into) + " cannot take new files (" +
                                     (fs::is_directory(into, ec) ? e.reason : "it does not exist") + ")");
        }
    } else {
        PendingFile probe(options.mergedFile);
    }

    // Fonts are looked up once here rather than by every thread at its first page.
    QFontDatabase::families();
    OrderedRun run(names.size(), options);
    if (!options.mergedFile.empty())
        writeMerged(outputFolder, names, options, run, result);
    else
        writeSeparate(outputFolder, names, options, run);
    result.cancelled = run.cancelled();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Outcome& o = run.outcomes()[i];
        if (!o.finished)
            continue;
        if (o.done) {
            result.done.push_back(names[i]);
            result.pages += o.pages;
            for (const std::string& note : o.notes)
                addNote(result.notes, note);
            if (options.mergedFile.empty())
                result.files.push_back(into / core::pathFromText(names[i] + ".pdf"));
        } else {
            result.skipped.push_back({names[i], o.reason});
        }
    }
    return result;
}

} // namespace cw::printing
