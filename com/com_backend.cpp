#include "com/com_backend.h"

#include <algorithm>

#include <utility>

#include "com/com_error.h"

namespace kw {
namespace {

using com::Dispatch;
using com::Variant;

class ComEntity final : public CadEntity {
public:
    explicit ComEntity(Dispatch object) : m_object(std::move(object)) {}

    std::int32_t EntityType() override { return com::ToInt32(m_object.Get("EntityType").Raw()); }
    std::string Layer() override { return com::ToString(m_object.Get("Layer").Raw()); }
    std::string Name() override { return com::ToString(m_object.Get("Name").Raw()); }

    void GetBoundingBox(Point& minPoint, Point& maxPoint) override {
        Variant lower;
        Variant upper;
        std::vector<Variant> arguments;
        arguments.push_back(Variant::RefTo(lower));
        arguments.push_back(Variant::RefTo(upper));
        m_object.Call("GetBoundingBox", std::move(arguments));
        minPoint = com::ToPoint(lower.Raw());
        maxPoint = com::ToPoint(upper.Raw());
    }

    std::vector<double> Coordinates() override {
        return com::ToDoubles(m_object.Get("Coordinates").Raw());
    }

private:
    Dispatch m_object;
};

class ComSelectionSet final : public CadSelectionSet {
public:
    explicit ComSelectionSet(Dispatch object) : m_object(std::move(object)) {}

    void Select(std::int32_t mode, const std::vector<FilterEntry>& filter) override {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromInt32(mode));
        arguments.push_back(Variant::Missing());
        arguments.push_back(Variant::Missing());
        arguments.push_back(com::MakeFilterCodes(filter));
        arguments.push_back(com::MakeFilterValues(filter));
        m_object.Call("Select", std::move(arguments));
    }

    void SelectOnScreen() override { m_object.Call("SelectOnScreen"); }
    std::int32_t Count() override { return com::ToInt32(m_object.Get("Count").Raw()); }

    std::shared_ptr<CadEntity> Item(std::int32_t index) override {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromInt32(index));
        return std::make_shared<ComEntity>(m_object.CallObject("Item", std::move(arguments)));
    }

    void Delete() override { m_object.Call("Delete"); }

private:
    Dispatch m_object;
};

class ComSelectionSets final : public CadSelectionSets {
public:
    explicit ComSelectionSets(Dispatch object) : m_object(std::move(object)) {}

    std::shared_ptr<CadSelectionSet> Add(const std::string& name) override {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromString(name));
        return std::make_shared<ComSelectionSet>(m_object.CallObject("Add", std::move(arguments)));
    }

private:
    Dispatch m_object;
};

class ComLayout final : public CadLayout {
public:
    explicit ComLayout(Dispatch object) : m_object(std::move(object)) {}

    std::string Name() override { return com::ToString(m_object.Get("Name").Raw()); }

    void PutConfigName(const std::string& deviceName) override {
        m_object.Put("ConfigName", Variant::FromString(deviceName));
    }
    void PutStyleSheet(const std::string& styleTable) override {
        m_object.Put("StyleSheet", Variant::FromString(styleTable));
    }
    void PutCanonicalMediaName(const std::string& paperName) override {
        m_object.Put("CanonicalMediaName", Variant::FromString(paperName));
    }
    void PutPaperUnits(std::int32_t units) override {
        m_object.Put("PaperUnits", Variant::FromInt32(units));
    }
    void PutPlotType(std::int32_t type) override {
        m_object.Put("PlotType", Variant::FromInt32(type));
    }
    void PutPlotRotation(std::int32_t rotation) override {
        m_object.Put("PlotRotation", Variant::FromInt32(rotation));
    }
    void PutPlotWithLineweights(bool on) override {
        m_object.Put("PlotWithLineweights", Variant::FromBool(on));
    }
    void PutPlotWithPlotStyles(bool on) override {
        m_object.Put("PlotWithPlotStyles", Variant::FromBool(on));
    }
    void PutPlotHidden(bool on) override { m_object.Put("PlotHidden", Variant::FromBool(on)); }
    void PutCenterPlot(bool on) override { m_object.Put("CenterPlot", Variant::FromBool(on)); }
    void PutPlotOrigin(Point originMm) override {
        m_object.Put("PlotOrigin", com::MakePoint(originMm));
    }

