#include <cctype>
#include <filesystem>
#include <iostream>
#include <sstream>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "base/characters.h"
#include "base/paths.h"
#include "builtin/builtin_objects.h"
#include "builtin/plot_output.h"
#include "drawing/dxf_io.h"
#include "drawing/selection.h"

namespace kw::builtin {
namespace {

namespace fs = std::filesystem;

// Saving goes through a new file that replaces the old one, which would pass over a
// write-protected drawing; a file without any write permission counts as protected for every
// user, as a read-only file does on Windows.
bool IsWriteProtected(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(PathFromUtf8(path), error);
    if (error || !fs::exists(status)) {
        return false;
    }
    constexpr fs::perms anyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & anyWrite) == fs::perms::none) {
        return true;
    }
#ifndef _WIN32
    return ::access(path.c_str(), W_OK) != 0;
#else
    return false;
#endif
}

class BuiltinSpace : public CadSpace {
public:
    BuiltinSpace(std::shared_ptr<DocumentState> state, bool model)
        : m_state(std::move(state)), m_model(model) {}

    std::shared_ptr<CadLayout> Layout() override {
        m_state->CheckOpen();
        const auto& layouts = m_state->drawing.layouts;
        if (m_model) {
            for (std::size_t i = 0; i < layouts.size(); ++i) {
                if (layouts[i].isModel) {
                    return MakeLayout(m_state, i);
                }
            }
            Fail(errors::kFailed, m_state->name + ": the drawing has no model space");
        }
        // Paper space is the active layout when a paper layout is active, else the layout of
        // *Paper_Space, else the first paper layout.
        const std::size_t active = m_state->activeLayout;
        if (!layouts[active].isModel) {
            return MakeLayout(m_state, active);
        }
        std::optional<std::size_t> first;
        for (std::size_t i = 0; i < layouts.size(); ++i) {
            if (layouts[i].isModel) {
                continue;
            }
            const std::size_t block = layouts[i].blockIndex;
            if (block < m_state->drawing.blocks.size() &&
                AsciiLower(m_state->drawing.blocks[block].name) == "*paper_space") {
                return MakeLayout(m_state, i);
            }
            if (!first) {
                first = i;
            }
        }
        if (!first) {
            Fail(errors::kFailed, m_state->name + ": the drawing has no paper space");
        }
        return MakeLayout(m_state, *first);
    }

private:
    std::shared_ptr<DocumentState> m_state;
    bool m_model;
};

class BuiltinUtility : public CadUtility {
public:
    explicit BuiltinUtility(std::shared_ptr<DocumentState> state) : m_state(std::move(state)) {}

    void Prompt(const std::string& text) override {
        m_state->CheckOpen();
        const auto app = m_state->App();
        app->commandLine.push_back(text);
        app->Changed();
    }

private:
    std::shared_ptr<DocumentState> m_state;
};

// The document's plot object: copies, the plot of the active layout, its preview.
class BuiltinPlot : public CadPlot {
public:
    explicit BuiltinPlot(std::shared_ptr<DocumentState> state) : m_state(std::move(state)) {}

    void PutNumberOfCopies(std::int16_t copies) override {
        m_state->CheckOpen();
        if (copies < 1) {
            Fail(errors::kInvalidArgument,
                 "NumberOfCopies: " + std::to_string(copies) + " is not a number of copies");
        }
        m_state->copies = copies;
    }
    void PlotToDevice() override { PlotActiveLayout(*m_state, {{}, {}, m_state->copies, {}, {}, false}); }
    // 0 (partial) and 1 (full) both show the whole page as it would plot.
    void DisplayPlotPreview(std::int32_t previewType) override {
        m_state->CheckOpen();
        if (previewType != 0 && previewType != 1) {
            Fail(errors::kInvalidArgument,
                 "DisplayPlotPreview: " + std::to_string(previewType) + " is no kind of preview");
        }
        CadScreen* screen = m_state->App()->Screen();
        if (screen == nullptr) {
            Fail(errors::kFailed, "DisplayPlotPreview: the plot preview needs a window "
                                  "system, and this program runs without one");
        }
        screen->Preview(m_state, m_state->activeLayout);
    }

private:
    std::shared_ptr<DocumentState> m_state;
};

class BuiltinSelectionSet : public CadSelectionSet {
public:
    BuiltinSelectionSet(std::shared_ptr<DocumentState> state, std::string key)
        : m_state(std::move(state)), m_key(std::move(key)) {}

    void Select(std::int32_t mode, const std::vector<FilterEntry>& filter) override {
        auto& entities = Entities();
        if (mode != 5) {
            Fail(errors::kInvalidArgument,
                 "Select: mode " + std::to_string(mode) + " needs points on screen");
        }
        std::vector<drawing::FilterEntry> drawingFilter;
        for (const FilterEntry& entry : filter) {
            drawingFilter.push_back({entry.code, entry.value});
        }
        std::vector<const drawing::Entity*> found;
        try {
            found = drawing::SelectAll(m_state->drawing, drawingFilter);
        } catch (const Error& failure) {
            Fail(errors::kInvalidArgument, "Select: " + failure.Description());
        }
        // Selecting into a set that holds entities already adds the new ones after them.
        for (const drawing::Entity* entity : found) {
            if (std::find(entities.begin(), entities.end(), entity) == entities.end()) {
                entities.push_back(entity);
            }
        }
    }

