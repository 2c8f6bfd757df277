#include "engine/plot_configuration.h"

#include <cmath>

#include "base/error.h"

namespace kw {

FrameWindow ComputeFrameWindow(const FrameExtent& frame, double frameLengthMm,
                               double pointAllowanceMm) {
    // Checked here rather than left to IEEE arithmetic: an infinite or NaN window must never
    // reach the CAD application.
    if (frameLengthMm == 0.0) {
        if (pointAllowanceMm == 0.0)
            throw Error(errors::kOverflow, "Overflow");
        throw Error(errors::kDivisionByZero, "Division by zero");
    }
    const double width = frame.Width();
    const double margin = pointAllowanceMm / frameLengthMm * width;
    FrameWindow window;
    window.marginUnits = margin;
    window.lowerLeft = {frame.xMin - margin, frame.yMin - margin};
    window.upperRight = {frame.xMax + margin, frame.yMax + margin};
    for (double value :
         {margin, window.lowerLeft.x, window.lowerLeft.y, window.upperRight.x, window.upperRight.y})
        if (!std::isfinite(value))
            throw Error(errors::kOverflow, "Overflow");
    return window;
}

std::int32_t PlotRotation(bool portrait, bool reversePlot) {
    if (portrait)
        return reversePlot ? 3 : 1;
    return reversePlot ? 2 : 0;
}

void PrepareLayout(CadPlotConfiguration& layout, const PlotSettings& settings,
                   const PaperTable& papers) {
    layout.PutConfigName(settings.printerName);
    layout.PutStyleSheet(settings.styleTable);
    layout.PutCanonicalMediaName(papers.CanonicalName(settings.paperName));
    layout.PutPaperUnits(1);
}

void ConfigureFrame(CadPlotConfiguration& layout, const FrameExtent& frame,
                    const PlotSettings& settings) {
    const double frameLengthMm = settings.FrameLengthMm();
    const FrameWindow window =
        ComputeFrameWindow(frame, frameLengthMm, settings.PointAllowanceMm());
    layout.SetWindowToPlot(window.lowerLeft, window.upperRight);
    layout.PutPlotType(4);
    layout.PutPlotRotation(PlotRotation(settings.portrait, settings.reversePlot));
    layout.PutPlotWithLineweights(settings.plotLineweights);
    layout.PutPlotWithPlotStyles(settings.plotStyles);
    layout.PutPlotHidden(settings.hideObjects);
    layout.SetCustomScale(frameLengthMm, frame.Width());
    if (settings.centerPlot) {
        layout.PutCenterPlot(true);
    } else {
        layout.PutCenterPlot(false);
        layout.PutPlotOrigin({settings.OffsetXMm(), settings.OffsetYMm()});
    }
}

void PlotFrame(CadPlotConfiguration& layout, CadApplication& application, const FrameExtent& frame,
               const PlotSettings& settings, std::int16_t copies) {
    ConfigureFrame(layout, frame, settings);
    application.ActiveDocument()->Plot()->PutNumberOfCopies(copies);
    application.ActiveDocument()->Plot()->PlotToDevice();
}

} // namespace kw