    void SetWindowToPlot(Point lowerLeft, Point upperRight) override {
        std::vector<Variant> arguments;
        arguments.push_back(com::MakePoint(lowerLeft));
        arguments.push_back(com::MakePoint(upperRight));
        m_object.Call("SetWindowToPlot", std::move(arguments));
    }

    void SetCustomScale(double paperMm, double drawingUnits) override {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromDouble(paperMm));
        arguments.push_back(Variant::FromDouble(drawingUnits));
        m_object.Call("SetCustomScale", std::move(arguments));
    }

    void RefreshPlotDeviceInfo() override { m_object.Call("RefreshPlotDeviceInfo"); }
    std::vector<std::string> GetPlotDeviceNames() override {
        return com::ToStrings(m_object.Call("GetPlotDeviceNames").Raw());
    }
    std::vector<std::string> GetCanonicalMediaNames() override {
        return com::ToStrings(m_object.Call("GetCanonicalMediaNames").Raw());
    }
    std::vector<std::string> GetPlotStyleTableNames() override {
        return com::ToStrings(m_object.Call("GetPlotStyleTableNames").Raw());
    }
    std::string GetLocaleMediaName(const std::string& canonicalName) override {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromString(canonicalName));
        return com::ToString(m_object.Call("GetLocaleMediaName", std::move(arguments)).Raw());
    }

private:
    Dispatch m_object;
};

class ComSpace final : public CadSpace {
public:
    explicit ComSpace(Dispatch object) : m_object(std::move(object)) {}

    std::shared_ptr<CadLayout> Layout() override {
        return std::make_shared<ComLayout>(m_object.Object("Layout"));
    }

private:
    Dispatch m_object;
};

class ComPlot final : public CadPlot {
public:
    explicit ComPlot(Dispatch object) : m_object(std::move(object)) {}

    void PutNumberOfCopies(std::int16_t copies) override {
        m_object.Put("NumberOfCopies", Variant::FromInt32(copies));
    }
    void PlotToDevice() override { m_object.Call("PlotToDevice"); }
    void DisplayPlotPreview(std::int32_t previewType) override {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromInt32(previewType));
        m_object.Call("DisplayPlotPreview", std::move(arguments));
    }

private:
    Dispatch m_object;
};

class ComUtility final : public CadUtility {
public:
    explicit ComUtility(Dispatch object) : m_object(std::move(object)) {}

    void Prompt(const std::string& text) override {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromString(text));
        m_object.Call("Prompt", std::move(arguments));
    }

private:
    Dispatch m_object;
};

class ComDocument final : public CadDocument {
public:
    explicit ComDocument(Dispatch object) : m_object(std::move(object)) {}

    std::shared_ptr<CadLayout> ActiveLayout() override {
        return std::make_shared<ComLayout>(m_object.Object("ActiveLayout"));
    }
    // The Layouts collection by TabOrder (Model is 0).
    std::vector<std::string> LayoutNames() override {
        Dispatch layouts = m_object.Object("Layouts");
        const std::int32_t count = com::ToInt32(layouts.Get("Count").Raw());
        std::vector<std::pair<std::int32_t, std::string>> named;
        for (std::int32_t i = 0; i < count; ++i) {
            std::vector<Variant> arguments;
            arguments.push_back(Variant::FromInt32(i));
            Dispatch layout = layouts.CallObject("Item", std::move(arguments));
            named.emplace_back(com::ToInt32(layout.Get("TabOrder").Raw()),
                               com::ToString(layout.Get("Name").Raw()));
        }
        std::stable_sort(named.begin(), named.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> names;
        for (auto& [order, name] : named)
            names.push_back(std::move(name));
        return names;
    }
    void PutActiveLayout(const std::string& name) override {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromString(name));
        Dispatch layout = m_object.Object("Layouts").CallObject("Item", std::move(arguments));
        m_object.Put("ActiveLayout", Variant::FromDispatch(layout.Raw()));
    }
    std::int32_t ActiveSpace() override { return com::ToInt32(m_object.Get("ActiveSpace").Raw()); }
    std::shared_ptr<CadSpace> ModelSpace() override {
        return std::make_shared<ComSpace>(m_object.Object("ModelSpace"));
    }
    std::shared_ptr<CadSpace> PaperSpace() override {
        return std::make_shared<ComSpace>(m_object.Object("PaperSpace"));
    }
    std::shared_ptr<CadUtility> Utility() override {
        return std::make_shared<ComUtility>(m_object.Object("Utility"));
    }
    std::shared_ptr<CadSelectionSets> SelectionSets() override {
        return std::make_shared<ComSelectionSets>(m_object.Object("SelectionSets"));
    }
    std::shared_ptr<CadPlot> Plot() override {
        return std::make_shared<ComPlot>(m_object.Object("Plot"));
    }

