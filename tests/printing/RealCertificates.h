#pragma once

#include <filesystem>

namespace cw::printing::test {

// Builds an application folder at `appFolder` as the program ships it (the template workbook,
// the sample statement TDS.txt of the source tree) and runs the import and the certificate
// generator over it, so that Form16A holds real certificate workbooks. Returns the Form16A
// folder. Throws on any failure.
std::filesystem::path generateSampleCertificates(const std::filesystem::path& appFolder);

} // namespace cw::printing::test
