#include "render/colors.h"

#include <array>
#include <cmath>

namespace kw::render {
namespace {

// The palette: 1-9 named colours; 10-249 in 24 hues of 15 degrees, ten shades each (five values,
// full and half saturation alternating); 250-255 greys.
std::array<QRgb, 256> MakePalette() {
    std::array<QRgb, 256> palette{};
    const QRgb named[10] = {qRgb(0, 0, 0),      qRgb(255, 0, 0),     qRgb(255, 255, 0),
                            qRgb(0, 255, 0),    qRgb(0, 255, 255),   qRgb(0, 0, 255),
                            qRgb(255, 0, 255),  qRgb(255, 255, 255), qRgb(128, 128, 128),
                            qRgb(192, 192, 192)};
    for (int i = 0; i < 10; ++i)
        palette[i] = named[i];
    const int values[5] = {255, 165, 127, 76, 38};
    for (int i = 10; i < 250; ++i) {
        const int hue = (i / 10 - 1) * 15;
        const int shade = i % 10;
        const int value = values[shade / 2];
        const int saturation = shade % 2 == 0 ? 255 : 128;
        palette[i] = QColor::fromHsv(hue, saturation, value).rgb();
    }
    const int greys[6] = {51, 80, 105, 130, 190, 255};
    for (int i = 0; i < 6; ++i)
        palette[250 + i] = qRgb(greys[i], greys[i], greys[i]);
    return palette;
}

} // namespace

QColor AciColor(int index) {
    static const std::array<QRgb, 256> palette = MakePalette();
    if (index < 1 || index > 255)
        return QColor(Qt::black);
    return QColor::fromRgb(palette[static_cast<std::size_t>(index)]);
}

QColor StyledColor(const QColor& drawn, StyleMode mode) {
    switch (mode) {
    case StyleMode::Monochrome:
        return QColor(Qt::black);
    case StyleMode::Grayscale: {
        // Luminance by the weights of ITU-R BT.601, as print drivers convert.
        const int y = static_cast<int>(
            std::lround(0.299 * drawn.red() + 0.587 * drawn.green() + 0.114 * drawn.blue()));
        return QColor(y, y, y);
    }
    case StyleMode::AsDrawn:
        break;
    }
    return drawn;
}

} // namespace kw::render
