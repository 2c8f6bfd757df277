#pragma once

// The CAD application's automation object model, as far as the program uses it. Method names are
// the host's member names; a property write is Put<Name>, a read is <Name>(). Every method may
// throw CadError; a backend that lacks a member throws CadError 438.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cad/cad_error.h"
#include "cad/plot_job.h"

namespace kw {

// One entry of a selection filter: a DXF group code and the value it must match.
struct FilterEntry {
    std::int16_t code = 0;
    std::string value;
};

namespace entity_types {
inline constexpr std::int32_t kBlockReference = 7;
inline constexpr std::int32_t kLightweightPolyline = 24;
inline constexpr std::int32_t kExternalReference = 42;
} // namespace entity_types

class CadEntity {
public:
    virtual ~CadEntity() = default;
    virtual std::int32_t EntityType() = 0; // the host's `entitytype`
    virtual std::string Layer() = 0;
    virtual std::string Name() = 0;
    virtual void GetBoundingBox(Point& minPoint, Point& maxPoint) = 0;
    // Flat vertex array x0, y0, x1, y1, ... of a lightweight polyline.
    virtual std::vector<double> Coordinates() = 0;
};

class CadSelectionSet {
public:
    virtual ~CadSelectionSet() = default;
    // Mode 5 selects everything that passes the filter; both corner points are left out.
    virtual void Select(std::int32_t mode, const std::vector<FilterEntry>& filter) = 0;
    // Returns when the user has ended the pick in the CAD window.
    virtual void SelectOnScreen() = 0;
    virtual std::int32_t Count() = 0;
    virtual std::shared_ptr<CadEntity> Item(std::int32_t index) = 0; // 0-based
    // Removes the set from the drawing's collection.
    virtual void Delete() = 0;
};

class CadSelectionSets {
public:
    virtual ~CadSelectionSets() = default;
    virtual std::shared_ptr<CadSelectionSet> Add(const std::string& name) = 0;
};

// The plot configuration of a layout.
class CadPlotConfiguration {
public:
    virtual ~CadPlotConfiguration() = default;
    virtual void PutConfigName(const std::string& deviceName) = 0;
    virtual void PutStyleSheet(const std::string& styleTable) = 0;
    virtual void PutCanonicalMediaName(const std::string& paperName) = 0;
    virtual void PutPaperUnits(std::int32_t units) = 0;      // 1 = millimetres
    virtual void PutPlotType(std::int32_t type) = 0;         // 4 = window
    virtual void PutPlotRotation(std::int32_t rotation) = 0; // 0..3 = 0, 90, 180, 270 degrees
    virtual void PutPlotWithLineweights(bool on) = 0;
    virtual void PutPlotWithPlotStyles(bool on) = 0;
    virtual void PutPlotHidden(bool on) = 0;
    virtual void PutCenterPlot(bool on) = 0;
    virtual void PutPlotOrigin(Point originMm) = 0;
    virtual void SetWindowToPlot(Point lowerLeft, Point upperRight) = 0; // drawing units
    virtual void SetCustomScale(double paperMm, double drawingUnits) = 0;
};

// Tells the layout the job through its members, in the order the host expects them: the paper
// (when the job names one), the window, plot type 4, rotation, lineweights, plot styles, hidden
// lines, the custom scale, then centring or the origin. Copies and destination are not the
// layout's.
void ApplyJob(CadPlotConfiguration& layout, const PlotJob& job);

// What a layout knows of the devices, papers and plot style tables.
class CadDeviceCatalog {
public:
    virtual ~CadDeviceCatalog() = default;
    virtual void RefreshPlotDeviceInfo() = 0;
    virtual std::vector<std::string> GetPlotDeviceNames() = 0;
    virtual std::vector<std::string> GetCanonicalMediaNames() = 0;
    virtual std::vector<std::string> GetPlotStyleTableNames() = 0;
    virtual std::string GetLocaleMediaName(const std::string& canonicalName) = 0;
};

class CadLayout : public CadPlotConfiguration, public CadDeviceCatalog {
public:
    // "Model" for model space, else the paper layout's tab name.
    virtual std::string Name() {
        throw CadError(errors::kMemberNotFound, "Object doesn't support this property or method");
    }
};

// Model space or paper space; the program only asks for its layout.
class CadSpace {
public:
    virtual ~CadSpace() = default;
    virtual std::shared_ptr<CadLayout> Layout() = 0;
};

class CadPlot {
public:
    virtual ~CadPlot() = default;
    virtual void PutNumberOfCopies(std::int16_t copies) = 0;
    virtual void PlotToDevice() = 0;
    virtual void DisplayPlotPreview(std::int32_t previewType) = 0; // 1 = full preview
};

class CadUtility {
public:
    virtual ~CadUtility() = default;
    virtual void Prompt(const std::string& text) = 0;
};

class CadDocument {
public:
    virtual ~CadDocument() = default;
    virtual std::shared_ptr<CadLayout> ActiveLayout() = 0;
    // The names of the drawing's layouts in tab order, Model first (the Layouts collection by
    // TabOrder).
    virtual std::vector<std::string> LayoutNames() {
        throw CadError(errors::kMemberNotFound, "Object doesn't support this property or method");
    }
    // Makes the named layout the active one (ActiveLayout set to Layouts.Item(name)); plots and
    // their previews are of the active layout.
    virtual void PutActiveLayout(const std::string& name) {
        static_cast<void>(name);
        throw CadError(errors::kMemberNotFound, "Object doesn't support this property or method");
    }
    virtual std::int32_t ActiveSpace() = 0; // 1 when model space is active
    virtual std::shared_ptr<CadSpace> ModelSpace() = 0;
    virtual std::shared_ptr<CadSpace> PaperSpace() = 0;
    virtual std::shared_ptr<CadUtility> Utility() = 0;
    virtual std::shared_ptr<CadSelectionSets> SelectionSets() = 0;
    virtual std::shared_ptr<CadPlot> Plot() = 0;
    // Runs the text as if typed on the command line; a carriage return acts as Enter.
    virtual void SendCommand(const std::string& text) = 0;
    virtual void Close(bool saveChanges) = 0;
    // The document's typed plotting, for a CAD that takes whole jobs; null for one that is told
    // through the layout's members (the host).
    virtual std::shared_ptr<CadJobPlotter> JobPlotter() { return nullptr; }
};

class CadDocuments {
public:
    virtual ~CadDocuments() = default;
    virtual std::shared_ptr<CadDocument> Add() = 0;
    virtual std::shared_ptr<CadDocument> Add(const std::string& templatePath) = 0;
    virtual std::shared_ptr<CadDocument> Open(const std::string& path) = 0;
};

class CadApplication {
public:
    virtual ~CadApplication() = default;
    virtual void PutVisible(bool visible) = 0;
    // Fails when no drawing is open.
    virtual std::shared_ptr<CadDocument> ActiveDocument() = 0;
    virtual std::shared_ptr<CadDocuments> Documents() = 0;
    virtual std::string Caption() = 0;  // title of the CAD main window
    virtual std::string FullName() = 0; // full path of the CAD executable
};

// How a session reaches a CAD application: attach to a running one, or start one.
class CadBackend {
public:
    virtual ~CadBackend() = default;
    virtual std::shared_ptr<CadApplication> Attach() = 0;
    virtual std::shared_ptr<CadApplication> Start() = 0;
};

} // namespace kw
