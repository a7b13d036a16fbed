// The cell table of a worksheet: value cells, runs of cells, formulas with the records anchored
// to them, and ROW records.

#include "host/biff/Bytes.h"
#include "host/biff/Records.h"
#include "host/biff/Rk.h"
#include "host/biff/XlsParser.h"

#include <cstring>

namespace cw::host {

using namespace biff;

namespace {

bool validError(std::uint8_t code)
{
    switch (code) {
    case 0x00: case 0x07: case 0x0F: case 0x17: case 0x1D: case 0x24: case 0x2A: return true;
    default: return false;
    }
}

} // namespace

bool XlsParser::readCellTableRecord(Sheet& sh, std::uint16_t type)
{
    switch (type) {
    case rt::Number:
    case rt::RK:
    case rt::LabelSst:
    case rt::Label:
    case rt::RString:
    case rt::Blank:
    case rt::BoolErr:
        readSingleCell(sh, type);
        break;
    case rt::MulRk:
    case rt::MulBlank:
        readCellRun(sh, type);
        break;
    case rt::Formula:
        readFormula(sh);
        break;
    case rt::ShrFmla:
    case rt::Array:
    case rt::Table:
        if (m_ws.lastFormula == kNoFormula)
            sheetFail(sh, recordName(type) + " record without the formula cell it belongs to");
        sh.formulas()[m_ws.lastFormula].follow.push_back({type, m_r.bodyCopy()});
        break;
    case rt::String:
        readFormulaText(sh);
        break;
    case rt::Row:
        readRow(sh);
        break;
    case rt::Index:
        return true; // rebuilt by the writer; its position does not open the cell table
    case rt::DBCell:
        break;
    default:
        return false;
    }
    m_ws.afterCells = true;
    return true;
}

void XlsParser::readSingleCell(Sheet& sh, std::uint16_t type)
{
    const int r = m_r.u16(), c = m_r.u16();
    const std::uint16_t xf = m_r.u16();
    Value value;
    std::uint8_t boolOrError = 0, isError = 0;
    switch (type) {
    case rt::Number:
        value = m_r.f64();
        break;
    case rt::RK:
        value = decodeRk(m_r.u32());
        break;
    case rt::LabelSst: {
        const std::uint32_t isst = m_r.u32();
        if (isst >= m_sst.size())
            cellFail(Error::Code::Corrupt, sh, r, c,
                     "shared string " + std::to_string(isst) + " does not exist (the table holds "
                         + std::to_string(m_sst.size()) + ")");
        value = m_sst[isst];
        break;
    }
    case rt::BoolErr:
        boolOrError = m_r.u8();
        isError = m_r.u8();
        break;
    case rt::Blank:
        break;
    default: // LABEL, RSTRING: the text in the record itself
        m_text.clear();
        m_r.unicodeString(m_text);
        value = m_text;
        break;
    }
    const std::uint16_t checked = checkedXf(xf, sh, r, c);
    if (type == rt::BoolErr) {
        if (isError && !validError(boolOrError))
            cellFail(Error::Code::Corrupt, sh, r, c, "unknown error value " + std::to_string(boolOrError));
        value = isError ? Value(static_cast<ErrorValue>(boolOrError)) : Value(boolOrError != 0);
    }
    setCell(sh, r, c, Cell{std::move(value), checked});
}

// MULRK and MULBLANK: one row, consecutive columns, a format (and number) per cell.
void XlsParser::readCellRun(Sheet& sh, std::uint16_t type)
{
    const bool numbers = type == rt::MulRk;
    const char* name = numbers ? "MULRK" : "MULBLANK";
    const std::size_t cellSize = numbers ? 6 : 2;
    const int r = m_r.u16(), first = m_r.u16();
    if (m_r.remaining() < 2 || (m_r.remaining() - 2) % cellSize != 0)
        m_r.fail(std::string("a ") + name + " record of " + std::to_string(m_r.length()) + " bytes"
                 + (numbers ? " (6 + 6 per cell expected)" : ""));
    const int n = static_cast<int>((m_r.remaining() - 2) / cellSize);
    const int last = le16(m_r.body() + m_r.length() - 2);
    if (n == 0 || last != first + n - 1)
        m_r.fail(std::string("a ") + name + " record for columns " + std::to_string(first + 1) + " to "
                 + std::to_string(last + 1) + " holds " + std::to_string(n) + " cells");
    for (int i = 0; i < n; ++i) {
        const std::uint16_t xf = m_r.u16();
        const double number = numbers ? decodeRk(m_r.u32()) : 0.0;
        const std::uint16_t checked = checkedXf(xf, sh, r, first + i);
        setCell(sh, r, first + i, Cell{numbers ? Value(number) : Value(), checked});
    }
}

void XlsParser::readFormula(Sheet& sh)
{
    const int r = m_r.u16(), c = m_r.u16();
    const std::uint16_t xf = m_r.u16();
    const std::uint8_t* val = m_r.bytes(8);
    Formula f;
    f.flags = m_r.u16();
    f.chn = m_r.u32();
    const std::size_t rest = m_r.remaining();
    const std::uint8_t* parsed = m_r.bytes(rest);
    if (rest < 2 || std::size_t(le16(parsed)) + 2 > rest)
        cellFail(Error::Code::Corrupt, sh, r, c, "the formula is longer than its record");
    f.parsed.assign(parsed, parsed + rest);
    Cell cell;
    cell.xf = checkedXf(xf, sh, r, c);
    // FormulaValue: a double, or a tagged result with 0xFFFF in its top two bytes.
    if (val[6] == 0xFF && val[7] == 0xFF) {
        switch (val[0]) {
        case 0: cell.value = std::string(); m_ws.stringPending = true; break;
        case 1: cell.value = val[2] != 0; break;
        case 2:
            if (!validError(val[2]))
                cellFail(Error::Code::Corrupt, sh, r, c, "unknown error value " + std::to_string(val[2]));
            cell.value = static_cast<ErrorValue>(val[2]);
            break;
        case 3: cell.value = std::string(); break;
        default:
            cellFail(Error::Code::Corrupt, sh, r, c, "unknown type " + std::to_string(val[0]) + " of the formula's result");
        }
    } else {
        double d;
        std::memcpy(&d, val, sizeof d); // little-endian IEEE 754, as every supported platform
        cell.value = d;
    }
    auto& formulas = sh.formulas();
    m_ws.lastFormula = static_cast<std::uint32_t>(formulas.size());
    cell.formula = m_ws.lastFormula;
    setCell(sh, r, c, std::move(cell));
    formulas.push_back(std::move(f));
    m_ws.formulaRow = r;
    m_ws.formulaCol = c;
}

// STRING: the text result of the formula just read.
void XlsParser::readFormulaText(Sheet& sh)
{
    if (!m_ws.stringPending)
        sheetFail(sh, "a STRING record that follows no formula with a text result");
    m_text.clear();
    m_r.unicodeString(m_text, true);
    Cell cell = *sh.cell(m_ws.formulaRow, m_ws.formulaCol);
    cell.value = m_text;
    sh.setCell(m_ws.formulaRow, m_ws.formulaCol, std::move(cell));
    m_ws.stringPending = false;
}

void XlsParser::readRow(Sheet& sh)
{
    const int r = m_r.u16();
    m_r.u16(); // first column
    m_r.u16(); // last column + 1
    const std::uint16_t height = m_r.u16();
    m_r.u16();
    m_r.u16();
    const std::uint16_t flags = m_r.u16();
    const std::uint16_t xfWord = m_r.u16();
    reserveRow(sh, r);
    RowInfo& ri = sh.rowInfoAt(r);
    ri.heightTwips = height & 0x7FFF;
    ri.outlineLevel = flags & 0x07;
    ri.collapsed = (flags & 0x0010) != 0;
    ri.hidden = (flags & 0x0020) != 0;
    ri.customHeight = (flags & 0x0040) != 0;
    ri.hasFormat = (flags & 0x0080) != 0;
    const std::uint16_t xf = xfWord & 0x0FFF;
    if (ri.hasFormat && xf >= m_wb.xfs().size())
        sheetFail(sh, "row " + std::to_string(r + 1) + " has cell format " + std::to_string(xf) + ", which does not exist");
    ri.xf = ri.hasFormat ? xf : kDefaultXf;
    ri.thickTop = (xfWord & 0x1000) != 0;
    ri.thickBottom = (xfWord & 0x2000) != 0;
    ri.present = true;
}

// ---- bounds -------------------------------------------------------------------------------

void XlsParser::sheetFail(const Sheet& sh, const std::string& what) const
{
    throw m_r.error(Error::Code::Corrupt, "sheet \"" + sh.name() + "\": " + what);
}

void XlsParser::cellFail(Error::Code code, const Sheet& sh, int row, int col, const std::string& what) const
{
    const std::string where = col <= kXlsMaxCol ? toA1(row, col) : "row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1);
    throw m_r.error(code, "sheet \"" + sh.name() + "\", cell " + where + ": " + what);
}

std::uint16_t XlsParser::checkedXf(std::uint16_t ixfe, const Sheet& sh, int row, int col) const
{
    if (ixfe >= m_wb.xfs().size())
        cellFail(Error::Code::Corrupt, sh, row, col,
                 "cell format " + std::to_string(ixfe) + " does not exist (the file has "
                     + std::to_string(m_wb.xfs().size()) + ")");
    return ixfe;
}

void XlsParser::reserveRow(Sheet& sh, int row)
{
    // Rows are held up to the highest one touched, whether or not it keeps anything.
    if (row >= m_rowsHeld) {
        const std::size_t more = static_cast<std::size_t>(row - m_rowsHeld + 1);
        if (more > m_rowBudget)
            throw m_r.error(Error::Code::Limit, "sheet \"" + sh.name() + "\": more rows than a file of this size can hold");
        m_rowBudget -= more;
        m_rowsHeld = row + 1;
    }
}

void XlsParser::setCell(Sheet& sh, int row, int col, Cell cell)
{
    if (col > kXlsMaxCol)
        cellFail(Error::Code::Limit, sh, row, col, "the column lies beyond column IV, the last of an .xls sheet");
    reserveRow(sh, row);
    const int width = sh.rowWidth(row);
    if (col >= width) {
        const std::size_t more = static_cast<std::size_t>(col - width + 1);
        if (more > m_slotBudget)
            throw m_r.error(Error::Code::Limit, "sheet \"" + sh.name() + "\": more cells than a file of this size can hold");
        m_slotBudget -= more;
    }
    sh.setCell(row, col, std::move(cell));
}

} // namespace cw::host
