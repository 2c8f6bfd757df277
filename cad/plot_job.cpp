#include "cad/automation.h"

namespace kw {

void ApplyJob(CadPlotConfiguration& layout, const PlotJob& job) {
    if (job.paper) {
        layout.PutCanonicalMediaName(job.paper->canonicalName);
    }
    layout.SetWindowToPlot(job.lowerLeft, job.upperRight);
    layout.PutPlotType(4);
    layout.PutPlotRotation(job.rotation);
    layout.PutPlotWithLineweights(job.lineweights);
    layout.PutPlotWithPlotStyles(job.plotStyles);
    layout.PutPlotHidden(job.hidden);
    layout.SetCustomScale(job.paperMm, job.drawingUnits);
    if (job.centered) {
        layout.PutCenterPlot(true);
    } else {
        layout.PutCenterPlot(false);
        layout.PutPlotOrigin(job.originMm);
    }
}

} // namespace kw
