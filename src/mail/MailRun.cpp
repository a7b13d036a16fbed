#include "mail/MailRun.h"

#include "core/AppFiles.h"
#include "core/CertificateLayout.h"
#include "core/Failure.h"
#include "core/PathText.h"
#include "mail/SendLog.h"
#include "host/Sheet.h"
#include "host/Workbook.h"
#include "signing/FolderSigning.h"
#include "printing/CertificatePdfs.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <chrono>
#include <optional>
#include <ostream>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace cw::mail {

namespace {

// Deductees whose PDFs are made at a time: the temporary files stay few whatever the run's size.
constexpr std::size_t kChunk = 64;

std::string replaceAll(std::string text, const std::string& field, const std::string& value)
{
    for (std::size_t at = text.find(field); at != std::string::npos; at = text.find(field, at + value.size()))
        text.replace(at, field.size(), value);
    return text;
}

// Made elsewhere and neither signed nor protected: sent as they are.
bool asTheyAre(const MailOptions& options)
{
    return !options.pdfFolder.empty() && !options.signer && !options.protect;
}

// The PDF a certificate goes as: ours made into `pdfs`, one made elsewhere prepared there or its own file.
fs::path attachedFile(const Certificate& c, const MailOptions& options, const fs::path& pdfs)
{
    if (options.pdfFolder.empty())
        return pdfs / core::pathFromText(c.file + ".pdf");
    return asTheyAre(options) ? c.source : pdfs / core::pathFromText(c.file);
}

// The PDFs of `certificates` made into `pdfs`; the reason for each that could not be, by file.
std::map<std::string, std::string> makePdfs(const std::vector<const Certificate*>& certificates, const MailOptions& options,
                                            const fs::path& pdfs)
{
    std::map<std::string, std::string> unmade;
    if (!options.pdfFolder.empty()) {
        if (asTheyAre(options))
            return unmade;
        const signing::PdfPreparation how{options.signer, options.protect, std::nullopt, options.inputPassword,
                                         "sign it first with certwright sign --sign-box and send that folder unsigned"};
        // Prepared as `certwright sign` prepares a folder, under their own names (c.file).
        std::vector<fs::path> sources;
        for (const Certificate* c : certificates)
            sources.push_back(c->source);
        for (const signing::SignedFile& f : signing::signFiles(sources, pdfs, how))
            if (!f.refusal.empty())
                unmade[core::pathText(f.file.filename())] = f.refusal;
        return unmade;
    }
    std::vector<std::string> names;
    for (const Certificate* c : certificates)
        names.push_back(c->file);
    printing::PdfRunOptions pdfOptions;
    pdfOptions.targetFolder = pdfs;
    pdfOptions.protect = options.protect;
    pdfOptions.signer = options.signer;
    const fs::path output = options.folder / core::kOutputFolder;
    for (const printing::Skipped& s : printing::writeCertificatePdfs(output, names, pdfOptions).skipped)
        unmade[s.name] = s.name + ".xls: " + s.reason;
    return unmade;
}

OutgoingMessage messageOf(const MailPlan& plan, const DeducteePlan& d, const MailOptions& options, const fs::path& pdfs)
{
    OutgoingMessage m;
    m.fromName = plan.list.deductor;
    for (const std::string& a : d.addressee->to)
        m.to.push_back({d.deductee.name, a});
    for (const std::string& a : d.addressee->cc)
        m.cc.push_back({{}, a});
    m.subject = filledIn(options.subject, plan.list, d.deductee, d.toSend);
    m.body = filledIn(options.body, plan.list, d.deductee, d.toSend);
    if (!d.replaced.empty()) {
        std::string which;
        for (const std::string& r : d.replaced)
            which += (which.empty() ? "" : ", ") + r;
        m.body = "This message replaces the one sent earlier with certificate " + which +
                 ": the certificate was corrected.\n\n" + m.body;
    }
    for (const Certificate& c : d.toSend)
        m.attachments.push_back({options.pdfFolder.empty() ? "Form 16A " + c.file + ".pdf" : c.file, attachedFile(c, options, pdfs)});
    return m;
}

// The deductee's PAN as the certificate shows it: what its message goes by, should the
// certificate have been changed or replaced since the register was written.
std::string printedPan(const fs::path& workbook)
{
    try {
        const host::Workbook book = host::Workbook::open(workbook);
        return book.sheetCount() ? book.sheet(0).text(core::layout::form::kDeducteePan.row, core::layout::form::kDeducteePan.col)
                                 : std::string();
    } catch (const std::exception&) {
        return {}; // unreadable: the PDF maker names why
    }
}

} // namespace

