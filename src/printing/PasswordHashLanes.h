#pragma once

#include "printing/PdfEncryption.h"

#include <string>
#include <vector>

namespace cw::printing {

// passwordHashR6 of each input into `hashes`, eight side by side, on a processor with AES-NI and
// AVX-512 (x86-64); false, with `hashes` untouched, on any other.
bool passwordHashesInLanes(const std::vector<PasswordHashInput>& inputs, std::vector<std::string>& hashes);

} // namespace cw::printing
