#pragma once
// Generate over a generated statement and the shipped template in a scratch application
// folder, through the command the window and the command line run.

#include "SyntheticStatement.h"
#include "TestSupport.h"
#include "app/GenerateCommand.h"
#include "core/PathText.h"
#include "host/General.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

namespace cw::test {

namespace fs = std::filesystem;
using host::Sheet;
using host::Value;
using host::Workbook;

inline fs::path shippedTemplate() { return fs::path(CERTWRIGHT_APP_DIR) / "TDS16A.xls"; }

// Everything under `folder` by relative path: a file's bytes, a link's target, "<folder>".
inline std::map<std::string, std::string> snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().lexically_relative(folder).string();
        entries[name] = it->is_symlink() ? "-> " + fs::read_symlink(it->path()).string()
                        : it->is_directory() ? "<folder>" : readBytes(it->path());
    }
    return entries;
}

struct CertificateRun {
    TempFolder folder{"certificates"};
    RecordingReporter reporter;

    // The shipped template, first changed by `editTemplate` when given, and the statement.
    explicit CertificateRun(const Statement& statement, const std::function<void(Workbook&)>& editTemplate = {},
                            const fs::path& appFolder = {})
        : app(appFolder.empty() ? folder.path() : appFolder)
    {
        Workbook wb = Workbook::open(shippedTemplate());
        if (editTemplate)
            editTemplate(wb);
        wb.save(templatePath());
        writeBytes(app / "TDS.txt", statement.text());
    }
    app::GenerateOutcome generate()
    {
        app::GenerateCommand command(app, reporter);
        command.setByteWriter(writer);
        return command.run();
    }
    void editTemplate(const std::function<void(Workbook&)>& edit) const
    {
        Workbook wb = Workbook::open(templatePath());
        edit(wb);
        wb.save(templatePath());
    }

    fs::path templatePath() const { return app / "TDS16A.xls"; }
    fs::path output() const { return app / "Form16A"; }
    // The certificate files of Form16A, without the register beside them.
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : snapshot(output()))
            if (name != "Register.xls")
                names.push_back(name);
        return names;
    }
    fs::path registerPath() const { return output() / "Register.xls"; }
    Workbook certificate(const std::string& file) const { return Workbook::open(output() / file); }

    fs::path app;
    host::ByteWriter writer; // how the run's files get their bytes; empty: as they normally do
};

// A statement date as the certificates show it: "15062008" gives "15.06.2008", "7022009" "7.02.2009".
inline std::string dotted(const std::string& digits)
{
    const std::size_t day = digits.size() - 6;
    return digits.substr(0, day) + "." + digits.substr(day, 2) + "." + digits.substr(day + 2);
}

inline std::string text(const Value& v) { return host::valueText(v); }
inline double number(const Value& v) { return host::isNumber(v) ? std::get<double>(v) : -1e300; }

// A challan of these records under a section, deposited (and certified) on a date.
inline Challan challanOf(std::vector<Deductee> records, const std::string& section = "94C", const std::string& date = "07072008")
{
    return Challan{"00123", "0510308", date, section, "456789", std::move(records)};
}

// One challan per entry, with its deductee records.
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
    for (int i = 0; i < n; ++i)
        out[static_cast<std::size_t>(i)] = {name, pan, std::to_string(base + i + 1)};
    return out;
}

} // namespace cw::test
