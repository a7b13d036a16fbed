#pragma once
// A template workbook and deductee tables built in memory, a run of the generator on them in a
// temporary application folder, and what the run reported.

#include "import/GenerationContext.h"
#include "certificates/CertificateGenerator.h"
#include "certificates/DeducteeGroups.h"

#include "host/General.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace cwtest {

using cw::host::Sheet;
using cw::host::Value;
using cw::host::Workbook;

// One deductee row as the import writes it (columns A to N).
struct Payment {
    std::string name = "RAVI TRANSPORT COMPANY";
    std::string pan = "AAAFR4321K";
    std::string section = "194C";
    double paid = 21600;
    std::string paidOn = "9.01.2009";
    double tds = 432, surcharge = 0, cess = 13, total = 445;
    std::string cheque = "456655";
    std::string bsr = "0510032";
    std::string depositedOn = "7.02.2009";
    std::string cin = "00098";
    std::string certificateDate = "7.02.2009";
};

// Formats of the template that the tests expect to survive the fill.
inline constexpr const char* kAmountFormat = "#,##0.00";
inline constexpr const char* kTextFormat = "@";

inline std::uint16_t formatXf(Workbook& wb, const std::string& numFmt, bool bold = false)
{
    cw::host::Xf xf = wb.xfs()[cw::host::kDefaultXf];
    xf.numFmt = wb.addNumberFormat(numFmt);
    if (bold) {
        cw::host::Font f;
        f.weight = 700;
        xf.font = wb.addFont(f);
    }
    xf.left.style = xf.right.style = xf.top.style = xf.bottom.style = 1;
    return wb.addXf(xf);
}

inline void text(Sheet& s, const char* a1, const std::string& t) { s.setValue(a1, Value{t}); }

// The template sheets "Form 16A", "Annex" and "AcknDetails" with the labels and formats the
// generator must leave alone, and B2 = 1.
inline Workbook makeTemplate()
{
    Workbook wb;
    const std::uint16_t amount = formatXf(wb, kAmountFormat);
    const std::uint16_t textXf = formatXf(wb, kTextFormat);
    const std::uint16_t boldText = formatXf(wb, kTextFormat, true);

    Sheet& ackn = wb.addSheet("AcknDetails");
    text(ackn, "A2", "Certificate Serial Number to start from");
    ackn.setValue("B2", Value{1.0});
    text(ackn, "A4", "Quarter");
    text(ackn, "B4", "Acknowledgement (PRN) No.");
    text(ackn, "C4", "Date of Filing (dd/mm/yyyy)");
    for (int q = 0; q < 4; ++q) {
        ackn.setValue(4 + q, 0, Value{double(q + 1)});
        ackn.setXf(4 + q, 1, textXf);
        ackn.setXf(4 + q, 2, formatXf(wb, "dd/mm/yyyy"));
    }

    wb.setActiveSheet(0);
    Sheet& annex = wb.addSheet("Annex");
    text(annex, "B1", "PAN of the Payee");
    text(annex, "J1", "Certificate No.");
    annex.setXf(0, 10, boldText);
    text(annex, "B2", "ANNEXURE TO FORM NO. 16A");
    for (int c = 1; c <= 11; ++c) {
        annex.setValue(2, c, Value{"Heading " + std::to_string(c)});
        annex.setValue(3, c, Value{"(" + std::to_string(c) + ")"});
        annex.setXf(3, c, c == 2 || (c >= 4 && c <= 7) ? amount : textXf);
    }
    text(annex, "H6", "Signature of the person responsible for deduction of tax");
    text(annex, "H7", "Full Name:");
    text(annex, "H8", "Designation:");
    annex.printTitleRows() = std::make_pair(2, 3);

    wb.setActiveSheet(0);
    Sheet& form = wb.addSheet("Form 16A");
    text(form, "J1", "Certificate No.");
    form.setXf(0, 10, boldText);
    text(form, "B2", "FORM NO. 16A");
    text(form, "F10", "Quarter");
    for (int q = 0; q < 4; ++q) {
        form.setValue(10 + q, 5, Value{std::to_string(q + 1)});
        form.setXf(10 + q, 6, textXf);
    }
    for (int r = 23; r < 39; ++r) {
        form.setValue(r, 1, Value{double(r - 22)});
        for (int c = 2; c <= 11; ++c)
            form.setXf(r, c, c == 2 || (c >= 4 && c <= 7) ? amount : textXf);
    }
    text(form, "B40", "Total");
    for (int c : {2, 4, 5, 6, 7})
        form.setXf(39, c, amount);
    text(form, "B47", "Place");
    text(form, "B48", "Date");
    text(form, "H48", "Full Name:");
    text(form, "H49", "Designation:");
    form.printArea() = {cw::host::Range{0, 1, 48, 11}};
    form.pageSetup().fitToPage = true;
    wb.setActiveSheet(0);
    return wb;
}

