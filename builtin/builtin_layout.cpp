#include <cmath>
#include <sstream>

#include "base/characters.h"
#include "builtin/builtin_objects.h"
#include "render/plot_style_table.h"
#include "sheets/papers.h"

namespace kw::builtin {
namespace {

namespace pf = drawing::plot_flags;

std::string Number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// A layout's plot configuration and what it knows of devices. Every change goes into the
// drawing's layout, which a save writes back into the file.
class BuiltinLayout : public CadLayout {
public:
    BuiltinLayout(std::shared_ptr<DocumentState> state, std::size_t index)
        : m_state(std::move(state)), m_index(index) {}

    void PutConfigName(const std::string& deviceName) override {
        auto& settings = Settings();
        if (!m_state->App()->devices.HasDevice(deviceName)) {
            Fail(errors::kInvalidArgument, "ConfigName: there is no device \"" + deviceName + "\"");
        }
        settings.configName = deviceName;
    }

    void PutStyleSheet(const std::string& styleTable) override {
        auto& settings = Settings();
        if (styleTable.empty()) {
            settings.styleSheet.clear();
            return;
        }
        const auto table = FindStyleTable(styleTable, StyleFolders(m_state->App()->options));
        if (!table) {
            Fail(errors::kInvalidArgument,
                 "StyleSheet: there is no plot style table \"" + styleTable + "\"");
        }
        // $PSTYLEMODE 1 (or absent): colour-dependent tables; 0: named ones.
        const bool colorDependent = m_state->drawing.HeaderNumber("$PSTYLEMODE", 1.0) != 0.0;
        if (colorDependent != (table->kind == StyleTableKind::ColorDependent)) {
            Fail(errors::kStyleTableMismatch,
                 "StyleSheet: \"" + table->name + "\" does not suit a drawing with " +
                     (colorDependent ? "colour-dependent" : "named") + " plot styles");
        }
        if (!table->path.empty()) {
            // A damaged file is refused now, with what is wrong, rather than at the plot.
            try {
                render::PlotStyleTable::Load(table->path);
            } catch (const Error& failure) {
                Fail(errors::kInvalidArgument, "StyleSheet: " + failure.Description());
            }
        }
        settings.styleSheet = table->name;
    }

    void PutCanonicalMediaName(const std::string& paperName) override { SetPaper({paperName}); }

    // The paper by its name among the device's; the PDF device makes a page of any size, which
    // it takes from the paper's size where given and from its name otherwise.
    void SetPaper(const JobPaper& wanted) {
        auto& settings = Settings();
        std::optional<sheets::Paper> paper;
        for (const sheets::Paper& offered : m_state->App()->devices.Papers(settings.configName)) {
            if (AsciiLower(offered.canonicalName) == AsciiLower(wanted.canonicalName)) {
                paper = offered;
            }
        }
        if (!paper && settings.configName == kPdfDevice) {
            // A lengthened sheet of the building standard, a custom sheet of the host's naming.
            if (wanted.widthMm > 0.0 && wanted.heightMm > 0.0) {
                paper = sheets::Paper{wanted.canonicalName, wanted.canonicalName, wanted.widthMm,
                                      wanted.heightMm};
            } else if (const auto sized = sheets::PaperFromCanonicalName(wanted.canonicalName)) {
                paper = sheets::Paper{wanted.canonicalName, wanted.canonicalName, sized->widthMm,
                                      sized->heightMm};
            }
        }
        if (!paper) {
            Fail(errors::kInvalidArgument, "CanonicalMediaName: the device \"" +
                                                       settings.configName + "\" has no paper \"" +
                                                       wanted.canonicalName + "\"");
        }
        settings.canonicalMediaName = paper->canonicalName;
        settings.paperWidthMm = paper->widthMm;
        settings.paperHeightMm = paper->heightMm;
        // The PDF device and the printers as the print system reports them print to the edge.
        settings.marginLeftMm = settings.marginBottomMm = 0.0;
        settings.marginRightMm = settings.marginTopMm = 0.0;
    }

    void PutPaperUnits(std::int32_t units) override {
        Settings().paperUnits = Checked("PaperUnits", units, 0, 2);
    }
    void PutPlotType(std::int32_t type) override {
        Settings().plotType = Checked("PlotType", type, 0, 5);
    }
    void PutPlotRotation(std::int32_t rotation) override {
        Settings().plotRotation = Checked("PlotRotation", rotation, 0, 3);
    }
    void PutPlotWithLineweights(bool on) override { SetFlag(pf::kPrintLineweights, on); }
    void PutPlotWithPlotStyles(bool on) override { SetFlag(pf::kPlotPlotStyles, on); }
    void PutPlotHidden(bool on) override { SetFlag(pf::kPlotHidden, on); }
    void PutCenterPlot(bool on) override { SetFlag(pf::kPlotCentered, on); }

