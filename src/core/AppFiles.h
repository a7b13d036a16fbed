#pragma once

#include <string>
#include <string_view>

// The names of the files a Certwright application folder holds. Users find and keep these
// files by name, so they never change.
namespace cw::core {

inline constexpr std::string_view kStatementFile = "TDS.txt";
inline constexpr std::string_view kTemplateFile = "TDS16A.xls";
inline constexpr std::string_view kOutputFolder = "Form16A";
// The register of the certificates, written into the output folder with them.
inline constexpr std::string_view kRegisterFile = "Register.xls";
// The register's sheets of certificates, from 0: "Certificates", then "Certificates (2)" and on,
// since an .xls sheet holds only 65,536 rows.
inline std::string registerCertificatesSheet(int n)
{
    return n ? "Certificates (" + std::to_string(n + 1) + ")" : "Certificates";
}
// The statement check's report, as the window first offers to save it.
inline constexpr std::string_view kCheckReportFile = "Check report.xls";

} // namespace cw::core
