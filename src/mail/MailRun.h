#pragma once

#include "mail/AddressBook.h"
#include "mail/Deductees.h"
#include "mail/Smtp.h"

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace cw::printing {
class PdfSigner;
}

// A run of `certwright mail` (and of the window's Send): one message per deductee, carrying the
// certificates of its PAN as PDFs, each recorded in the send log before and after it goes.
namespace cw::mail {

// Fields: {name} {pan} {certificates} {quarter} {year} {deductor} {tan}.
inline constexpr const char* kDefaultSubject = "Form 16A for F.Y. {year} {quarter} from {deductor}";
inline constexpr const char* kDefaultBody =
    "Dear {name},\n\nPlease find attached Form 16A ({certificates}) for the tax deducted at source from your payments "
    "in F.Y. {year} {quarter}, PAN {pan}.\n\nRegards,\n{deductor}\nTAN {tan}\n";

// The text with its fields filled in.
std::string filledIn(const std::string& text, const CertificateList& list, const Deductee& deductee,
                     const std::vector<Certificate>& certificates);

struct DeducteePlan;

struct MailOptions {
    std::filesystem::path folder;       // the working folder: Form16A, the log
    std::filesystem::path addressBook;  // empty: the folder's default one
    SmtpSettings smtp;
    int ratePerMinute = 0;              // 0: as fast as the server takes them
    bool dryRun = false, resend = false, protect = false;
    const printing::PdfSigner* signer = nullptr;
    std::vector<std::string> names;     // certificates to send (all when empty)
    // Not empty: the certificate PDFs of this folder, made elsewhere, by the PAN each shows; the
    // register and the workbooks are not read. `inputPassword` opens encrypted ones.
    std::filesystem::path pdfFolder;
    std::string inputPassword;
    std::string subject = kDefaultSubject, body = kDefaultBody;
    int retries = 3, backoffMs = 1000;
    // Called after each deductee sent to, with its outcome; false stops the run there.
    std::function<bool(const DeducteePlan& finished, std::size_t done, std::size_t total)> progress;
};

// One deductee of the run and what became of it.
struct DeducteePlan {
    Deductee deductee;
    const Addressee* addressee = nullptr;        // null: no address
    std::vector<Certificate> toSend;             // new or changed ones
    std::vector<std::string> workbookSha256;     // of toSend's sources
    std::vector<std::string> replaced;           // of toSend, those sent before with other bytes
    std::string alreadySentOn;                   // when all were sent before unchanged
    std::string fault;                           // why it must not be sent: a certificate shows another PAN
    std::string status, detail;                  // after the run
};

struct MailPlan {
    CertificateList list;
    AddressBook book;
    std::filesystem::path bookFile;
    std::vector<DeducteePlan> deductees;
    std::vector<std::string> refused;            // PDFs of the folder not sent: "FILE: why"
};

// Reads the register (or the PDF folder), the address book and the log and says what a run would
// send. Throws core::Failure (an unusable address book, no register, no PDFs) before anything is sent.
MailPlan planMail(const MailOptions& options);

// Sends the plan, writing a line per deductee on `out`. Returns 0 when every deductee with
// certificates has its message now or from before, 1 when any had no address, was refused or
// failed. Throws core::Failure or SmtpError (no connection, the login or the sender refused) before anything
// is marked sent.
int sendMail(MailPlan& plan, const MailOptions& options, std::ostream& out);

// What --dry-run prints.
int printPlan(const MailPlan& plan, std::ostream& out);

// "004/2024-25, 007/2024-25"
std::string certificateNumbers(const std::vector<Certificate>& certificates);
// "a@example.test, cc b@example.test"
std::string addressText(const Addressee& addressee);

// The sha256 of a file, in hex; empty when it cannot be read.
std::string fileSha256(const std::filesystem::path& file);

} // namespace cw::mail