    void SelectOnScreen() override {
        Entities();
        CadScreen* screen = m_state->App()->Screen();
        if (screen == nullptr) {
            Fail(errors::kFailed, "SelectOnScreen: picking on screen needs a window "
                                  "system, and this program runs without one");
        }
        const std::vector<const drawing::Entity*> picked = screen->Pick(m_state);
        // Looked up again: the set or its drawing may have gone while the user was picking.
        auto& entities = Entities();
        for (const drawing::Entity* entity : picked) {
            if (std::find(entities.begin(), entities.end(), entity) == entities.end()) {
                entities.push_back(entity);
            }
        }
    }

    std::int32_t Count() override { return static_cast<std::int32_t>(Entities().size()); }

    std::shared_ptr<CadEntity> Item(std::int32_t index) override {
        const auto& entities = Entities();
        if (index < 0 || static_cast<std::size_t>(index) >= entities.size()) {
            Fail(errors::kInvalidArgument, "Item: no entity at index " + std::to_string(index));
        }
        return MakeEntity(m_state, entities[static_cast<std::size_t>(index)]);
    }

    void Delete() override {
        Entities();
        m_state->selectionSets.erase(m_key);
    }

private:
    std::vector<const drawing::Entity*>& Entities() {
        m_state->CheckOpen();
        const auto found = m_state->selectionSets.find(m_key);
        if (found == m_state->selectionSets.end()) {
            Fail(errors::kFailed, "the selection set has been deleted");
        }
        return found->second;
    }

    std::shared_ptr<DocumentState> m_state;
    std::string m_key;
};

class BuiltinSelectionSets : public CadSelectionSets {
public:
    explicit BuiltinSelectionSets(std::shared_ptr<DocumentState> state)
        : m_state(std::move(state)) {}

    std::shared_ptr<CadSelectionSet> Add(const std::string& name) override {
        m_state->CheckOpen();
        if (name.empty()) {
            Fail(errors::kInvalidArgument, "a selection set needs a name");
        }
        const std::string key = AsciiLower(name);
        if (m_state->selectionSets.count(key) != 0) {
            Fail(errors::kDuplicateName, "a selection set named \"" + name + "\" exists already");
        }
        m_state->selectionSets[key];
        return std::make_shared<BuiltinSelectionSet>(m_state, key);
    }

private:
    std::shared_ptr<DocumentState> m_state;
};

// Each page as one typed job: the layout's settings set to it, then plotted.
class BuiltinJobPlotter : public CadJobPlotter {
public:
    explicit BuiltinJobPlotter(std::shared_ptr<DocumentState> state) : m_state(std::move(state)) {}

    PlottedPage Plot(const PlotJob& job) override {
        BuiltinPlot(m_state).PutNumberOfCopies(job.copies); // checked as the member checks it
        if (!job.ownPageSetup) {
            ApplyPlotJob(m_state, m_state->activeLayout, job);
        }
        return PlotActiveLayout(*m_state,
                                {job.pageName, job.folder, job.copies, job.stamp, job.format,
                                 job.excerpt});
    }

private:
    std::shared_ptr<DocumentState> m_state;
};

class BuiltinDocument : public CadDocument {
public:
    explicit BuiltinDocument(std::shared_ptr<DocumentState> state) : m_state(std::move(state)) {}

    const drawing::Document* Drawing() const {
        m_state->CheckOpen();
        return &m_state->drawing;
    }

    std::shared_ptr<CadLayout> ActiveLayout() override {
        m_state->CheckOpen();
        return MakeLayout(m_state, m_state->activeLayout);
    }

    std::int32_t ActiveSpace() override {
        m_state->CheckOpen();
        return m_state->drawing.layouts[m_state->activeLayout].isModel ? 1 : 0;
    }

    std::vector<std::string> LayoutNames() override {
        m_state->CheckOpen();
        std::vector<std::string> names;
        for (const drawing::Layout& layout : m_state->drawing.layouts) {
            names.push_back(layout.name);
        }
        return names;
    }

    void PutActiveLayout(const std::string& name) override {
        m_state->CheckOpen();
        const auto& layouts = m_state->drawing.layouts;
        for (std::size_t i = 0; i < layouts.size(); ++i) {
            // Layout names are compared as the host compares them, letter case ignored.
            if (UpperCase(layouts[i].name) == UpperCase(name)) {
                m_state->activeLayout = i;
                m_state->App()->Changed();
                return;
            }
        }
        Fail(errors::kInvalidArgument,
             "ActiveLayout: the drawing " + m_state->name + " has no layout \"" + name + "\"");
    }

