#include "app/cli/MailCli.h"

#include "app/AppFolderLock.h"
#include "app/cli/CommandLineHelp.h"
#include "core/Failure.h"
#include "core/PathText.h"
#include "mail/MailRun.h"
#include "mail/SendLog.h"
#include "printing/CertificateFolder.h"
#include "printing/PdfSigner.h"
#include "printing/PendingFile.h"

#include <QSettings>

#include <fstream>
#include <iostream>
#include <ostream>
#include <stdexcept>


namespace fs = std::filesystem;

namespace cw::app {

namespace {

// Where the window and later runs find the mail server's settings; never the password.
QSettings mailSettings()
{
    return QSettings(QStringLiteral("Certwright"), QStringLiteral("Certwright"));
}

QString key(const char* name) { return QStringLiteral("mail/") + QString::fromLatin1(name); }

std::string remembered(const QSettings& settings, const char* name, const std::string& fallback = {})
{
    return settings.value(key(name), QString::fromStdString(fallback)).toString().toStdString();
}

// The mail server's password: the first line of --password-file, else asked for on a terminal.
std::string serverPassword(const MailCommand& command, const mail::SmtpSettings& smtp, std::ostream& err)
{
    return readSecret(command.passwordFile, "Password of \"" + smtp.user + "\" at " + smtp.url + ": ",
                      "the password of \"" + smtp.user + "\" is read from a terminal or from --password-file FILE", err);
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

// The run's options from the command and the settings; the given ones are remembered unless
// `remember` is false. Throws std::runtime_error for a setting that can't be used.
mail::MailOptions optionsOf(const fs::path& appFolder, const MailCommand& command, bool remember)
{
    QSettings settings = mailSettings();
    mail::MailOptions o;
    o.folder = appFolder;
    o.addressBook = command.addresses;
    o.dryRun = command.dryRun;
    o.resend = command.resend;
    o.protect = command.protect;
    o.names = command.names;
    o.smtp.url = command.smtp.value_or(remembered(settings, "smtp"));
    o.smtp.user = command.user.value_or(remembered(settings, "user"));
    o.smtp.from = command.from.value_or(remembered(settings, "from"));
    o.smtp.caFile = command.caFile.value_or(core::pathFromText(remembered(settings, "caFile")));
    o.ratePerMinute = command.rate.value_or(settings.value(key("rate"), 0).toInt());
    o.subject = remembered(settings, "subject", mail::kDefaultSubject);
    o.body = remembered(settings, "body", mail::kDefaultBody);
    if (command.dryRun)
        return o;
    if (o.smtp.url.empty())
        throw std::runtime_error("no mail server: give it with --smtp smtp://HOST[:PORT] or smtps://HOST[:PORT]");
    if (mail::smtpUrl(o.smtp.url).empty())
        throw std::runtime_error("\"" + o.smtp.url + "\" is not a mail server: give smtp://HOST[:PORT] (STARTTLS) or "
                                 "smtps://HOST[:PORT] (TLS)");
    if (!mail::isMailAddress(o.smtp.from))
        throw std::runtime_error(o.smtp.from.empty() ? std::string("no sender: give the address to send from with --from ADDRESS")
                                                     : "\"" + o.smtp.from + "\" (--from) is not an e-mail address");
    std::error_code ec;
    if (!o.smtp.caFile.empty() && !fs::is_regular_file(o.smtp.caFile, ec))
        throw std::runtime_error("the CA file " + core::pathText(o.smtp.caFile) + " is not there");
    if (o.ratePerMinute < 0)
        throw std::runtime_error("--rate is a number of messages per minute, 0 for no limit");
    if (remember) {
        settings.setValue(key("smtp"), QString::fromStdString(o.smtp.url));
        settings.setValue(key("user"), QString::fromStdString(o.smtp.user));
        settings.setValue(key("from"), QString::fromStdString(o.smtp.from));
        settings.setValue(key("caFile"), QString::fromStdString(core::pathText(o.smtp.caFile)));
        settings.setValue(key("rate"), o.ratePerMinute);
    }
    return o;
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
        mail::MailOptions options = optionsOf(appFolder, command, !command.dryRun);
        mail::MailPlan plan = mail::planMail(options);
        if (command.dryRun)
            return mail::printPlan(plan, out);
        if (!options.smtp.user.empty())
            options.smtp.password = serverPassword(command, options.smtp, err);
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
