#pragma once

// A scripted stand-in for the CAD application: documents, entities, layouts and catalogs come
// from a script; every call is logged in order; any member can be made to fail or to be missing.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cad/automation.h"

namespace kw::test {

struct EntityScript {
    std::int32_t type = entity_types::kLightweightPolyline;
    std::string layer = "0";
    std::string name; // block name of a reference
    Point minPoint;   // bounding box
    Point maxPoint;
    std::vector<double> coordinates; // lightweight polyline vertices

    // A lightweight polyline through the four corners of a rectangle.
    static EntityScript Rectangle(const std::string& layer, double x0, double y0, double x1,
                                  double y1);
    static EntityScript Reference(std::int32_t type, const std::string& name, double x0, double y0,
                                  double x1, double y1);
};

struct DocumentScript {
    std::vector<EntityScript> entities;
    std::vector<int> picked; // indices into `entities` that an on-screen pick answers with
    std::int32_t activeSpace = 1;
};

struct Failure {
    std::int32_t code = 0;
    std::string description;
    int onCall = 0; // 1-based call of the member that fails; 0 = every call
};

struct CadScript {
    bool running = true;  // Attach succeeds
    bool canStart = true; // Start succeeds when not running
    std::string startFailure = "The CAD application cannot be started.";
    std::string caption = "Drafting CAD 2000 - [Drawing1.dwg]";
    std::string fullName = "C:\\Program Files\\Drafting CAD\\acad.exe";
    std::map<std::string, DocumentScript> files; // drawings that Open finds, by path
    std::optional<std::string> activeDocument;   // path of a drawing open at the start
    std::vector<std::string> devices = {"DWF6 ePlot.pc3", "Office Plotter"};
    std::vector<std::pair<std::string, std::string>> papers = {
        {"ISO_A4_(210.00_x_297.00_MM)", "ISO A4 (210.00 x 297.00 毫米)"},
        {"ISO_A3_(420.00_x_297.00_MM)", "ISO A3 (420.00 x 297.00 毫米)"}};
    std::vector<std::string> styleTables = {"acad.ctb", "monochrome.ctb"};
    std::map<std::string, Failure> failures; // by member, e.g. "Document.Close"
    std::set<std::string> missing;           // members that raise 438
};

struct OpenDocument;

class SubstituteCad : public CadBackend, public std::enable_shared_from_this<SubstituteCad> {
public:
    explicit SubstituteCad(CadScript script);

    std::shared_ptr<CadApplication> Attach() override;
    std::shared_ptr<CadApplication> Start() override;

    // The calls made so far, in order, e.g. "Layout.ConfigName=Office Plotter".
    const std::vector<std::string>& Calls() const { return m_calls; }
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
    void ClearCalls() { m_calls.clear(); }

    // Paths of drawings saved by Close(true), in order, and of those still open.
    const std::vector<std::string>& Saved() const { return m_saved; }
    std::vector<std::string> OpenPaths() const;
    // Names of the selection sets a drawing holds now.
    std::vector<std::string> SelectionSetNames(const std::string& path) const;
    int Starts() const { return m_starts; }

    CadScript& Script() { return m_script; }

    // Logs a call and raises what the script says for the member.
    void Enter(const std::string& member, const std::string& detail = {});

    std::shared_ptr<OpenDocument> Active();
    std::shared_ptr<OpenDocument> OpenFile(const std::string& path);
    std::shared_ptr<OpenDocument> AddDocument(const std::string& name);
    void CloseDocument(const std::shared_ptr<OpenDocument>& document, bool save);

private:
    std::shared_ptr<CadApplication> MakeApplication();

    CadScript m_script;
    std::vector<std::string> m_calls;
    std::map<std::string, int> m_callCounts;
    std::vector<std::shared_ptr<OpenDocument>> m_open; // last is active
    std::vector<std::string> m_saved;
    int m_starts = 0;
    int m_newDocuments = 0;
    std::shared_ptr<CadApplication> m_application;
};

// State of one open drawing in the substitute.
struct OpenDocument {
    std::string path;
    DocumentScript script;
    std::vector<std::string> selectionSets;
};

} // namespace kw::test