    std::shared_ptr<CadSpace> ModelSpace() override {
        m_state->CheckOpen();
        return std::make_shared<BuiltinSpace>(m_state, true);
    }

    std::shared_ptr<CadSpace> PaperSpace() override {
        m_state->CheckOpen();
        return std::make_shared<BuiltinSpace>(m_state, false);
    }

    std::shared_ptr<CadUtility> Utility() override {
        m_state->CheckOpen();
        return std::make_shared<BuiltinUtility>(m_state);
    }

    std::shared_ptr<CadSelectionSets> SelectionSets() override {
        m_state->CheckOpen();
        return MakeSelectionSets(m_state);
    }

    std::shared_ptr<CadPlot> Plot() override {
        m_state->CheckOpen();
        return std::make_shared<BuiltinPlot>(m_state);
    }

    std::shared_ptr<CadJobPlotter> JobPlotter() override {
        m_state->CheckOpen();
        return std::make_shared<BuiltinJobPlotter>(m_state);
    }

    void SendCommand(const std::string& text) override {
        m_state->CheckOpen();
        RunCommandLine(*m_state->App(), text);
    }

    void Close(bool saveChanges) override {
        m_state->CheckOpen();
        if (saveChanges) {
            Save();
        }
        m_state->closed = true;
        if (auto app = m_state->application.lock()) {
            app->Remove(*m_state);
        }
    }

private:
    // The drawing stays open when it cannot be written; the file keeps what it held.
    void Save() {
        const std::string& path = m_state->path;
        if (m_state->fromDwg) {
            NoteDwgNotSaved();
            return;
        }
        if (path.empty()) {
            Fail(errors::kCannotSave,
                 m_state->name + ": the drawing has no file yet and cannot be saved on closing");
        }
        if (IsWriteProtected(path)) {
            Fail(errors::kCannotSave, path + ": the file is write-protected");
        }
        try {
            drawing::SaveDrawing(m_state->drawing, path);
        } catch (const Error& failure) {
            Fail(errors::kCannotSave, failure.Description());
        }
    }

    // The converter cannot write DWG faithfully, so the user's file is never touched and the
    // run's plot settings stay out of it; said once per run, where a user of the command looks.
    void NoteDwgNotSaved() {
        auto app = m_state->App();
        if (app->dwgCloseNoticeGiven) {
            return;
        }
        app->dwgCloseNoticeGiven = true;
        const std::string notice =
            m_state->name +
            ": drawings opened from DWG are not saved by the built-in CAD: the DWG files stay "
            "exactly as they were, and the plot settings of this run are not stored in them";
        app->commandLine.push_back(notice);
        std::cerr << notice << std::endl;
    }

    std::shared_ptr<DocumentState> m_state;
};

} // namespace

const drawing::Document* DrawingOf(CadDocument& document) {
    auto* own = dynamic_cast<BuiltinDocument*>(&document);
    return own != nullptr ? own->Drawing() : nullptr;
}

std::shared_ptr<CadDocument> MakeDocument(std::shared_ptr<DocumentState> state) {
    return std::make_shared<BuiltinDocument>(std::move(state));
}

std::shared_ptr<CadSelectionSets> MakeSelectionSets(std::shared_ptr<DocumentState> state) {
    return std::make_shared<BuiltinSelectionSets>(std::move(state));
}

void RunCommandLine(ApplicationState& application, const std::string& text) {
    std::vector<std::string> inputs;
    std::string current;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == ' ') {
            inputs.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        application.commandLine.push_back(current); // typed but not entered: shown, not run
    }

    auto upper = [](std::string s) {
        for (char& c : s) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return s;
    };
    auto& log = application.commandLine;
    // A variable name, then its new value; SETVAR first asks for the name.
    std::optional<std::string> variable;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::string input = upper(inputs[i]);
        if (variable) {
            log.push_back("输入 " + *variable + " 的新值: " + inputs[i]);
            if (input.empty()) {
                variable.reset();
                continue;
            }
            char* end = nullptr;
            const long value = std::strtol(input.c_str(), &end, 10);
            if (end == input.c_str() || *end != '\0') {
                log.push_back("需要整数值。");
            } else {
                application.variables[*variable] = static_cast<int>(value);
            }
            variable.reset();
            continue;
        }
        if (input.empty()) {
            continue; // Enter on an empty line
        }
        log.push_back("命令: " + inputs[i]);
        if (input == "SETVAR") {
            if (i + 1 < inputs.size()) {
                const std::string name = upper(inputs[++i]);
                if (application.variables.count(name) != 0) {
                    variable = name;
                } else {
                    log.push_back("未知变量名。");
                }
            }
        } else if (application.variables.count(input) != 0) {
            variable = input;
        } else {
            log.push_back("未知命令“" + inputs[i] + "”。");
        }
    }
    application.Changed();
}

} // namespace kw::builtin
