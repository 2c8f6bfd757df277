#include "tests/support/substitute_cad.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kw::test {
namespace {

constexpr std::int32_t kNoDocument = -2147418113; // E_UNEXPECTED
constexpr std::int32_t kOpenFailed = -2147467259; // E_FAIL
constexpr std::int32_t kDuplicateName = -2145386300;

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string PointText(Point point) {
    return Number(point.x) + "," + Number(point.y);
}
std::string Bool(bool value) {
    return value ? "true" : "false";
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string DxfName(std::int32_t type) {
    switch (type) {
    case entity_types::kLightweightPolyline:
        return "LWPOLYLINE";
    case entity_types::kBlockReference:
    case entity_types::kExternalReference:
        return "INSERT";
    case 19:
        return "LINE";
    case 22:
        return "POLYLINE";
    default:
        return "OTHER";
    }
}

bool PassesFilter(const EntityScript& entity, const std::vector<FilterEntry>& filter) {
    for (const auto& entry : filter) {
        bool match = false;
        switch (entry.code) {
        case 0:
            match = EqualIgnoringCase(DxfName(entity.type), entry.value);
            break;
        case 8:
            match = EqualIgnoringCase(entity.layer, entry.value);
            break;
        case 2:
            match = EqualIgnoringCase(entity.name, entry.value);
            break;
        case 100:
            match = (EqualIgnoringCase(entry.value, "AcDbBlockReference") &&
                     (entity.type == entity_types::kBlockReference ||
                      entity.type == entity_types::kExternalReference)) ||
                    (EqualIgnoringCase(entry.value, "AcDbExternalReference") &&
                     entity.type == entity_types::kExternalReference) ||
                    (EqualIgnoringCase(entry.value, "AcDbPolyline") &&
                     entity.type == entity_types::kLightweightPolyline);
            break;
        default:
            match = false;
        }
        if (!match)
            return false;
    }
    return true;
}

class SubEntity : public CadEntity {
public:
    SubEntity(std::shared_ptr<SubstituteCad> cad, EntityScript entity)
        : m_cad(std::move(cad)), m_entity(std::move(entity)) {}
    std::int32_t EntityType() override {
        m_cad->Enter("Entity.EntityType");
        return m_entity.type;
    }
    std::string Layer() override {
        m_cad->Enter("Entity.Layer");
        return m_entity.layer;
    }
    std::string Name() override {
        m_cad->Enter("Entity.Name");
        if (m_entity.type != entity_types::kBlockReference &&
            m_entity.type != entity_types::kExternalReference)
            throw CadError(438, "Object doesn't support this property or method");
        return m_entity.name;
    }
    void GetBoundingBox(Point& minPoint, Point& maxPoint) override {
        m_cad->Enter("Entity.GetBoundingBox");
        minPoint = m_entity.minPoint;
        maxPoint = m_entity.maxPoint;
    }
    std::vector<double> Coordinates() override {
        m_cad->Enter("Entity.Coordinates");
        if (m_entity.type != entity_types::kLightweightPolyline)
            throw CadError(438, "Object doesn't support this property or method");
        return m_entity.coordinates;
    }

private:
    std::shared_ptr<SubstituteCad> m_cad;
    EntityScript m_entity;
};

class SubSelectionSet : public CadSelectionSet {
public:
    SubSelectionSet(std::shared_ptr<SubstituteCad> cad, std::shared_ptr<OpenDocument> document,
                    std::string name)
        : m_cad(std::move(cad)), m_document(std::move(document)), m_name(std::move(name)) {}
    void Select(std::int32_t mode, const std::vector<FilterEntry>& filter) override {
        std::string detail = std::to_string(mode);
        for (const auto& entry : filter)
            detail += "," + std::to_string(entry.code) + "=" + entry.value;
        m_cad->Enter("SelectionSet.Select", detail);
        m_members.clear();
        for (const auto& entity : m_document->script.entities)
            if (PassesFilter(entity, filter))
                m_members.push_back(entity);
    }
    void SelectOnScreen() override {
        m_cad->Enter("SelectionSet.SelectOnScreen");
        m_members.clear();
        for (int index : m_document->script.picked)
            m_members.push_back(m_document->script.entities.at(static_cast<std::size_t>(index)));
    }
    std::int32_t Count() override {
        m_cad->Enter("SelectionSet.Count");
        return static_cast<std::int32_t>(m_members.size());
    }
    std::shared_ptr<CadEntity> Item(std::int32_t index) override {
        m_cad->Enter("SelectionSet.Item", std::to_string(index));
        return std::make_shared<SubEntity>(m_cad, m_members.at(static_cast<std::size_t>(index)));
    }
    void Delete() override {
        m_cad->Enter("SelectionSet.Delete", m_name);
        auto& names = m_document->selectionSets;
        names.erase(std::remove(names.begin(), names.end(), m_name), names.end());
    }

private:
    std::shared_ptr<SubstituteCad> m_cad;
    std::shared_ptr<OpenDocument> m_document;
    std::string m_name;
    std::vector<EntityScript> m_members;
};

class SubSelectionSets : public CadSelectionSets {
public:
    SubSelectionSets(std::shared_ptr<SubstituteCad> cad, std::shared_ptr<OpenDocument> document)
        : m_cad(std::move(cad)), m_document(std::move(document)) {}
    std::shared_ptr<CadSelectionSet> Add(const std::string& name) override {
        m_cad->Enter("SelectionSets.Add", name);
        auto& names = m_document->selectionSets;
        if (std::find(names.begin(), names.end(), name) != names.end())
            throw CadError(kDuplicateName, "Duplicate record name");
        names.push_back(name);
        return std::make_shared<SubSelectionSet>(m_cad, m_document, name);
    }

private:
    std::shared_ptr<SubstituteCad> m_cad;
    std::shared_ptr<OpenDocument> m_document;
};

class SubLayout : public CadLayout {
public:
    explicit SubLayout(std::shared_ptr<SubstituteCad> cad) : m_cad(std::move(cad)) {}
    void PutConfigName(const std::string& v) override { m_cad->Enter("Layout.ConfigName", v); }
    void PutStyleSheet(const std::string& v) override { m_cad->Enter("Layout.StyleSheet", v); }
    void PutCanonicalMediaName(const std::string& v) override {
        m_cad->Enter("Layout.CanonicalMediaName", v);
    }
    void PutPaperUnits(std::int32_t v) override {
        m_cad->Enter("Layout.PaperUnits", std::to_string(v));
    }
    void PutPlotType(std::int32_t v) override {
        m_cad->Enter("Layout.PlotType", std::to_string(v));
    }
    void PutPlotRotation(std::int32_t v) override {
        m_cad->Enter("Layout.PlotRotation", std::to_string(v));
    }
    void PutPlotWithLineweights(bool v) override {
        m_cad->Enter("Layout.PlotWithLineweights", Bool(v));
    }
    void PutPlotWithPlotStyles(bool v) override {
        m_cad->Enter("Layout.PlotWithPlotStyles", Bool(v));
    }
    void PutPlotHidden(bool v) override { m_cad->Enter("Layout.PlotHidden", Bool(v)); }
    void PutCenterPlot(bool v) override { m_cad->Enter("Layout.CenterPlot", Bool(v)); }
    void PutPlotOrigin(Point v) override { m_cad->Enter("Layout.PlotOrigin", PointText(v)); }
    void SetWindowToPlot(Point a, Point b) override {
        m_cad->Enter("Layout.SetWindowToPlot", PointText(a) + "," + PointText(b));
    }
    void SetCustomScale(double a, double b) override {
        m_cad->Enter("Layout.SetCustomScale", Number(a) + "," + Number(b));
    }
    void RefreshPlotDeviceInfo() override { m_cad->Enter("Layout.RefreshPlotDeviceInfo"); }
    std::vector<std::string> GetPlotDeviceNames() override {
        m_cad->Enter("Layout.GetPlotDeviceNames");
        return m_cad->Script().devices;
    }
    std::vector<std::string> GetCanonicalMediaNames() override {
        m_cad->Enter("Layout.GetCanonicalMediaNames");
        std::vector<std::string> names;
        for (const auto& paper : m_cad->Script().papers)
            names.push_back(paper.first);
        return names;
    }
    std::vector<std::string> GetPlotStyleTableNames() override {
        m_cad->Enter("Layout.GetPlotStyleTableNames");
        return m_cad->Script().styleTables;
    }
    std::string GetLocaleMediaName(const std::string& canonicalName) override {
        m_cad->Enter("Layout.GetLocaleMediaName", canonicalName);
        for (const auto& paper : m_cad->Script().papers)
            if (paper.first == canonicalName)
                return paper.second;
        return canonicalName;
    }

private:
    std::shared_ptr<SubstituteCad> m_cad;
};

class SubSpace : public CadSpace {
public:
    SubSpace(std::shared_ptr<SubstituteCad> cad, std::string which)
        : m_cad(std::move(cad)), m_which(std::move(which)) {}
    std::shared_ptr<CadLayout> Layout() override {
        m_cad->Enter(m_which + ".Layout");
        return std::make_shared<SubLayout>(m_cad);
    }

private:
    std::shared_ptr<SubstituteCad> m_cad;
    std::string m_which;
};

class SubPlot : public CadPlot {
public:
    explicit SubPlot(std::shared_ptr<SubstituteCad> cad) : m_cad(std::move(cad)) {}
    void PutNumberOfCopies(std::int16_t copies) override {
        m_cad->Enter("Plot.NumberOfCopies", std::to_string(copies));
    }
    void PlotToDevice() override { m_cad->Enter("Plot.PlotToDevice"); }
    void DisplayPlotPreview(std::int32_t type) override {
        m_cad->Enter("Plot.DisplayPlotPreview", std::to_string(type));
    }

private:
    std::shared_ptr<SubstituteCad> m_cad;
};

class SubUtility : public CadUtility {
public:
    explicit SubUtility(std::shared_ptr<SubstituteCad> cad) : m_cad(std::move(cad)) {}
    void Prompt(const std::string& text) override { m_cad->Enter("Utility.Prompt", text); }

private:
    std::shared_ptr<SubstituteCad> m_cad;
};

class SubDocument : public CadDocument {
public:
    SubDocument(std::shared_ptr<SubstituteCad> cad, std::shared_ptr<OpenDocument> document)
        : m_cad(std::move(cad)), m_document(std::move(document)) {}
    std::shared_ptr<CadLayout> ActiveLayout() override {
        m_cad->Enter("Document.ActiveLayout");
        return std::make_shared<SubLayout>(m_cad);
    }
    std::int32_t ActiveSpace() override {
        m_cad->Enter("Document.ActiveSpace");
        return m_document->script.activeSpace;
    }
    std::shared_ptr<CadSpace> ModelSpace() override {
        m_cad->Enter("Document.ModelSpace");
        return std::make_shared<SubSpace>(m_cad, "ModelSpace");
    }
    std::shared_ptr<CadSpace> PaperSpace() override {
        m_cad->Enter("Document.PaperSpace");
        return std::make_shared<SubSpace>(m_cad, "PaperSpace");
    }
    std::shared_ptr<CadUtility> Utility() override {
        m_cad->Enter("Document.Utility");
        return std::make_shared<SubUtility>(m_cad);
    }
    std::shared_ptr<CadSelectionSets> SelectionSets() override {
        m_cad->Enter("Document.SelectionSets");
        return std::make_shared<SubSelectionSets>(m_cad, m_document);
    }
    std::shared_ptr<CadPlot> Plot() override {
        m_cad->Enter("Document.Plot");
        return std::make_shared<SubPlot>(m_cad);
    }
    void SendCommand(const std::string& text) override {
        m_cad->Enter("Document.SendCommand", text);
    }
    void Close(bool saveChanges) override {
        m_cad->Enter("Document.Close", Bool(saveChanges));
        m_cad->CloseDocument(m_document, saveChanges);
    }

private:
    std::shared_ptr<SubstituteCad> m_cad;
    std::shared_ptr<OpenDocument> m_document;
};

class SubDocuments : public CadDocuments {
public:
    explicit SubDocuments(std::shared_ptr<SubstituteCad> cad) : m_cad(std::move(cad)) {}
    std::shared_ptr<CadDocument> Add() override {
        m_cad->Enter("Documents.Add");
        return std::make_shared<SubDocument>(m_cad, m_cad->AddDocument({}));
    }
    std::shared_ptr<CadDocument> Add(const std::string& templatePath) override {
        m_cad->Enter("Documents.Add", templatePath);
        return std::make_shared<SubDocument>(m_cad, m_cad->AddDocument(templatePath));
    }
    std::shared_ptr<CadDocument> Open(const std::string& path) override {
        m_cad->Enter("Documents.Open", path);
        return std::make_shared<SubDocument>(m_cad, m_cad->OpenFile(path));
    }

private:
    std::shared_ptr<SubstituteCad> m_cad;
};

class SubApplication : public CadApplication {
public:
    explicit SubApplication(std::shared_ptr<SubstituteCad> cad) : m_cad(std::move(cad)) {}
    void PutVisible(bool visible) override { m_cad->Enter("Application.Visible", Bool(visible)); }
    std::shared_ptr<CadDocument> ActiveDocument() override {
        m_cad->Enter("Application.ActiveDocument");
        return std::make_shared<SubDocument>(m_cad, m_cad->Active());
    }
    std::shared_ptr<CadDocuments> Documents() override {
        m_cad->Enter("Application.Documents");
        return std::make_shared<SubDocuments>(m_cad);
    }
    std::string Caption() override {
        m_cad->Enter("Application.Caption");
        return m_cad->Script().caption;
    }
    std::string FullName() override {
        m_cad->Enter("Application.FullName");
        return m_cad->Script().fullName;
    }

private:
    std::shared_ptr<SubstituteCad> m_cad;
};

} // namespace

EntityScript EntityScript::Rectangle(const std::string& layer, double x0, double y0, double x1,
                                     double y1) {
    EntityScript entity;
    entity.type = entity_types::kLightweightPolyline;
    entity.layer = layer;
    entity.minPoint = {x0, y0};
    entity.maxPoint = {x1, y1};
    entity.coordinates = {x0, y0, x1, y0, x1, y1, x0, y1};
    return entity;
}

EntityScript EntityScript::Reference(std::int32_t type, const std::string& name, double x0,
                                     double y0, double x1, double y1) {
    EntityScript entity;
    entity.type = type;
    entity.name = name;
    entity.minPoint = {x0, y0};
    entity.maxPoint = {x1, y1};
    return entity;
}

SubstituteCad::SubstituteCad(CadScript script) : m_script(std::move(script)) {
    if (m_script.activeDocument) {
        auto document = std::make_shared<OpenDocument>();
        document->path = *m_script.activeDocument;
        document->script = m_script.files[*m_script.activeDocument];
        m_open.push_back(document);
    }
}

void SubstituteCad::Enter(const std::string& member, const std::string& detail) {
    m_calls.push_back(detail.empty() ? member : member + "=" + detail);
    const int call = ++m_callCounts[member];
    if (m_script.missing.count(member))
        throw CadError(438, "Object doesn't support this property or method");
    const auto failure = m_script.failures.find(member);
    if (failure != m_script.failures.end() &&
        (failure->second.onCall == 0 || failure->second.onCall == call))
        throw CadError(failure->second.code, failure->second.description);
}

std::shared_ptr<CadApplication> SubstituteCad::MakeApplication() {
    if (!m_application)
        m_application = std::make_shared<SubApplication>(shared_from_this());
    return m_application;
}

std::shared_ptr<CadApplication> SubstituteCad::Attach() {
    Enter("Backend.Attach");
    if (!m_script.running)
        throw CadError(-2147221021, "Operation unavailable");
    return MakeApplication();
}

std::shared_ptr<CadApplication> SubstituteCad::Start() {
    Enter("Backend.Start");
    if (!m_script.canStart)
        throw CadError(-2147221005, m_script.startFailure);
    ++m_starts;
    m_script.running = true;
    return MakeApplication();
}

std::vector<std::string> SubstituteCad::CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> calls;
    for (const auto& call : m_calls)
        if (call.rfind(prefix, 0) == 0)
            calls.push_back(call);
    return calls;
}

