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

PlotJob FrameJob(const FrameExtent& frame, const PlotSettings& settings) {
    const double frameLengthMm = settings.FrameLengthMm();
    const FrameWindow window =
        ComputeFrameWindow(frame, frameLengthMm, settings.PointAllowanceMm());
    PlotJob job;
    job.lowerLeft = window.lowerLeft;
    job.upperRight = window.upperRight;
    job.rotation = PlotRotation(settings.portrait, settings.reversePlot);
    job.lineweights = settings.plotLineweights;
    job.plotStyles = settings.plotStyles;
    job.hidden = settings.hideObjects;
    job.paperMm = frameLengthMm;
    job.drawingUnits = frame.Width();
    job.centered = settings.centerPlot;
    if (!job.centered) {
        job.originMm = {settings.OffsetXMm(), settings.OffsetYMm()};
    }
    return job;
}

void ConfigureFrame(CadPlotConfiguration& layout, const FrameExtent& frame,
                    const PlotSettings& settings) {
    ApplyJob(layout, FrameJob(frame, settings));
}

} // namespace kw