std::string certificateNumbers(const std::vector<Certificate>& certificates)
{
    std::string s;
    for (const Certificate& c : certificates)
        s += (s.empty() ? "" : ", ") + c.number;
    return s;
}

std::string addressText(const Addressee& a)
{
    std::string s;
    for (const std::string& t : a.to)
        s += (s.empty() ? "" : ", ") + t;
    for (const std::string& c : a.cc)
        s += ", cc " + c;
    return s;
}

std::string fileSha256(const fs::path& file)
{
    QFile f(QString::fromStdString(core::pathText(file)));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result().toHex().toStdString();
}

namespace {

// The certificates' own values of a field, each once, in their order; the list's value when
// none has one of its own.
std::string eachOnce(const std::vector<Certificate>& certificates, std::string Certificate::*field, const std::string& whole)
{
    std::string s;
    std::set<std::string> seen;
    for (const Certificate& c : certificates)
        if (!(c.*field).empty() && seen.insert(c.*field).second)
            s += (s.empty() ? "" : ", ") + c.*field;
    return s.empty() ? whole : s;
}

} // namespace

std::string filledIn(const std::string& text, const CertificateList& list, const Deductee& deductee,
                     const std::vector<Certificate>& certificates)
{
    const std::pair<const char*, std::string> fields[] = {
        {"{name}", deductee.name.empty() ? "Sir/Madam" : deductee.name},
        {"{pan}", deductee.pan},
        {"{certificates}", certificateNumbers(certificates)},
        {"{quarter}", eachOnce(certificates, &Certificate::quarter, list.quarter)},
        {"{year}", eachOnce(certificates, &Certificate::financialYear, list.financialYear)},
        {"{deductor}", list.deductor},
        {"{tan}", eachOnce(certificates, &Certificate::tan, list.tan)}};
    std::string out = text;
    for (const auto& [field, value] : fields)
        out = replaceAll(out, field, value);
    return out;
}

