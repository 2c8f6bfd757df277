#include "render/shx_metrics.h"

namespace kw::render {
namespace {

// The drafting shape fonts (txt, simplex, romans and the national standard fonts drawn after
// them) space their letters as Hershey's Roman Simplex does: these are its advances (right minus
// left position of each character), measured from the font's data as Debian ships it
// (hershey-fonts-data, rowmans.jhf), in its units, of which a capital letter is 21 high. The
// Hershey Fonts were originally created by Dr. A. V. Hershey while working at the U. S. National
// Bureau of Standards; the format of their data was originally created by James Hurt, Cognition,
// Inc.
constexpr double kCapitalUnits = 21.0;
constexpr unsigned char kAdvances[95] = {
    16, 10, 16, 21, 20, 24, 26, 10, 14, 14, 16, 26, 10, 26, 10, 22, // space ! " # ... /
    20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 10, 10, 24, 26, 24, 18, // 0-9 : ; < = > ?
    27, 18, 21, 21, 21, 19, 18, 21, 22, 8,  16, 21, 17, 24, 22, 22, // @ A-O
    21, 22, 21, 20, 16, 22, 18, 24, 20, 18, 20, 14, 14, 14, 16, 16, // P-Z [ \ ] ^ _
    10, 19, 19, 18, 19, 18, 12, 19, 19, 8,  10, 17, 8,  30, 19, 19, // ` a-o
    19, 19, 13, 17, 12, 19, 16, 22, 17, 16, 17, 14, 8,  14, 24,     // p-z { | } ~
};

} // namespace

std::optional<double> ShxLatinAdvance(char32_t codePoint) {
    if (codePoint < 0x20 || codePoint > 0x7E)
        return std::nullopt;
    return kAdvances[codePoint - 0x20] / kCapitalUnits;
}

} // namespace kw::render
