#include "cad/automation.h"
#include "base/error.h"

namespace kw {

namespace {

constexpr std::pair<PageFileKind, const char*> kPageFiles[] = {
    {PageFileKind::Pdf, "pdf"},
    {PageFileKind::Png, "png"},
    {PageFileKind::Tiff, "tiff"},
    {PageFileKind::Svg, "svg"},
};

} // namespace

std::string PageFormat::Extension() const {
    return kind == PageFileKind::Tiff ? ".tif" : "." + Name();
}

std::string PageFormat::Name() const {
    for (const auto& [known, name] : kPageFiles) {
        if (known == kind) {
            return name;
        }
    }
    return "pdf";
}

PageFileKind PageFormat::KindNamed(const std::string& name) {
    for (const auto& [kind, known] : kPageFiles) {
        if (name == known) {
            return kind;
        }
    }
    if (name == "tif") {
        return PageFileKind::Tiff;
    }
    throw Error(errors::kInvalidCall, "expected pdf, png, tiff or svg, got \"" + name + "\"");
}

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