    void SendCommand(const std::string& text) override {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromString(text));
        m_object.Call("SendCommand", std::move(arguments));
    }

    void Close(bool saveChanges) override {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromBool(saveChanges));
        m_object.Call("Close", std::move(arguments));
    }

private:
    Dispatch m_object;
};

class ComDocuments final : public CadDocuments {
public:
    explicit ComDocuments(Dispatch object) : m_object(std::move(object)) {}

    std::shared_ptr<CadDocument> Add() override {
        return std::make_shared<ComDocument>(m_object.CallObject("Add"));
    }

    std::shared_ptr<CadDocument> Add(const std::string& templatePath) override {
        return Opened("Add", templatePath);
    }

    std::shared_ptr<CadDocument> Open(const std::string& path) override {
        return Opened("Open", path);
    }

private:
    std::shared_ptr<CadDocument> Opened(const char* member, const std::string& path) {
        std::vector<Variant> arguments;
        arguments.push_back(Variant::FromString(path));
        return std::make_shared<ComDocument>(m_object.CallObject(member, std::move(arguments)));
    }

    Dispatch m_object;
};

class ComApplication final : public CadApplication {
public:
    explicit ComApplication(Dispatch object) : m_object(std::move(object)) {}

    void PutVisible(bool visible) override { m_object.Put("Visible", Variant::FromBool(visible)); }
    std::shared_ptr<CadDocument> ActiveDocument() override {
        return std::make_shared<ComDocument>(m_object.Object("ActiveDocument"));
    }
    std::shared_ptr<CadDocuments> Documents() override {
        return std::make_shared<ComDocuments>(m_object.Object("Documents"));
    }
    std::string Caption() override { return com::ToString(m_object.Get("Caption").Raw()); }
    std::string FullName() override { return com::ToString(m_object.Get("FullName").Raw()); }

private:
    Dispatch m_object;
};

CLSID HostClass() {
    CLSID id{};
    const HRESULT result = CLSIDFromProgID(kHostProgId, &id);
    if (FAILED(result)) {
        throw com::MakeCadError(result);
    }
    return id;
}

} // namespace

ComBackend::ComBackend(com::RetryPolicy retry)
    : m_retry(std::make_shared<com::RetryPolicy>(retry)), m_filter(retry.limit) {}

std::shared_ptr<CadApplication> ComBackend::Attach() {
    const CLSID id = HostClass();
    IUnknown* running = nullptr;
    const HRESULT result = GetActiveObject(id, nullptr, &running);
    if (FAILED(result) || running == nullptr) {
        throw com::MakeCadError(FAILED(result) ? result : E_POINTER);
    }
    IDispatch* application = nullptr;
    const HRESULT queried =
        running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&application));
    running->Release();
    if (FAILED(queried)) {
        throw com::MakeCadError(queried);
    }
    auto wrapped = Wrap(application);
    application->Release();
    return wrapped;
}

std::shared_ptr<CadApplication> ComBackend::Start() {
    const CLSID id = HostClass();
    IDispatch* application = nullptr;
    const HRESULT result = CoCreateInstance(id, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                            reinterpret_cast<void**>(&application));
    if (FAILED(result)) {
        throw com::MakeCadError(result);
    }
    auto wrapped = Wrap(application);
    application->Release();
    return wrapped;
}

std::shared_ptr<CadApplication> ComBackend::Wrap(IDispatch* application) const {
    return std::make_shared<ComApplication>(Dispatch(application, m_retry));
}

bool HostRegistered() {
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID classId{};
    const bool registered = SUCCEEDED(CLSIDFromProgID(kHostProgId, &classId));
    if (SUCCEEDED(initialised)) {
        CoUninitialize();
    }
    return registered;
}

CadBackendFactory ComBackendFactory() {
    return [] { return std::make_shared<ComBackend>(); };
}

} // namespace kw
