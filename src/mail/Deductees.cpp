#include "mail/Deductees.h"

#include "core/AppFiles.h"
#include "core/Failure.h"
#include "core/PathText.h"
#include "host/Error.h"
#include "host/Sheet.h"
#include "host/Workbook.h"
#include "printing/CertificateFolder.h"
#include "portal/CertificateText.h"
#include "signing/FolderSigning.h"
#include "printing/NumberFormat.h"

#include <map>

namespace fs = std::filesystem;

namespace cw::mail {

namespace {

std::string shown(const host::Workbook& book, const host::Sheet& sheet, int row, int col)
{
    const std::optional<host::Cell> cell = sheet.cell(row, col);
    return cell ? printing::cellText(book, *cell).text : std::string();
}

// The rows of one sheet of certificates, after its heading, added to `list` by PAN. The heading
// names the deductor and the quarter on every sheet alike.
void readCertificates(const host::Workbook& book, const host::Sheet& sheet, const std::string& name,
                      CertificateList& list, std::map<std::string, std::size_t>& byPan)
{
    const std::pair<std::string, std::string*> labels[] = {
        {"Deductor: ", &list.deductor}, {"TAN: ", &list.tan}, {"Financial year: ", &list.financialYear}, {"Quarter: ", &list.quarter}};
    bool table = false;
    for (int r = 0; r < sheet.rowCount(); ++r) {
        const std::string first = shown(book, sheet, r, 0);
        if (!table) {
            for (const auto& [label, value] : labels)
                if (first.rfind(label, 0) == 0)
                    *value = first.substr(label.size());
            table = first == "Certificate No.";
            continue;
        }
        if (first == "Total" || first.empty())
            break;
        std::string serial = shown(book, sheet, r, 1);
        if (serial.size() > 4 && serial.compare(serial.size() - 4, 4, ".xls") == 0)
            serial.resize(serial.size() - 4);
        const std::string pan = shown(book, sheet, r, 2);
        if (!printing::isCertificateName(serial) || pan.empty())
            throw core::Failure(name + ", sheet \"" + sheet.name() + "\", row " + std::to_string(r + 1) +
                                ": no certificate file or PAN.", core::kErrorTitle, core::Icon::Critical);
        const auto [it, added] = byPan.emplace(pan, list.deductees.size());
        if (added)
            list.deductees.push_back({pan, shown(book, sheet, r, 3), {}});
        list.deductees[it->second].certificates.push_back({first, serial, {}, {}, {}, {}});
    }
    if (!table)
        throw core::Failure(name + ": the sheet \"" + sheet.name() + "\" has no table of certificates.",
                            core::kErrorTitle, core::Icon::Critical);
}

} // namespace

CertificateList readRegister(const fs::path& outputFolder)
{
    const fs::path file = outputFolder / core::kRegisterFile;
    const std::string name = core::pathText(file);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw core::Failure(name + " is not there: make the certificates first (certwright generate); the register "
                            "beside them says which deductee gets which.", core::kFileNotFoundTitle, core::Icon::Critical);
    host::Workbook book;
    try {
        book = host::Workbook::open(file);
    } catch (const host::Error& e) {
        throw core::Failure(name + " cannot be read: " + e.what(), core::kErrorTitle, core::Icon::Critical);
    }
    CertificateList list;
    std::map<std::string, std::size_t> byPan;
    int sheets = 0;
    for (const host::Sheet* sheet; (sheet = book.findSheet(core::registerCertificatesSheet(sheets))); ++sheets)
        readCertificates(book, *sheet, name, list, byPan);
    if (!sheets)
        throw core::Failure(name + " has no sheet \"Certificates\": it is not a register Certwright wrote.",
                            core::kErrorTitle, core::Icon::Critical);
    for (Deductee& d : list.deductees)
        for (Certificate& c : d.certificates)
            c.source = outputFolder / core::pathFromText(c.file + ".xls");
    return list;
}

PdfFolderList readPdfFolder(const fs::path& folder, const std::string& password)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw core::Failure("There is no folder " + core::pathText(folder) + " of certificate PDFs.", core::kFileNotFoundTitle,
                            core::Icon::Critical);
    const std::vector<fs::path> files = signing::pdfFilesIn(folder);
    if (files.empty())
        throw core::Failure(core::pathText(folder) + " has no PDF files.", core::kFileNotFoundTitle, core::Icon::Critical);
    const portal::PdfLibrarySession pdfLibrary;
    PdfFolderList out;
    std::map<std::string, std::size_t> byPan;
    for (const fs::path& file : files) {
        portal::CertificateRead read = portal::readCertificatePdf(file, password);
        if (const auto* refused = std::get_if<core::Failure>(&read)) {
            out.refused.push_back(refused->message().prompt);
            continue;
        }
        const auto& fields = std::get<portal::CertificateFields>(read);
        // The financial year is the one before the assessment year: 2025-26 assesses 2024-25.
        std::string financialYear;
        const std::string& ay = fields.assessmentYear;
        if (ay.size() == 7 && ay[4] == '-')
            try {
                const int from = std::stoi(ay.substr(0, 4)) - 1;
                financialYear = std::to_string(from) + "-" + std::to_string((from + 1) % 100 + 100).substr(1);
            } catch (const std::exception&) {
            }
        // The list's own fields, as the first file that names them gives them.
        CertificateList& list = out.list;
        for (auto [whole, own] : {std::pair{&list.tan, &fields.tan}, {&list.quarter, &fields.quarter}, {&list.financialYear, &financialYear}})
            if (whole->empty())
                *whole = *own;
        const auto [it, added] = byPan.emplace(fields.pan, list.deductees.size());
        if (added)
            list.deductees.push_back({fields.pan, {}, {}});
        const std::string name = core::pathText(file.filename());
        list.deductees[it->second].certificates.push_back(
            {fields.certificateNo.empty() ? name : fields.certificateNo, name, file, financialYear, fields.quarter, fields.tan});
    }
    return out;
}

} // namespace cw::mail
