#pragma once

#include "app/cli/PdfCli.h"

#include <filesystem>
#include <iosfwd>
#include <string>

namespace cw::app {

// What `certwright sign` is asked to do.
struct SignCommand {
    std::filesystem::path pdfs;              // --pdfs: the certificate PDFs, made elsewhere
    std::filesystem::path out;               // --out, default PDFS/Signed
    SigningKey key;
    bool protect = false;                    // --protect: the deductee's PAN opens each file
    std::string signBox;                     // --sign-box PAGE:X,Y,W,H, points from the lower left
    std::filesystem::path inputPasswordFile; // --input-password: opens encrypted PDFs
};

// `certwright sign`: each PDF of the folder whose text shows its deductee's PAN is signed (and
// protected) into the output folder; the originals stay as they are. Returns 0 when all were
// signed, 1 when any was refused (each named on `err` with its reason), 2 when nothing could be
// done (no folder, no key, a key or password that does not work, a --sign-box that is wrong).
int runSign(const SignCommand& command, std::ostream& out, std::ostream& err);

} // namespace cw::app
