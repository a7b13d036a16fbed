#pragma once

#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <string>

// A scratch application folder for window tests: a copy of the staged template workbook and
// sample statement, so that every test starts from the files a user's installation has.
class AppFolder {
public:
    AppFolder();

    // Empty when the staged files were missing: `problem()` says what to build.
    bool ok() const { return m_problem.empty(); }
    const std::string& problem() const { return m_problem; }

    std::filesystem::path path() const;
    std::filesystem::path templatePath() const { return path() / "TDS16A.xls"; }
    std::filesystem::path statementPath() const { return path() / "TDS.txt"; }

    std::string read(const std::string& name) const;
    void write(const std::string& name, const std::string& bytes) const;

private:
    QTemporaryDir m_dir;
    std::string m_problem;
};
