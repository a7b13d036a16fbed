#pragma once

#include <filesystem>
#include <iosfwd>
#include <QGuiApplication>

#include <memory>
#include <string>
#include <vector>

namespace cw::printing {
class PdfSigner;
}

namespace cw::app {

// The Qt application object the drawing commands need (fonts, PDF writer, printers). Where no
// display is available it runs on the offscreen platform, so the commands work on a server.
std::unique_ptr<QGuiApplication> startGuiSession(int& argc, char** argv);

// The key a command signs with, as its options name it.
struct SigningKey {
    std::filesystem::path pkcs12;         // --sign
    std::string nickname;                 // --sign-cert
    std::filesystem::path nssDir;         // --nss-dir
    std::filesystem::path passwordFile;   // --password-file
};

// The first line of a file holding a password, without its line end. Throws, naming the file,
// when it is missing, a folder or unreadable.
std::string readFirstLine(const std::filesystem::path& file);

// A password: the first line of `passwordFile` when one is given, else typed on a terminal
// without echo after `prompt` on `err`. Throws with `noTerminal` when neither is possible.
std::string readSecret(const std::filesystem::path& passwordFile, const std::string& prompt,
                       const std::string& noTerminal, std::ostream& err);

// The signer of `key` (null when it names none), its password or PIN from the password file,
// else asked for on a terminal (prompting on `err`). Throws with a message for the user.
std::unique_ptr<printing::PdfSigner> makeSigner(const SigningKey& key, std::ostream& err);

// What `certwright pdf` is asked to do.
struct PdfCommand {
    std::vector<std::string> names;       // certificates as listed (all when empty)
    std::filesystem::path mergedFile;     // --merge
    bool protect = false;                 // --protect
    SigningKey key;
};

// `certwright pdf`: writes Form16A/NNN.pdf beside each named certificate of the application
// folder (all certificates when none are named), or one merged file; protected and signed as
// asked. Returns 0 when all were written, 1 when any was skipped (each named on `err` with the
// reason), 2 when nothing could be done (a name that is not a certificate name, no
// certificates, a signing key or password that does not work, a target that cannot be
// written): then no PDF is left behind.
int runPdf(const std::filesystem::path& appFolder, const PdfCommand& command, std::ostream& out, std::ostream& err);

} // namespace cw::app