    void PutPlotOrigin(Point originMm) override {
        CheckFinite("PlotOrigin", originMm.x, originMm.y);
        auto& settings = Settings();
        settings.plotOriginXMm = originMm.x;
        settings.plotOriginYMm = originMm.y;
    }

    void SetWindowToPlot(Point lowerLeft, Point upperRight) override {
        CheckFinite("SetWindowToPlot", lowerLeft.x, lowerLeft.y);
        CheckFinite("SetWindowToPlot", upperRight.x, upperRight.y);
        auto& settings = Settings();
        settings.windowMinX = lowerLeft.x;
        settings.windowMinY = lowerLeft.y;
        settings.windowMaxX = upperRight.x;
        settings.windowMaxY = upperRight.y;
    }

    void SetCustomScale(double paperMm, double drawingUnits) override {
        CheckFinite("SetCustomScale", paperMm, drawingUnits);
        if (!(paperMm > 0.0) || !(drawingUnits > 0.0)) {
            Fail(errors::kInvalidArgument, "SetCustomScale: " + Number(paperMm) + " : " +
                                               Number(drawingUnits) + " is no scale");
        }
        auto& settings = Settings();
        settings.customScalePaper = paperMm;
        settings.customScaleDrawing = drawingUnits;
        settings.standardScaleFactor = paperMm / drawingUnits;
        settings.standardScaleType = 0;
        settings.flags = static_cast<std::int16_t>(settings.flags & ~pf::kUseStandardScale);
    }

    void RefreshPlotDeviceInfo() override {
        const std::string device = Settings().configName;
        auto app = m_state->App();
        app->devices.Refresh();
        m_state->refreshedDevice[m_index] = device;
    }

    std::vector<std::string> GetPlotDeviceNames() override {
        Settings();
        return m_state->App()->devices.DeviceNames();
    }

    // The papers of the device the last RefreshPlotDeviceInfo saw (the current one before any).
    std::vector<std::string> GetCanonicalMediaNames() override {
        const std::string current = Settings().configName;
        const auto refreshed = m_state->refreshedDevice.find(m_index);
        const std::string& device =
            refreshed == m_state->refreshedDevice.end() ? current : refreshed->second;
        std::vector<std::string> names;
        for (const sheets::Paper& paper : m_state->App()->devices.Papers(device)) {
            names.push_back(paper.canonicalName);
        }
        return names;
    }

    std::vector<std::string> GetPlotStyleTableNames() override {
        Settings();
        std::vector<std::string> names;
        for (const StyleTable& table : AllStyleTables(StyleFolders(m_state->App()->options))) {
            names.push_back(table.name);
        }
        return names;
    }

    std::string Name() override {
        m_state->CheckOpen();
        return m_state->drawing.layouts.at(m_index).name;
    }

    std::string GetLocaleMediaName(const std::string& canonicalName) override {
        Settings();
        const auto paper = sheets::FindPaper(canonicalName);
        if (!paper) {
            Fail(errors::kInvalidArgument,
                 "GetLocaleMediaName: there is no paper \"" + canonicalName + "\"");
        }
        return paper->displayName;
    }

private:
    drawing::LayoutPlotSettings& Settings() {
        m_state->CheckOpen();
        return m_state->drawing.layouts.at(m_index).plotSettings;
    }

    std::int16_t Checked(const char* member, std::int32_t value, int low, int high) {
        if (value < low || value > high) {
            Fail(errors::kInvalidArgument,
                 std::string(member) + ": " + std::to_string(value) + " is out of range");
        }
        return static_cast<std::int16_t>(value);
    }

    void CheckFinite(const char* member, double a, double b) {
        if (!std::isfinite(a) || !std::isfinite(b)) {
            Fail(errors::kInvalidArgument, std::string(member) + ": not a number");
        }
    }

    void SetFlag(std::int16_t flag, bool on) {
        auto& settings = Settings();
        settings.flags =
            static_cast<std::int16_t>(on ? (settings.flags | flag) : (settings.flags & ~flag));
    }

    std::shared_ptr<DocumentState> m_state;
    std::size_t m_index;
};

} // namespace

void ApplyPlotJob(std::shared_ptr<DocumentState> state, std::size_t index, const PlotJob& job) {
    // Checked as the members check them, so that a job fails as the same settings told one by
    // one would; only the paper goes by its size where the job gives one.
    BuiltinLayout layout(std::move(state), index);
    PlotJob rest = job;
    if (rest.paper) {
        layout.SetPaper(*rest.paper);
        rest.paper.reset();
    }
    ApplyJob(layout, rest);
}

std::shared_ptr<CadLayout> MakeLayout(std::shared_ptr<DocumentState> state, std::size_t index) {
    return std::make_shared<BuiltinLayout>(std::move(state), index);
}

} // namespace kw::builtin
