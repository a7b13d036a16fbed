#include "app/cli/Inspect.h"

#include "host/Error.h"
#include "host/General.h"
#include "host/Workbook.h"

#include <filesystem>
#include <ostream>

namespace cw::app {

namespace {

using namespace cw::host;

std::string escaped(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c; break;
        }
    }
    return out;
}

const char* visibilityText(Visibility v)
{
    switch (v) {
    case Visibility::Hidden: return "hidden";
    case Visibility::VeryHidden: return "very hidden";
    default: return "visible";
    }
}

const char* kindText(SheetKind k)
{
    switch (k) {
    case SheetKind::Chart: return "chart";
    case SheetKind::MacroSheet: return "macro sheet";
    case SheetKind::VbModule: return "module";
    default: return "worksheet";
    }
}

// Writes "TYPE<TAB>VALUE" for a plain value; false for an empty one.
bool writeValue(const Value& v, std::string& type, std::string& text)
{
    if (const double* d = std::get_if<double>(&v)) {
        type = "number";
        text = numberToText(*d);
    } else if (const std::string* s = std::get_if<std::string>(&v)) {
        type = "text";
        text = escaped(*s);
    } else if (const bool* b = std::get_if<bool>(&v)) {
        type = "boolean";
        text = *b ? "TRUE" : "FALSE";
    } else if (const ErrorValue* e = std::get_if<ErrorValue>(&v)) {
        type = "error";
        text = std::string(errorText(*e));
    } else {
        return false;
    }
    return true;
}

} // namespace

int runInspect(const std::string& path, std::ostream& out, std::ostream& err)
{
    Workbook wb;
    try {
        wb = Workbook::open(std::filesystem::path(std::u8string(path.begin(), path.end())));
    } catch (const Error& e) {
        err << e.what() << '\n';
        return 1;
    } catch (const std::bad_alloc&) {
        err << "Cannot read " << path << ": not enough memory\n";
        return 1;
    }

    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& sh = wb.sheet(i);
        out << "sheet\t" << (i + 1) << '\t' << escaped(sh.name()) << '\t' << visibilityText(sh.visibility()) << '\t'
            << kindText(sh.kind()) << '\n';
    }
    std::string type, text;
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& sh = wb.sheet(i);
        if (sh.kind() != SheetKind::Worksheet)
            continue;
        const std::string prefix = escaped(sh.name()) + "!";
        for (int r = 0; r < sh.rowCount(); ++r) {
            for (int c = 0; c < sh.rowWidth(r); ++c) {
                const std::optional<Cell> found = sh.cell(r, c);
                if (!found)
                    continue;
                const Cell& cell = *found;
                const bool hasValue = writeValue(cell.value, type, text);
                if (cell.hasFormula()) {
                    if (!hasValue) {
                        type = "text";
                        text.clear();
                    }
                    out << prefix << toA1(r, c) << "\tformula\t" << type << ' ' << text << '\n';
                } else if (hasValue) {
                    out << prefix << toA1(r, c) << '\t' << type << '\t' << text << '\n';
                }
            }
        }
    }
    return 0;
}

} // namespace cw::app
