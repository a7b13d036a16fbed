#include "app/cli/MailCli.h"

#include "app/AppFolderLock.h"
#include "app/cli/CommandLineHelp.h"
#include "core/Failure.h"
#include "core/PathText.h"
#include "mail/MailRun.h"
#include "mail/MailSettings.h"
#include "mail/SendLog.h"
#include "printing/CertificateFolder.h"
#include "printing/PdfSigner.h"
#include "printing/PendingFile.h"

#include <fstream>
#include <iostream>
#include <ostream>


namespace fs = std::filesystem;

namespace cw::app {

namespace {

// The mail server's password: the first line of --password-file, else the keyring's when the
// user chose to remember it there, else asked for on a terminal.
std::string serverPassword(const MailCommand& command, const mail::MailSettings& settings, std::ostream& err)
{
    if (command.passwordFile.empty() && settings.rememberPassword) {
        try {
            if (auto kept = mail::systemKeyring()->read(mail::keyringAccount(settings.url, settings.user)))
                return *kept;
        } catch (const mail::KeyringError& e) {
            err << "certwright mail: " << e.what() << "\n";
        }
    }
    return readSecret(command.passwordFile, "Password of \"" + settings.user + "\" at " + settings.url + ": ",
                      "the password of \"" + settings.user + "\" is read from a terminal or from --password-file FILE", err);
}

int printLog(const fs::path& appFolder, const MailCommand& command, std::ostream& out, std::ostream& err)
{
    const fs::path file = appFolder / mail::kSendLogFile;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        out << "Nothing was sent from " << core::pathText(appFolder) << " yet: there is no " << mail::kSendLogFile << ".\n";
        return 0;
    }
    try {
        const std::vector<mail::LoggedMessage> messages = mail::SendLog(file).messages();
        if (!command.csv.empty()) {
            printing::PendingFile csv(command.csv);
            csv.write(mail::logCsv(messages));
            csv.commit();
            out << messages.size() << " message(s) written to " << core::pathText(command.csv) << "\n";
            return 0;
        }
        for (const mail::LoggedMessage& m : messages) {
            std::string numbers;
            for (const mail::LoggedCertificate& c : m.certificates)
                numbers += (numbers.empty() ? "" : ", ") + c.number;
            out << m.time << "  " << m.pan << "  " << m.name << "  " << m.addresses << "  " << numbers << "  " << m.status;
            if (!m.reply.empty())
                out << " (" << m.reply << ")";
            if (!m.note.empty())
                out << "; " << m.note;
            out << "\n";
        }
        out << messages.size() << " message(s)\n";
    } catch (const std::exception& e) {
        err << "certwright mail: " << e.what() << "\n";
        return 2;
    }
    return 0;
}

// The server settings: the command's, else the remembered ones. Those given are remembered
// unless `remember` is false. Throws core::Failure for settings that can't be used.
mail::MailSettings settingsOf(const MailCommand& command, bool remember)
{
    mail::MailSettings s = mail::loadMailSettings();
    s.url = command.smtp.value_or(s.url);
    s.user = command.user.value_or(s.user);
    s.from = command.from.value_or(s.from);
    s.caFile = command.caFile.value_or(s.caFile);
    s.ratePerMinute = command.rate.value_or(s.ratePerMinute);
    if (command.dryRun)
        return s;
    const std::string problem = mail::mailSettingsProblem(s);
    if (!problem.empty())
        throw core::Failure(problem + " (--smtp URL, --from ADDRESS, --ca-file FILE, --rate N)", core::kErrorTitle);
    if (remember)
        mail::saveMailSettings(s);
    return s;
}

} // namespace