MailPlan planMail(const MailOptions& options)
{
    MailPlan plan;
    if (options.pdfFolder.empty()) {
        plan.list = readRegister(options.folder / core::kOutputFolder);
    } else {
        PdfFolderList read = readPdfFolder(options.pdfFolder, options.inputPassword);
        plan.list = std::move(read.list);
        plan.refused = std::move(read.refused);
        if (plan.list.deductor.empty())
            plan.list.deductor = options.smtp.from; // PDFs made elsewhere do not name the deductor by a label
    }
    plan.bookFile = options.addressBook.empty() ? AddressBook::defaultFile(options.folder) : options.addressBook;
    if (plan.bookFile.empty())
        throw core::Failure(std::string("No address book: put the deductees' addresses in \"") + kAddressBookCsv + "\" or \"" +
                                kAddressBookXls + "\" in " + core::pathText(options.folder) + ", or name one with --addresses FILE.",
                            core::kFileNotFoundTitle, core::Icon::Critical);
    plan.book = AddressBook::read(plan.bookFile);
    const std::set<std::string> wanted(options.names.begin(), options.names.end());
    std::unique_ptr<SendLog> log;
    std::error_code ec;
    if (!options.dryRun || fs::exists(options.folder / kSendLogFile, ec))
        log = std::make_unique<SendLog>(options.folder / kSendLogFile);
    for (const Deductee& d : plan.list.deductees) {
        DeducteePlan p{d, plan.book.find(d.pan), {}, {}, {}, {}, {}, {}, {}};
        if (p.deductee.name.empty() && p.addressee)
            p.deductee.name = p.addressee->name;
        std::string lastSent;
        for (const Certificate& c : d.certificates) {
            if (!wanted.empty() && !wanted.count(c.file))
                continue;
            const std::string sha = fileSha256(c.source);
            const std::optional<std::string> sentAsIs = log ? log->sentOn(d.pan, c.file, sha) : std::nullopt;
            if (sentAsIs && !options.resend) {
                lastSent = *sentAsIs;
                continue;
            }
            p.toSend.push_back(c);
            p.workbookSha256.push_back(sha);
            // Only a certificate whose bytes changed since it was sent is a correction; one sent
            // again unchanged (--resend) replaces nothing.
            if (!sentAsIs && log && log->sentOn(d.pan, c.file, {}, true))
                p.replaced.push_back(c.number);
            const std::string printed = options.pdfFolder.empty() ? printedPan(c.source) : d.pan;
            if (printed != d.pan)
                p.fault += (p.fault.empty() ? "" : "; ") + c.file + ".xls shows PAN \"" + printed +
                           "\", the register " + d.pan;
        }
        if (p.toSend.empty() && lastSent.empty())
            continue; // none of its certificates was asked for
        if (p.toSend.empty())
            p.alreadySentOn = lastSent;
        plan.deductees.push_back(std::move(p));
    }
    return plan;
}

int printPlan(const MailPlan& plan, std::ostream& out)
{
    std::size_t missing = plan.refused.size();
    for (const std::string& r : plan.refused)
        out << "not to be sent: " << r << "\n";
    for (const DeducteePlan& d : plan.deductees) {
        out << d.deductee.pan << "  " << d.deductee.name << "  ";
        if (!d.alreadySentOn.empty())
            out << "already sent on " << d.alreadySentOn << "\n";
        else if (!d.fault.empty())
            ++missing, out << "not to be sent: " << d.fault << "\n";
        else if (!d.addressee)
            ++missing, out << "no address in " << core::pathText(plan.bookFile.filename()) << ": " << certificateNumbers(d.toSend) << "\n";
        else
            out << addressText(*d.addressee) << "  " << certificateNumbers(d.toSend) << "\n";
    }
    return missing ? 1 : 0;
}

