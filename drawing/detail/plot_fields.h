#pragma once

// The group codes of AcDbPlotSettings and the LayoutPlotSettings fields they hold, in the order
// the host CAD writes them.

#include <cstdint>
#include <string>

#include "drawing/document.h"

namespace kw::drawing::detail {

struct PlotField {
    std::int16_t code;
    std::string LayoutPlotSettings::*text;
    double LayoutPlotSettings::*real;
    std::int16_t LayoutPlotSettings::*integer;
};

using S = LayoutPlotSettings;
inline constexpr PlotField kPlotFields[] = {
    {1, &S::pageSetupName, nullptr, nullptr},
    {2, &S::configName, nullptr, nullptr},
    {4, &S::canonicalMediaName, nullptr, nullptr},
    {6, &S::plotViewName, nullptr, nullptr},
    {40, nullptr, &S::marginLeftMm, nullptr},
    {41, nullptr, &S::marginBottomMm, nullptr},
    {42, nullptr, &S::marginRightMm, nullptr},
    {43, nullptr, &S::marginTopMm, nullptr},
    {44, nullptr, &S::paperWidthMm, nullptr},
    {45, nullptr, &S::paperHeightMm, nullptr},
    {46, nullptr, &S::plotOriginXMm, nullptr},
    {47, nullptr, &S::plotOriginYMm, nullptr},
    {48, nullptr, &S::windowMinX, nullptr},
    {49, nullptr, &S::windowMinY, nullptr},
    {140, nullptr, &S::windowMaxX, nullptr},
    {141, nullptr, &S::windowMaxY, nullptr},
    {142, nullptr, &S::customScalePaper, nullptr},
    {143, nullptr, &S::customScaleDrawing, nullptr},
    {70, nullptr, nullptr, &S::flags},
    {72, nullptr, nullptr, &S::paperUnits},
    {73, nullptr, nullptr, &S::plotRotation},
    {74, nullptr, nullptr, &S::plotType},
    {7, &S::styleSheet, nullptr, nullptr},
    {75, nullptr, nullptr, &S::standardScaleType},
    {147, nullptr, &S::standardScaleFactor, nullptr},
    {76, nullptr, nullptr, &S::shadePlotMode},
    {77, nullptr, nullptr, &S::shadePlotResolution},
    {78, nullptr, nullptr, &S::shadePlotDpi},
    {148, nullptr, &S::paperImageOriginX, nullptr},
    {149, nullptr, &S::paperImageOriginY, nullptr},
};

inline const PlotField* FindPlotField(int code) {
    for (const auto& field : kPlotFields)
        if (field.code == code)
            return &field;
    return nullptr;
}

// Position of a code in the written order; a large number for codes not in the table.
inline int PlotFieldRank(int code) {
    int rank = 0;
    for (const auto& field : kPlotFields) {
        if (field.code == code)
            return rank;
        ++rank;
    }
    return 1000;
}

inline bool PlotFieldEqual(const PlotField& field, const LayoutPlotSettings& a,
                           const LayoutPlotSettings& b) {
    if (field.text)
        return a.*field.text == b.*field.text;
    if (field.real) {
        const double x = a.*field.real;
        const double y = b.*field.real;
        return x == y || (x != x && y != y); // NaN read from the file stays NaN
    }
    return a.*field.integer == b.*field.integer;
}

} // namespace kw::drawing::detail