CLI::App* addMailCommand(CLI::App& program, MailCommand& c, std::string& folder)
{
    auto* mail = program.add_subcommand(
        "mail", "E-mail each deductee its certificates as PDFs, by the PAN printed on them (exit status 0 when every "
                "deductee has its message, 1 when any has not, 2 when nothing could be sent)");
    mail->add_option("--folder", folder, "The folder holding Form16A and the address book")->type_name("DIR");
    mail->add_option("--addresses", c.addresses, "The address book (default: \"Deductee addresses.csv\" or .xls)")
        ->type_name("FILE");
    mail->add_option("--smtp", c.smtp, "The mail server: smtp://HOST[:PORT] (STARTTLS, 587) or smtps://HOST[:PORT] (465)")
        ->type_name("URL");
    mail->add_option("--user", c.user, "The user name to log in with")->type_name("NAME");
    mail->add_option("--password-file", c.passwordFile, "Read the mail server's password from the first line of FILE")
        ->type_name("FILE");
    mail->add_option("--from", c.from, "The address the messages come from")->type_name("ADDRESS");
    mail->add_option("--ca-file", c.caFile, "Verify the server against the CA certificates of FILE, not the system's")
        ->type_name("FILE");
    mail->add_option("--rate", c.rate, "At most N messages a minute (0: no limit)")->type_name("N");
    mail->add_flag("--dry-run", c.dryRun, "Print who would get which certificates; send and write nothing");
    mail->add_flag("--resend", c.resend, "Send certificates sent before with the same workbook again");
    addSigningOptions(mail, c.key, "Sign each PDF with the certificate and key of FILE.p12", "--sign-password-file",
                      "Read the password or PIN of the key from the first line of FILE");
    mail->add_flag("--protect", c.protect, "Each PDF opens with its deductee's PAN (AES-256)");
    mail->add_option("--pdfs", c.pdfs, "Send the certificate PDFs of DIR, made elsewhere, by the deductee's PAN printed in each")
        ->type_name("DIR");
    mail->add_option("--input-password", c.inputPasswordFile, "With --pdfs: open encrypted PDFs with the first line of FILE")
        ->type_name("FILE");
    mail->add_flag("--log", c.log, "Print the send log: who got what, when, and the server's reply");
    mail->add_option("--csv", c.csv, "With --log: write the log to FILE as CSV")->type_name("FILE");
    mail->add_option("NAMES", c.names, "Only these certificates, as the print window lists them, e.g. 001 007")->type_name("");
    return mail;
}

int runMail(const fs::path& appFolder, const MailCommand& command, std::ostream& out, std::ostream& err)
{
    if (command.log)
        return printLog(appFolder, command, out, err);
    if (!command.csv.empty()) {
        err << "certwright mail: --csv goes with --log\n";
        return 2;
    }
    if (!command.pdfs.empty() && !command.names.empty()) {
        err << "certwright mail: --pdfs sends every PDF of its folder; give no certificate names with it\n";
        return 2;
    }
    if (command.pdfs.empty() && !command.inputPasswordFile.empty()) {
        err << "certwright mail: --input-password goes with --pdfs\n";
        return 2;
    }
    for (const std::string& name : command.names)
        if (!printing::isCertificateName(name)) {
            err << "certwright mail: \"" << name << "\" is not a certificate name; give names as the print window "
                << "lists them, e.g. 001\n";
            return 2;
        }
    // A generate meanwhile would replace the certificates under the run; dry runs write nothing.
    std::optional<AppFolderLock> lock;
    if (!command.dryRun) {
        lock.emplace(appFolder);
        if (lock->refusal()) {
            err << lock->refusal()->prompt << "\nNothing was sent.\n";
            return 2;
        }
    }
    bool sending = false;
    try {
        const mail::MailSettings settings = settingsOf(command, !command.dryRun);
        mail::MailOptions options = mail::optionsOf(settings, appFolder);
        options.addressBook = command.addresses;
        options.dryRun = command.dryRun;
        options.resend = command.resend;
        options.protect = command.protect;
        options.names = command.names;
        options.pdfFolder = command.pdfs;
        if (!command.inputPasswordFile.empty())
            options.inputPassword = readFirstLine(command.inputPasswordFile);
        mail::MailPlan plan = mail::planMail(options);
        if (command.dryRun)
            return mail::printPlan(plan, out);
        if (!options.smtp.user.empty())
            options.smtp.password = serverPassword(command, settings, err);
        const std::unique_ptr<printing::PdfSigner> signer = makeSigner(command.key, err);
        options.signer = signer.get();
        sending = true;
        return mail::sendMail(plan, options, out);
    } catch (const core::Failure& f) {
        err << f.message().prompt << (sending ? "\nThe run stopped here." : "\nNothing was sent.") << "\n";
    } catch (const mail::SmtpError& e) {
        err << "certwright mail: " << e.what() << "\nNothing was sent.\n";
    } catch (const std::exception& e) {
        err << "certwright mail: " << e.what() << "\n";
    }
    return 2;
}

} // namespace cw::app