int sendMail(MailPlan& plan, const MailOptions& options, std::ostream& out)
{
    std::vector<DeducteePlan*> sending;
    std::size_t faults = plan.refused.size();
    for (DeducteePlan& d : plan.deductees) {
        if (!d.alreadySentOn.empty()) {
            d.status = "already sent on " + d.alreadySentOn;
        } else if (!d.fault.empty()) {
            d.status = status::kFailed;
            d.detail = d.fault;
            ++faults;
        } else if (!d.addressee) {
            d.status = "no address";
            ++faults;
        } else {
            sending.push_back(&d);
        }
    }
    SendLog log(options.folder / kSendLogFile);
    const std::vector<LoggedMessage> unsure = log.settleInterrupted();
    std::set<std::string> unsurePans;
    for (const LoggedMessage& m : unsure)
        unsurePans.insert(m.pan);

    std::size_t done = 0, sent = 0;
    bool stopped = false;
    if (!sending.empty()) {
        SmtpSession session(options.smtp, options.retries, options.backoffMs);
        session.open();
        const auto gap = options.ratePerMinute > 0 ? std::chrono::milliseconds(60000 / options.ratePerMinute)
                                                   : std::chrono::milliseconds(0);
        auto next = std::chrono::steady_clock::now();
        for (std::size_t from = 0; from < sending.size() && !stopped; from += kChunk) {
            const std::size_t to = std::min(sending.size(), from + kChunk);
            QTemporaryDir pdfs;
            if (!pdfs.isValid())
                throw core::Failure("No folder for the PDFs to attach can be made: " + pdfs.errorString().toStdString(),
                                    core::kErrorTitle, core::Icon::Critical);
            const fs::path pdfFolder = core::pathFromText(pdfs.path().toStdString());
            std::vector<const Certificate*> certificates;
            for (std::size_t i = from; i < to; ++i)
                for (const Certificate& c : sending[i]->toSend)
                    certificates.push_back(&c);
            const std::map<std::string, std::string> unmadeBy = makePdfs(certificates, options, pdfFolder);
            for (std::size_t i = from; i < to && !stopped; ++i) {
                DeducteePlan& d = *sending[i];
                LoggedMessage entry{0, {}, d.deductee.pan, d.deductee.name, addressText(*d.addressee), {}, {}, {}, {}};
                std::string unmade;
                for (std::size_t k = 0; k < d.toSend.size(); ++k) {
                    const Certificate& c = d.toSend[k];
                    if (const auto it = unmadeBy.find(c.file); it != unmadeBy.end())
                        unmade += (unmade.empty() ? "" : "; ") + it->second;
                    entry.certificates.push_back({c.number, c.file, d.workbookSha256[k], fileSha256(attachedFile(c, options, pdfFolder))});
                }
                if (!unmade.empty()) {
                    d.status = "failed";
                    d.detail = "no PDF: " + unmade;
                    ++faults;
                    out << d.deductee.pan << "  " << d.deductee.name << "  " << d.status << ": " << d.detail << "\n" << std::flush;
                    continue;
                }
                if (unsurePans.count(d.deductee.pan))
                    entry.note = "may arrive twice: the run before was stopped while sending it";
                if (!d.replaced.empty())
                    entry.note += (entry.note.empty() ? "" : "; ") + std::string("replaces the one sent earlier");
                std::this_thread::sleep_until(next);
                const long long id = log.begin(entry);
                const SendResult r = session.send(messageOf(plan, d, options, pdfFolder));
                next = std::chrono::steady_clock::now() + gap;
                d.status = r.outcome == SendResult::Sent ? status::kSent : r.outcome == SendResult::Refused ? status::kRefused
                                                                                                            : status::kFailed;
                d.detail = r.reply;
                log.finish(id, d.status, r.reply);
                if (r.senderRefused && sent == 0)
                    throw SmtpError("the server " + options.smtp.url + " takes no message from <" + options.smtp.from +
                                    ">: " + r.reply);
                if (r.outcome == SendResult::Sent)
                    ++sent;
                else
                    ++faults;
                out << d.deductee.pan << "  " << d.deductee.name << "  " << d.status << " to " << entry.addresses << "  "
                    << certificateNumbers(d.toSend) << (r.outcome == SendResult::Sent ? "" : ": " + r.reply) << "\n" << std::flush;
                ++done;
                if (r.connectionLost || r.senderRefused || (options.progress && !options.progress(d, done, sending.size())))
                    stopped = true;
            }
        }
        for (DeducteePlan* d : sending)
            if (d->status.empty()) {
                d->status = "not sent";
                ++faults;
            }
    }
    std::size_t skipped = 0;
    for (const std::string& r : plan.refused)
        out << "not sent: " << r << "\n";
    for (const DeducteePlan& d : plan.deductees) {
        if (!d.alreadySentOn.empty())
            ++skipped, out << d.deductee.pan << "  " << d.deductee.name << "  already sent on " << d.alreadySentOn << "\n";
        else if (!d.fault.empty())
            out << d.deductee.pan << "  " << d.deductee.name << "  not sent: " << d.fault << "\n";
        else if (!d.addressee)
            out << d.deductee.pan << "  " << d.deductee.name << "  no address in "
                << core::pathText(plan.bookFile.filename()) << "\n";
    }
    out << sent << " message(s) sent, " << skipped << " deductee(s) already sent, " << faults << " not sent\n";
    return faults ? 1 : 0;
}

} // namespace cw::mail