std::vector<std::string> SubstituteCad::OpenPaths() const {
    std::vector<std::string> paths;
    for (const auto& document : m_open)
        paths.push_back(document->path);
    return paths;
}

std::vector<std::string> SubstituteCad::SelectionSetNames(const std::string& path) const {
    for (const auto& document : m_open)
        if (document->path == path)
            return document->selectionSets;
    return {};
}

std::shared_ptr<OpenDocument> SubstituteCad::Active() {
    if (m_open.empty())
        throw CadError(kNoDocument, "No document is open");
    return m_open.back();
}

std::shared_ptr<OpenDocument> SubstituteCad::OpenFile(const std::string& path) {
    const auto file = m_script.files.find(path);
    if (file == m_script.files.end())
        throw CadError(kOpenFailed, "Cannot open " + path);
    auto document = std::make_shared<OpenDocument>();
    document->path = path;
    document->script = file->second;
    m_open.push_back(document);
    return document;
}

std::shared_ptr<OpenDocument> SubstituteCad::AddDocument(const std::string&) {
    auto document = std::make_shared<OpenDocument>();
    document->path = "Drawing" + std::to_string(++m_newDocuments) + ".dwg";
    m_open.push_back(document);
    return document;
}

void SubstituteCad::CloseDocument(const std::shared_ptr<OpenDocument>& document, bool save) {
    if (save)
        m_saved.push_back(document->path);
    m_open.erase(std::remove(m_open.begin(), m_open.end(), document), m_open.end());
}

} // namespace kw::test
