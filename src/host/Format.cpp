#include "host/Format.h"

#include "host/Ascii.h"

namespace cw::host {

const char* builtinNumberFormat(std::uint16_t id)
{
    // [MS-XLS] 2.4.126: the builtin formats a file may use without a FORMAT record, in their
    // en-US form (14 and 22 follow the system's short date in a real spreadsheet program).
    switch (id) {
    case 0: return "General";
    case 1: return "0";
    case 2: return "0.00";
    case 3: return "#,##0";
    case 4: return "#,##0.00";
    case 5: return "\"$\"#,##0_);\\(\"$\"#,##0\\)";
    case 6: return "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)";
    case 7: return "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)";
    case 8: return "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)";
    case 9: return "0%";
    case 10: return "0.00%";
    case 11: return "0.00E+00";
    case 12: return "# ?/?";
    case 13: return "# ?\?/??";
    case 14: return "m/d/yyyy";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "m/d/yyyy h:mm";
    case 37: return "#,##0_);(#,##0)";
    case 38: return "#,##0_);[Red](#,##0)";
    case 39: return "#,##0.00_);(#,##0.00)";
    case 40: return "#,##0.00_);[Red](#,##0.00)";
    case 41: return "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)";
    case 42: return "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)";
    case 43: return "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)";
    case 44: return "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)";
    case 45: return "mm:ss";
    case 46: return "[h]:mm:ss";
    case 47: return "mm:ss.0";
    case 48: return "##0.0E+0";
    case 49: return "@";
    default: return nullptr;
    }
}

bool isDateFormat(const std::string& format)
{
    // Only the first section decides, as for a positive number. Quoted text, escaped
    // characters, padding/fill characters and bracketed colours or conditions are not
    // format codes; elapsed-time brackets ([h], [mm], [ss]) are.
    bool inQuote = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (inQuote) {
            if (c == '"')
                inQuote = false;
            continue;
        }
        switch (c) {
        case '"': inQuote = true; continue;
        case '\\':
        case '_':
        case '*': ++i; continue;
        case ';': return false;
        case '[': {
            auto close = format.find(']', i);
            if (close == std::string::npos)
                return false;
            std::string inside = format.substr(i + 1, close - i - 1);
            if (!inside.empty()) {
                char f = asciiLower(inside[0]);
                if ((f == 'h' || f == 'm' || f == 's') &&
                    inside.find_first_not_of(inside[0]) == std::string::npos)
                    return true;
            }
            i = close;
            continue;
        }
        default: break;
        }
        char l = asciiLower(c);
        if (l == 'd' || l == 'm' || l == 'y' || l == 'h' || l == 's') {
            // "General" holds none of these outside its own word; skip the word itself.
            if (format.compare(i, 7, "General") == 0 || format.compare(i, 7, "general") == 0) {
                i += 6;
                continue;
            }
            return true;
        }
        if (l == 'e' && i + 1 < format.size() && (format[i + 1] == '+' || format[i + 1] == '-'))
            return false;
    }
    return false;
}

} // namespace cw::host
