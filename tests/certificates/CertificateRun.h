#pragma once
// Generate over a generated statement and the shipped template in a scratch application
// folder, through the command the window and the command line run, and the certificates read
// back.

#include "SyntheticStatement.h"
#include "TestSupport.h"

#include "app/GenerateCommand.h"
#include "core/PathText.h"
#include "host/General.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

namespace cw::test {

using host::Sheet;
using host::Value;
using host::Workbook;

// The template the program ships, staged beside the built program.
inline std::filesystem::path shippedTemplate()
{
    return std::filesystem::path(CERTWRIGHT_APP_DIR) / "TDS16A.xls";
}

// A recording reporter that also lets a test act when a certificate has been written.
struct ProgressHook : RecordingReporter {
    std::function<void(int done)> onProgress;
    void progress(int d, int t) override
    {
        RecordingReporter::progress(d, t);
        if (onProgress)
            onProgress(d);
    }
};

struct CertificateRun {
    TempFolder folder{"certificates"};
    ProgressHook reporter;

    // The shipped template, first changed by `editTemplate` when given, and the statement.
    explicit CertificateRun(const Statement& statement, const std::function<void(Workbook&)>& editTemplate = {})
    {
        Workbook wb = Workbook::open(shippedTemplate());
        if (editTemplate)
            editTemplate(wb);
        wb.save(templatePath());
        writeBytes(folder / "TDS.txt", statement.text());
    }
    app::GenerateOutcome generate() { return app::GenerateCommand(folder.path(), reporter).run(); }

    std::filesystem::path templatePath() const { return folder / "TDS16A.xls"; }
    std::filesystem::path output() const { return folder / "Form16A"; }
    // The names in Form16A, sorted.
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (auto it = std::filesystem::directory_iterator(output(), ec); !ec && it != std::filesystem::directory_iterator();
             it.increment(ec))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    Workbook certificate(const std::string& file) const { return Workbook::open(output() / file); }
};

// A statement date as the certificates show it: "15062008" gives "15.06.2008", "7022009" "7.02.2009".
inline std::string dotted(const std::string& digits)
{
    const std::size_t day = digits.size() - 6;
    return digits.substr(0, day) + "." + digits.substr(day, 2) + "." + digits.substr(day + 2);
}

inline std::string text(const Value& v) { return host::valueText(v); }
inline double number(const Value& v) { return host::isNumber(v) ? std::get<double>(v) : -1e300; }

// A statement of one challan per entry: its section, deposit date (which is the certificate
// date) and its deductee records.
inline Statement statementOf(const std::vector<Challan>& challans)
{
    Statement s;
    s.challans = challans;
    return s;
}

// `n` records of one deductee, told apart by their amounts paid (base + 1, base + 2, ...).
inline std::vector<Deductee> recordsOf(const std::string& name, const std::string& pan, int n, int base = 0)
{
    std::vector<Deductee> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        out[static_cast<std::size_t>(i)].name = name;
        out[static_cast<std::size_t>(i)].pan = pan;
        out[static_cast<std::size_t>(i)].amount = std::to_string(base + i + 1);
    }
    return out;
}

} // namespace cw::test
