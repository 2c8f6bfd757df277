#include "render/fonts.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <string>

namespace kw::render {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Family names of the Windows fonts that drawings name by file.
QString FamilyOfFontFile(const std::string& file) {
    std::string stem = Lower(file);
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

QFont StyleFont(const drawing::TextStyle* style) {
    QString family;
    if (style) {
        family = !style->fontFamily.empty() ? QString::fromStdString(style->fontFamily)
                                            : FamilyOfFontFile(style->fontFile);
        if (style->fontFile.empty() && style->fontFamily.empty())
            family = QStringLiteral("Arial"); // the host's default for a style without a font
    }
    const QString fallback = QString::fromLatin1(kFallbackFamily);
    QFont font;
    if (!family.isEmpty() && QFontDatabase::hasFamily(family))
        font.setFamilies(QStringList{family, fallback});
    else
        font.setFamilies(QStringList{fallback});
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    font.setPixelSize(kFontPixels);
    return font;
}

} // namespace kw::render
