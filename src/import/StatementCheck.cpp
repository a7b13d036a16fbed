#include "import/StatementCheck.h"

#include "import/SheetCells.h"
#include "import/WorkSheets.h"

#include <algorithm>

namespace cw::import {

namespace {

constexpr int kBatchRow = 1; // line 2

std::string lineText(int row) { return "Line " + std::to_string(row + 1) + " of TDS.txt"; }

std::string batchField(const GenerationContext& ctx, int field)
{
    return cellText(*ctx.workbook, sheetByName(*ctx.workbook, kTextSheet), kBatchRow, field - 1);
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

} // namespace

std::optional<std::string> otherFormRefusal(const GenerationContext& ctx)
{
    const std::string form = batchField(ctx, kBatchHeader.formType);
    if (form == "26Q")
        return std::nullopt;
    if (form == "140")
        return "TDS.txt is a Form 140 statement. Certwright makes Form 16A certificates from Form 26Q "
               "statements, for the financial years up to " +
               yearText(kForm26QLayouts.back()->lastYear) + ".";
    return "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.";
}

const StatementLayout& checkStatement(GenerationContext& ctx)
{
    const std::string yearField = batchField(ctx, kBatchHeader.financialYear);
    const std::optional<int> year = financialYear(yearField);
    if (!year)
        throw StatementError(kBatchRow + 1, lineText(kBatchRow) + ": \"" + fieldForMessage(yearField) +
                                                "\" is not a financial year such as 202425.");
    ctx.layout = nullptr;
    for (const StatementLayout* layout : kForm26QLayouts)
        if (*year >= layout->firstYear && *year <= layout->lastYear)
            ctx.layout = layout;
    if (!ctx.layout)
        throw StatementError(kBatchRow + 1, lineText(kBatchRow) + ": Certwright reads Form 26Q statements of the "
                                                "financial years " + yearText(kForm26QLayouts.front()->firstYear) +
                                                " to " + yearText(kForm26QLayouts.back()->lastYear) + ", not " +
                                                yearText(*year) + ".");
    return *ctx.layout;
}

} // namespace cw::import
