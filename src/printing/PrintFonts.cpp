#include "printing/PrintFonts.h"

#include "host/Format.h"

#include <algorithm>
#include <cmath>

namespace cw::printing {

QStringList printFamilies(const std::string& name)
{
    static const struct {
        const char* name;
        const char* family;
    } kTwins[] = {
        {"arial", "Liberation Sans"},      {"helvetica", "Liberation Sans"}, {"tahoma", "Liberation Sans"},
        {"times new roman", "Liberation Serif"}, {"times", "Liberation Serif"},
        {"courier new", "Liberation Mono"}, {"courier", "Liberation Mono"}, {"verdana", "DejaVu Sans"},
    };
    const QString named = QString::fromStdString(name).trimmed();
    for (const auto& twin : kTwins)
        if (named.compare(QLatin1String(twin.name), Qt::CaseInsensitive) == 0)
            return {QString::fromLatin1(twin.family), named};
    return {named};
}

namespace {

QFont styledFont(const host::Font& font)
{
    QFont f;
    f.setFamilies(printFamilies(font.name));
    f.setWeight(static_cast<QFont::Weight>(std::clamp<int>(font.weight, 100, 900)));
    f.setItalic(font.italic);
    return f;
}

double points(const host::Font& font) { return std::max(1.0, font.heightTwips / 20.0); }

} // namespace

QFont screenFont(const host::Font& font)
{
    QFont f = styledFont(font);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(font.heightTwips / 20.0 * 96.0 / 72.0))));
    return f;
}

QFont pageFont(const host::Font& font, double deviceDpi)
{
    QFont f = styledFont(font);
    f.setPointSizeF(points(font) * 72.0 / deviceDpi);
    f.setUnderline(font.underline != 0);
    f.setStrikeOut(font.strikeout);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    return f;
}

QFont digitMeasureFont(const host::Font& font, int pixelsPerPoint)
{
    QFont f;
    f.setFamilies(printFamilies(font.name));
    f.setBold(font.bold());
    f.setItalic(font.italic);
    f.setPixelSize(static_cast<int>(std::lround(points(font) * pixelsPerPoint)));
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

} // namespace cw::printing
