#pragma once

#include "check/StatementCheck.h"

#include <QDialog>

#include <filesystem>
#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;

namespace cw::app {

// What the statement check found: the findings in a table that sorts by any column, the
// summary beneath, and "Save Report…" writing both to an .xls workbook.
class CheckWindow : public QDialog {
    Q_OBJECT
public:
    // Asks where to save the report; an empty path when the user cancels.
    using ReportChooser = std::function<std::filesystem::path(QWidget* parent)>;

    CheckWindow(check::CheckResult result, ReportChooser chooser, QWidget* parent = nullptr);

    const check::CheckResult& result() const { return m_result; }

private:
    void saveReport();

    check::CheckResult m_result;
    ReportChooser m_chooser;
    QTableWidget* m_table;
    QLabel* m_summary;
};

// The file dialog that asks for the report's name, beside the statement by default.
std::filesystem::path chooseReportFile(QWidget* parent, const std::filesystem::path& folder);

} // namespace cw::app
