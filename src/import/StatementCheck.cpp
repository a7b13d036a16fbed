#include "import/StatementCheck.h"

#include "import/SheetCells.h"
#include "import/WorkSheets.h"

#include <algorithm>
#include <cmath>

namespace cw::import {

namespace {

constexpr int kBatchRow = 1; // line 2
constexpr int kTypeColumn = 1; // the record type, field 2

std::string lineText(int row) { return "Line " + std::to_string(row + 1) + " of TDS.txt"; }

[[noreturn]] void refuse(int row, const std::string& what)
{
    throw StatementError(row + 1, lineText(row) + what);
}

// "1 deductee record", "2 deductee records".
std::string counted(long long n, const std::string& what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// "2024-25" for 2024.
std::string yearText(int firstYear)
{
    const int next = (firstYear + 1) % 100;
    return std::to_string(firstYear) + (next < 10 ? "-0" : "-") + std::to_string(next);
}

// The first calendar year of a financial year written "yyyyyy" ("202425"), or nothing.
std::optional<int> financialYear(std::string_view text)
{
    if (text.size() != 6 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int first = std::stoi(std::string(text.substr(0, 4)));
    if (std::stoi(std::string(text.substr(4))) != (first + 1) % 100)
        return std::nullopt;
    return first;
}

std::string_view recordType(const host::Sheet& text, int row)
{
    return text.textAt(row, kTypeColumn).value_or(std::string_view());
}

// A line with nothing but blanks.
bool isBlank(const host::Sheet& text, int row)
{
    for (int c = 0; c < text.rowWidth(row); ++c) {
        const host::Value v = text.value(row, c);
        const auto* s = std::get_if<std::string>(&v);
        if (!std::holds_alternative<std::monostate>(v) && (!s || s->find_first_not_of(" \t") != std::string::npos))
            return false;
    }
    return true;
}

// The walk over the records after the batch header, with what it has seen so far.
class StructureCheck {
public:
    StructureCheck(const host::Workbook& wb, const host::Sheet& text, const std::vector<std::uint16_t>& lineFields,
                   const StatementLayout& layout)
        : m_wb(wb), m_text(text), m_lineFields(lineFields), m_layout(layout)
    {
    }

    void run()
    {
        requireFields(kBatchRow, "batch header", fieldsNeeded(kBatchHeader));
        const long long challansCounted =
            count(kBatchRow, kBatchHeader.challanCount, "the batch header's count of challan records");
        int last = std::max(m_text.rowCount(), static_cast<int>(m_lineFields.size())) - 1;
        while (last > kBatchRow && isBlank(m_text, last))
            --last; // blank lines at the end
        for (int r = kBatchRow + 1; r <= last; ++r) {
            const std::string_view type = recordType(m_text, r);
            if (type == "CD")
                startChallan(r);
            else if (type == "DD")
                addDeductee(r);
            else
                refuse(r, " is not a challan or deductee record.");
        }
        endChallan();
        if (m_challans != challansCounted)
            refuse(kBatchRow, ": the batch header counts " + counted(challansCounted, "challan record") + ", but " +
                                  follow(m_challans));
    }

private:
    static std::string follow(long long n) { return std::to_string(n) + (n == 1 ? " follows." : " follow."); }

    void requireFields(int row, const char* record, int needed) const
    {
        const int fields = row < static_cast<int>(m_lineFields.size()) ? m_lineFields[static_cast<std::size_t>(row)]
                                                                        : m_text.rowWidth(row);
        if (fields < needed)
            refuse(row, ": the " + std::string(record) + " record has " + counted(fields, "field") +
                            "; Certwright reads up to field " + std::to_string(needed) + ".");
    }

    // A count of records: a whole number (an empty field counts none).
    long long count(int row, int field, const std::string& what) const
    {
        const std::optional<double> n = m_text.number(row, field - 1);
        if (!n || *n < 0 || *n > 1e15 || std::floor(*n) != *n)
            refuse(row, ": " + what + " \"" + fieldForMessage(cellText(m_wb, m_text, row, field - 1)) +
                            "\" is not a whole number.");
        return static_cast<long long>(*n);
    }

    void startChallan(int row)
    {
        endChallan();
        requireFields(row, "challan", fieldsNeeded(m_layout.challan));
        ++m_challans;
        m_challanRow = row;
        m_deducteesCounted = count(row, m_layout.challan.deducteeCount, "the challan's count of deductee records");
        m_deductees = 0;
    }

    void endChallan() const
    {
        if (m_challanRow >= 0 && m_deductees != m_deducteesCounted)
            refuse(m_challanRow, ": challan " + std::to_string(m_challans) + " counts " +
                                     counted(m_deducteesCounted, "deductee record") + ", but " + follow(m_deductees));
    }

    void addDeductee(int row)
    {
        if (m_challanRow < 0)
            refuse(row, ": a deductee record before any challan.");
        requireFields(row, "deductee", fieldsNeeded(m_layout.deductee));
        // Amounts are numbers or nothing: text there would silently count as 0 on a certificate.
        for (const AmountField& a : kDeducteeAmounts) {
            const int col = m_layout.deductee.*a.field - 1;
            if (!m_text.number(row, col)) {
                std::string heading(kDeducteeHeadings[static_cast<std::size_t>(a.column)]);
                while (!heading.empty() && heading.back() == ' ')
                    heading.pop_back();
                refuse(row, ": " + heading + " \"" + fieldForMessage(cellText(m_wb, m_text, row, col)) +
                                "\" is not a number.");
            }
        }
        ++m_deductees;
    }

    const host::Workbook& m_wb;
    const host::Sheet& m_text;
    const std::vector<std::uint16_t>& m_lineFields;
    const StatementLayout& m_layout;
    long long m_challans = 0;
    int m_challanRow = -1;
    long long m_deducteesCounted = 0;
    long long m_deductees = 0;
};

} // namespace

std::optional<std::string> otherFormRefusal(const GenerationContext& ctx)
{
    const host::Sheet& text = sheetByName(*ctx.workbook, kTextSheet);
    const std::string form = cellText(*ctx.workbook, text, kBatchRow, kBatchHeader.formType - 1);
    if (form == "26Q")
        return std::nullopt;
    if (form == "140")
        return "TDS.txt is a Form 140 statement. Certwright makes Form 16A certificates from Form 26Q "
               "statements, for the financial years up to " +
               yearText(kForm26QLayouts.back()->lastYear) + ".";
    return "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.";
}

const StatementLayout& checkStatement(const host::Workbook& wb, const host::Sheet& text,
                                      const std::vector<std::uint16_t>& lineFields)
{
    if (recordType(text, kBatchRow) != "BH")
        refuse(kBatchRow, " is not a batch header record (BH).");
    const std::string yearField = cellText(wb, text, kBatchRow, kBatchHeader.financialYear - 1);
    const std::optional<int> year = financialYear(yearField);
    if (!year)
        refuse(kBatchRow, ": \"" + fieldForMessage(yearField) + "\" is not a financial year such as 202425.");
    const StatementLayout* layout = nullptr;
    for (const StatementLayout* l : kForm26QLayouts)
        if (*year >= l->firstYear && *year <= l->lastYear)
            layout = l;
    if (!layout)
        refuse(kBatchRow, ": Certwright reads Form 26Q statements of the financial years " +
                              yearText(kForm26QLayouts.front()->firstYear) + " to " +
                              yearText(kForm26QLayouts.back()->lastYear) + ", not " + yearText(*year) + ".");
    StructureCheck(wb, text, lineFields, *layout).run();
    return *layout;
}

const StatementLayout& checkStatement(GenerationContext& ctx)
{
    ctx.layout = nullptr;
    ctx.layout = &checkStatement(*ctx.workbook, sheetByName(*ctx.workbook, kTextSheet), ctx.lineFields);
    return *ctx.layout;
}

} // namespace cw::import