// The work sheets as the import leaves them: "DeducteeDetails", "DeductorDetails", "Textdata"
// in front of the template sheets.
inline void addWorkSheets(Workbook& wb, const std::vector<Payment>& rows)
{
    wb.setActiveSheet(0);
    Sheet& textdata = wb.addSheet("Textdata");
    text(textdata, "A1", "1");
    Sheet& deductor = wb.addSheet("DeductorDetails");
    const char* headings[] = {"Name", "Address", "TAN", "PAN", "Person Responsible", "Designation",
                              "Fin Yr", "Asstt. Yr.", "Form Type", "Place of Issue"};
    for (int c = 0; c < 10; ++c)
        deductor.setValue(1, c, Value{std::string(headings[c])});
    text(deductor, "A3", "SAMPLE TRADERS PRIVATE LIMITED");
    text(deductor, "B3", "12 EXAMPLE STREET,FORT,NEAR TOWN HALL,,MUMBAI,19,400001");
    text(deductor, "C3", "MUMS12345B");
    text(deductor, "D3", "AABCS1234F");
    text(deductor, "E3", "ANIL KUMAR SHARMA");
    text(deductor, "F3", "DIRECTOR");
    text(deductor, "G3", "2008-09");
    text(deductor, "H3", "2009-10");
    text(deductor, "I3", "26Q");
    text(deductor, "J3", "MUMBAI");

    Sheet& d = wb.addSheet("DeducteeDetails");
    const char* columns[] = {"Name of the deductee", "PAN", "Section", "Amt Paid", "DOP/Cr.", "TDS", "SC ",
                             "Ecess", "Total Tax Deposited", "Chq", "BSR", "Date of Deposit", "CIN", "DO Certificate"};
    for (int c = 0; c < 14; ++c)
        d.setValue(0, c, Value{std::string(columns[c])});
    int r = 1;
    for (const Payment& p : rows) {
        auto put = [&](int c, const std::string& s) {
            if (!s.empty())
                d.setValue(r, c, Value{s});
        };
        put(0, p.name);
        put(1, p.pan);
        put(2, p.section);
        d.setValue(r, 3, Value{p.paid});
        put(4, p.paidOn);
        d.setValue(r, 5, Value{p.tds});
        d.setValue(r, 6, Value{p.surcharge});
        d.setValue(r, 7, Value{p.cess});
        d.setValue(r, 8, Value{p.total});
        put(9, p.cheque);
        put(10, p.bsr);
        put(11, p.depositedOn);
        put(12, p.cin);
        put(13, p.certificateDate);
        ++r;
    }
}

struct Recorder : cw::core::Reporter {
    std::vector<cw::core::Message> messages;
    std::vector<std::pair<int, int>> steps;
    std::function<void(int, int)> onProgress;
    void message(const cw::core::Message& m) override { messages.push_back(m); }
    void progress(int done, int total) override
    {
        steps.emplace_back(done, total);
        if (onProgress)
            onProgress(done, total);
    }
};

class TempFolder {
public:
    TempFolder()
    {
        static std::mt19937_64 rng{std::random_device{}()};
        m_path = std::filesystem::temp_directory_path() / ("certwright-test-" + std::to_string(rng()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// A template workbook with its work sheets, a context on it and a temporary application folder.
struct GeneratorRun {
    TempFolder folder;
    Workbook workbook = makeTemplate();
    Recorder reporter;
    cw::import::GenerationContext ctx;

    explicit GeneratorRun(const std::vector<Payment>& rows) { reset(rows); }
    GeneratorRun(const std::vector<Payment>& rows, Workbook templateWorkbook)
        : workbook(std::move(templateWorkbook))
    {
        reset(rows);
    }

    // Fresh work sheets (as the next Generate run would make them) on the same workbook.
    void reset(const std::vector<Payment>& rows)
    {
        for (const char* name : {"DeducteeDetails", "DeductorDetails", "Textdata"})
            if (workbook.indexOf(name) >= 0)
                workbook.deleteSheet(workbook.indexOf(name));
        addWorkSheets(workbook, rows);
        ctx = {};
        ctx.appFolder = folder.path();
        ctx.workbook = &workbook;
        ctx.deductorSheet = workbook.findSheet("DeductorDetails");
        ctx.deducteeSheet = workbook.findSheet("DeducteeDetails");
        ctx.textSheet = workbook.findSheet("Textdata");
        ctx.reporter = &reporter;
    }

    Sheet& ackn() { return workbook.sheet("AcknDetails"); }
    int generate() { return cw::certificates::generateCertificates(ctx).certificates; }
    std::filesystem::path output() const { return ctx.outputFolder(); }

    // The names of the files in Form16A, sorted.
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(output()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    Workbook certificate(const std::string& file) const { return Workbook::open(output() / file); }
};

// n payments of one deductee, told apart by their amounts (1, 2, ...) and cheque numbers.
inline std::vector<Payment> paymentsOf(const std::string& name, int n, const std::string& section = "194C",
                                       const std::string& date = "7.02.2009")
{
    std::vector<Payment> rows;
    for (int i = 1; i <= n; ++i) {
        Payment p;
        p.name = name;
        p.pan = "PAN" + name.substr(0, std::min<std::size_t>(name.size(), 4)) + "1234K";
        p.section = section;
        p.certificateDate = date;
        p.paid = 1000.0 * i;
        p.tds = 10.0 * i;
        p.surcharge = 1.0 * i;
        p.cess = 0.5 * i;
        p.total = p.tds + p.surcharge + p.cess;
        p.cheque = "CHQ" + std::to_string(i);
        p.paidOn = std::to_string(i) + ".01.2009";
        rows.push_back(p);
    }
    return rows;
}

inline double total(const std::vector<Payment>& rows, double Payment::*field)
{
    double t = 0;
    for (const Payment& p : rows)
        t += p.*field;
    return t;
}

inline double num(const Value& v) { return std::holds_alternative<double>(v) ? std::get<double>(v) : -1e300; }
inline std::string str(const Value& v)
{
    return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : std::string("<not text>");
}

} // namespace cwtest
