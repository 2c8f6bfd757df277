#include "render/fonts.h"

#include <QDir>
#include <QFontDatabase>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <string>

#include "base/characters.h"
#include "render/shx_font.h"

namespace kw::render {
namespace {

// Family names of the Windows fonts that drawings name by file.
QString FamilyOfFontFile(const std::string& file) {
    std::string stem = AsciiLower(file);
    const auto slash = stem.find_last_of("/\\");
    if (slash != std::string::npos)
        stem = stem.substr(slash + 1);
    const auto dot = stem.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : stem.substr(dot);
    if (dot != std::string::npos)
        stem = stem.substr(0, dot);
    if (extension != ".ttf" && extension != ".ttc" && extension != ".otf" && !extension.empty())
        return {}; // a shape font (.shx) or something else that the system cannot draw
    struct Known {
        const char* file;
        const char* family;
    };
    static const Known known[] = {
        {"simsun", "SimSun"},         {"simhei", "SimHei"},        {"simkai", "KaiTi"},
        {"simfang", "FangSong"},      {"msyh", "Microsoft YaHei"}, {"arial", "Arial"},
        {"times", "Times New Roman"}, {"cour", "Courier New"},     {"isocpeur", "ISOCPEUR"},
    };
    for (const Known& k : known)
        if (stem == k.file)
            return QString::fromLatin1(k.family);
    return QString::fromStdString(stem);
}

} // namespace

QString FallbackFamily() {
    static const QString chosen = [] {
        for (const char* family : kFallbackFamilies) {
            if (QFontDatabase::hasFamily(QString::fromLatin1(family)))
                return QString::fromLatin1(family);
        }
        return QString();
    }();
    return chosen;
}

void AddFontFolder(const QString& folder) {
    static QSet<QString> added;
    if (folder.isEmpty() || added.contains(folder))
        return;
    added.insert(folder);
    const QDir fonts(folder);
    for (const QString& file : fonts.entryList(
             {QStringLiteral("*.ttf"), QStringLiteral("*.ttc"), QStringLiteral("*.otf")},
             QDir::Files, QDir::Name | QDir::IgnoreCase))
        QFontDatabase::addApplicationFont(fonts.absoluteFilePath(file));
}

QFont StyleFont(const drawing::TextStyle* style, const FontMap* map, std::string* missing) {
    QString family;
    std::string named; // how the drawing names it
    if (style) {
        family = !style->fontFamily.empty() ? QString::fromStdString(style->fontFamily)
                                            : FamilyOfFontFile(style->fontFile);
        named = !style->fontFile.empty() ? style->fontFile : style->fontFamily;
        if (style->fontFile.empty() && style->fontFamily.empty()) {
            family = QStringLiteral("Arial"); // the host's default for a style without a font
            named = "Arial";
        }
    }
    if (missing)
        missing->clear();
    QStringList families;
    // A style of a shape font (named without an extension too) is no TrueType font missing: its
    // shapes, or their stand-in, draw it.
    const bool shapeFont = style && style->fontFamily.empty() && IsShapeFontFile(style->fontFile);
    if (!family.isEmpty() && QFontDatabase::hasFamily(family)) {
        families << family;
    } else if (!family.isEmpty()) {
        if (missing && !shapeFont)
            *missing = named;
        if (map) {
            std::string mapped = map->FamilyFor(family.toStdString());
            if (mapped.empty() && style)
                mapped = map->FamilyFor(style->fontFile);
            const QString replacement = QString::fromStdString(mapped);
            if (!replacement.isEmpty() && QFontDatabase::hasFamily(replacement))
                families << replacement;
        }
    }
    if (const QString fallback = FallbackFamily(); !fallback.isEmpty())
        families << fallback;
    if (families.isEmpty())
        families << QString::fromLatin1(kFallbackFamily);
    QFont font;
    font.setFamilies(families);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    font.setPixelSize(kFontPixels);
    return font;
}

} // namespace kw::render
