#include "output/output_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/error.h"
#include "base/local_time.h"
#include "base/paths.h"
#include "engine/plot_configuration.h"
#include "output/catalogue_pdf.h"
#include "output/catalogue_xlsx.h"
#include "output/file_names.h"
#include "output/pdf_merge.h"
#include "sheets/papers.h"
#include "sheets/sheets.h"

namespace kw::output {
namespace {

namespace fs = std::filesystem;

// `name` + `extension` in the folder, or the first of name_2, name_3 … that is not there yet.
std::string FreePath(const std::string& folder, const std::string& name,
                     const std::string& extension) {
    const fs::path base = PathFromUtf8(folder);
    for (int n = 1;; ++n) {
        const std::string candidate = n == 1 ? name : name + "_" + std::to_string(n);
        const fs::path path = base / PathFromUtf8(candidate + extension);
        std::error_code code;
        if (!fs::exists(path, code)) {
            return Utf8FromPath(path);
        }
    }
}

std::string Describe(const PageEntry& entry) {
    return Utf8FromPath(PathFromUtf8(entry.drawing).filename()) + " 第 " +
           std::to_string(entry.page) + " 个图框";
}

// The largest page a PDF reader takes: 14,400 points on a side.
constexpr double kLargestPdfPageMm = 14400.0 / 72.0 * 25.4;

// A page of a frame's own size, named as the host names its custom papers.
std::string FramePaperName(double widthMm, double heightMm) {
    char name[96];
    std::snprintf(name, sizeof name, "Frame_(%.2f_x_%.2f_MM)", widthMm, heightMm);
    return name;
}

::kw::StampCorner JobCorner(StampCorner corner) {
    switch (corner) {
    case StampCorner::BottomRight:
        return ::kw::StampCorner::BottomRight;
    case StampCorner::TopLeft:
        return ::kw::StampCorner::TopLeft;
    case StampCorner::TopRight:
        return ::kw::StampCorner::TopRight;
    default:
        return ::kw::StampCorner::BottomLeft;
    }
}

} // namespace

std::string StampText(const std::string& stampTemplate, NameValues values) {
    FilledName filled = FillTemplate(stampTemplate, values);
    if (!filled.missing.empty()) {
        for (const std::string& missing : filled.missing) {
            values[missing] = "-";
        }
        filled = FillTemplate(stampTemplate, values);
    }
    return filled.text;
}

void AddStampValues(NameValues& values) {
    values["date"] = LocalTimeText("%Y-%m-%d");
    values["time"] = LocalTimeText("%H:%M");
    for (const char* variable : {"USERNAME", "USER", "LOGNAME"}) {
        if (const char* user = std::getenv(variable); user != nullptr && *user != '\0') {
            values["user"] = user;
            break;
        }
    }
}

OutputRun::OutputRun(OutputSetup setup) : m_setup(std::move(setup)) {
    try {
        m_forcedScale = sheets::ParseScale(m_setup.options.scale);
    } catch (const Error& failure) {
        throw Error(failure.Number(), "scale: " + failure.Description());
    }
    m_columns = ParseColumns(m_setup.options.columns);
    if (m_columns.empty()) {
        m_columns = DefaultCatalogueColumns();
    }
}

void OutputRun::Log(const std::string& line) const {
    if (m_setup.log) {
        m_setup.log(line);
    }
}

void OutputRun::DrawingStarted(CadLayout& layout) {
    ActiveDrawing active;
    if (m_setup.activeDrawing) {
        active = m_setup.activeDrawing();
    }
    m_drawingPath = active.path;
    m_document = active.document;
    m_reader.reset();
    m_layout.clear();
    try {
        m_layout = layout.Name();
    } catch (const CadError&) {
        // A CAD that does not name its layouts: the catalogue leaves the layout out.
    }
    if (active.document != nullptr) {
        std::size_t index = 0;
        for (std::size_t i = 0; i < active.document->layouts.size(); ++i) {
            if (active.document->layouts[i].name == m_layout) {
                index = i;
            }
        }
        m_reader = std::make_unique<TitleBlockReader>(*active.document, m_setup.fields, index);
    }
    m_devicePapers.clear();
    if (m_setup.options.paper != PaperMode::Panel && !m_setup.deviceTakesAnySheet) {
        m_devicePapers = layout.GetCanonicalMediaNames();
    }
}

void OutputRun::LayoutStarted(CadLayout& layout, const std::string& name) {
    static_cast<void>(layout);
    m_layout = name;
    if (m_document != nullptr) {
        for (std::size_t i = 0; i < m_document->layouts.size(); ++i) {
            if (m_document->layouts[i].name == name) {
                m_reader = std::make_unique<TitleBlockReader>(*m_document, m_setup.fields, i);
            }
        }
    }
}

FramePlan OutputRun::PlanFrame(const FrameExtent& frame, const PlotSettings& settings, int page) {
    const double width = frame.Width();
    const double height = frame.yMax - frame.yMin;
    const std::optional<sheets::SheetMatch> match =
        sheets::RecogniseSheet(width, height, m_forcedScale);

    PageEntry entry;
    entry.drawing = m_drawingPath;
    entry.layout = m_layout;
    entry.page = page;
    entry.index = static_cast<int>(m_pages.size()) + 1;
    entry.frame = {frame.xMin, frame.yMin, frame.xMax, frame.yMax};
    std::vector<double> scales;
    if (match) {
        entry.sheet = match->sheet.name;
        entry.scale = sheets::ScaleText(match->scaleDenominator);
        entry.a1Equivalents = match->sheet.A1Equivalents();
        scales = {match->scaleDenominator};
    } else if (m_forcedScale) {
        scales = {*m_forcedScale};
    } else {
        // Whatever the frame is, its title block is drawn at some scale of the series: the one
        // at which the most fields read, of the few nearest (ties to the nearer).
        scales = sheets::NearestScales(width, height, 6);
    }
    // The frame's scale: the one at which its title block reads best, else the nearest.
    double frameScale = scales.empty() ? 1.0 : scales.front();
    if (m_reader) {
        for (const double scale : scales) {
            FieldValues fields = m_reader->Read(entry.frame, scale);
            if (fields.size() > entry.fields.size()) {
                entry.fields = std::move(fields);
                frameScale = scale;
            }
        }
    }

    // Each frame on its own sheet (auto; a frame page on a printer goes the same way), or on a page
    // of its own size where it is no sheet and the device makes pages of any size.
    const bool sheetMode = m_setup.options.paper != PaperMode::Panel;
    const bool framePage =
        !match && m_setup.deviceTakesAnySheet &&
        (m_setup.options.paper == PaperMode::Frame ||
         (m_setup.options.paper == PaperMode::Auto && m_setup.options.fallback == Fallback::Frame));
    bool trueScale = sheetMode && match.has_value();
    double denominator = match ? match->scaleDenominator : frameScale;
    JobPaper paper;
    int rotation = 0;
    double fit = 1.0;
    if (framePage) {
        // At its scale (given, else the one its title block reads at, else the nearest of the
        // series); within what a PDF page can hold.
        const double w = width / denominator;
        const double h = height / denominator;
        fit = std::min(1.0, kLargestPdfPageMm / std::max(w, h));
        if (fit < 1.0) {
            entry.note = "图框大于 PDF 页面的最大尺寸（5080 mm），缩小打印";
        }
        paper = {FramePaperName(w * fit, h * fit), w * fit, h * fit};
        entry.scale = sheets::ScaleText(denominator);
        entry.a1Equivalents = paper.widthMm * paper.heightMm / sheets::kA1AreaMm2;
        trueScale = true;
    } else if (trueScale) {
        paper = {match->sheet.CanonicalName(), match->sheet.widthMm, match->sheet.heightMm};
        if (!m_setup.deviceTakesAnySheet) {
            const std::optional<sheets::PaperChoice> choice =
                sheets::ChoosePaper(m_devicePapers, match->sheet);
            if (!choice) {
                trueScale = false;
                entry.note = "打印机的图纸没有尺寸，按图框标准长度打印";
            } else {
                paper = {choice->paper.canonicalName, choice->paper.widthMm,
                         choice->paper.heightMm};
                rotation = choice->turned ? 1 : 0;
                fit = choice->fitFactor;
                if (fit < 1.0) {
                    entry.note = "打印机没有能容下 " + match->sheet.name + " 的图纸，缩小打印";
                }
            }
        }
    } else if (sheetMode) {
        entry.note = "不是标准图幅（" + std::to_string(static_cast<long long>(width)) + " × " +
                     std::to_string(static_cast<long long>(height)) +
                     "），按图框标准长度打印在所选图纸上";
    }

    entry.paper = trueScale ? paper.canonicalName : m_setup.panelPaper;
    FramePlan plan;
    if (trueScale) {
        const double n = denominator;
        const double margin = settings.PointAllowanceMm() * n;
        plan.job.paper = paper;
        plan.job.lowerLeft = {frame.xMin - margin, frame.yMin - margin};
        plan.job.upperRight = {frame.xMax + margin, frame.yMax + margin};
        plan.job.rotation = rotation + (settings.reversePlot ? 2 : 0);
        plan.job.lineweights = settings.plotLineweights;
        plan.job.plotStyles = settings.plotStyles;
        plan.job.hidden = settings.hideObjects;
        plan.job.paperMm = fit;
        plan.job.drawingUnits = n;
        // The frame is the sheet: centred, it lies on the page's edges.
        plan.job.centered = true;
    } else {
        plan.job = FrameJob(frame, settings);
        if (sheetMode && !m_setup.panelPaper.empty()) {
            plan.job.paper = JobPaper{m_setup.panelPaper}; // an earlier frame changed it
        }
        if (const auto panel = sheets::PaperFromCanonicalName(m_setup.panelPaper);
            panel && !match) {
            entry.a1Equivalents = panel->widthMm * panel->heightMm / sheets::kA1AreaMm2;
        }
    }

    const std::string fallback = FillTemplate(kFallbackTemplate, NameValuesOf(entry)).text;
    std::string name = fallback;
    if (!m_setup.options.nameTemplate.empty()) {
        const FilledName filled = FillTemplate(m_setup.options.nameTemplate, NameValuesOf(entry));
        if (!filled.missing.empty()) {
            std::string fields;
            for (const std::string& missing : filled.missing) {
                fields += (fields.empty() ? "" : "、") + missing;
            }
            const std::string note = "缺少字段 " + fields + "，文件名用 " + fallback;
            entry.note += (entry.note.empty() ? "" : "；") + note;
        } else {
            name = filled.text;
        }
    }
    entry.name = m_names.Take(SafeFileName(name));
    if (!entry.note.empty() && page > 0) {
        Log(Describe(entry) + "：" + entry.note);
    }
    if (!m_setup.options.nameTemplate.empty()) {
        plan.job.pageName = entry.name;
    }
    if (!m_setup.options.stamp.empty()) {
        NameValues values = NameValuesOf(entry);
        values["pages"] = std::to_string(std::max(m_drawingPages, page));
        values["device"] = settings.printerName;
        values["paper"] = entry.paper;
        AddStampValues(values);
        plan.job.stamp =
            PlotStamp{StampText(m_setup.options.stamp, values), JobCorner(m_setup.options.stampCorner)};
    }
    plan.job.excerpt = m_setup.options.split;
    if (m_setup.options.pageFormat != "pdf") {
        plan.job.format = PageFormat{PageFormat::KindNamed(m_setup.options.pageFormat),
                                     m_setup.options.dpi, m_setup.options.monochrome};
    }
    plan.paper = entry.paper;
    plan.note = entry.note;
    m_pending = std::move(entry);
    return plan;
}

void OutputRun::FramePlotted(const PlottedPage& written) {
    if (m_pending) {
        m_pending->file = written.file;
    }
    if (m_pending && m_pending->page > 0) {
        m_pages.push_back(std::move(*m_pending));
    }
    m_pending.reset();
}

std::string OutputRun::FolderForResults() const {
    for (const PageEntry& page : m_pages) {
        if (!page.file.empty()) {
            return Utf8FromPath(PathFromUtf8(page.file).parent_path());
        }
    }
    if (!m_setup.outputFolder.empty()) {
        return m_setup.outputFolder;
    }
    if (!m_pages.empty()) {
        const fs::path folder = PathFromUtf8(m_pages.front().drawing).parent_path();
        return folder.empty() ? "." : Utf8FromPath(folder);
    }
    return ".";
}

std::vector<OutputRun::Written> OutputRun::Finish() {
    std::vector<Written> written;
    const std::string folder = FolderForResults();
    if (m_setup.options.merge != MergeMode::None) {
        // Groups of pages in plotting order: one per drawing, or the whole run.
        std::vector<std::vector<PageEntry*>> groups;
        for (PageEntry& page : m_pages) {
            if (page.file.empty()) {
                continue;
            }
            if (groups.empty() || (m_setup.options.merge == MergeMode::Drawing &&
                                   groups.back().back()->drawing != page.drawing)) {
                groups.emplace_back();
            }
            groups.back().push_back(&page);
        }
        for (const auto& group : groups) {
            const std::string title =
                m_setup.options.merge == MergeMode::Drawing
                    ? Utf8FromPath(PathFromUtf8(group.front()->drawing).stem())
                    : Utf8FromPath(PathFromUtf8(folder).filename());
            // The merged PDF's pages: the catalogue's first when asked for, then the group's.
            const std::string groupFolder =
                Utf8FromPath(PathFromUtf8(group.front()->file).parent_path());
            const std::string path =
                FreePath(groupFolder, SafeFileName(title.empty() ? "Kestrelwick" : title), ".pdf");
            std::vector<MergePage> pages;
            std::string cataloguePages;
            if (m_setup.options.cataloguePdf) {
                std::vector<PageEntry> entries;
                for (const PageEntry* page : group) {
                    entries.push_back(*page);
                }
                cataloguePages = FreePath(groupFolder, ".图纸目录", ".pdf");
                WriteCataloguePdf(cataloguePages, title, CatalogueTable(entries, m_columns));
                pages.push_back({cataloguePages, "图纸目录"});
            }
            for (const PageEntry* page : group) {
                pages.push_back({page->file, page->name});
            }
            try {
                MergePdf(pages, {title, "Kestrelwick"}, path);
            } catch (const Error&) {
                std::error_code ignored;
                fs::remove(PathFromUtf8(cataloguePages), ignored);
                throw;
            }
            if (!cataloguePages.empty()) {
                std::error_code ignored;
                fs::remove(PathFromUtf8(cataloguePages), ignored);
            }
            written.push_back({path, static_cast<int>(group.size())});
        }
    }
    if (m_setup.options.catalogueCsv || m_setup.options.catalogueXlsx ||
        m_setup.options.cataloguePdf) {
        const auto table = CatalogueTable(m_pages, m_columns);
        if (m_setup.options.catalogueCsv) {
            const std::string path = FreePath(folder, "图纸目录", ".csv");
            WriteCatalogueCsv(path, table);
            written.push_back({path, 0});
        }
        if (m_setup.options.catalogueXlsx) {
            const std::string path = FreePath(folder, "图纸目录", ".xlsx");
            WriteCatalogueXlsx(path, table);
            written.push_back({path, 0});
        }
        if (m_setup.options.cataloguePdf && m_setup.options.merge == MergeMode::None) {
            const std::string path = FreePath(folder, "图纸目录", ".pdf");
            WriteCataloguePdf(path, "图纸目录", table);
            written.push_back({path, 0});
        }
    }
    return written;
}

} // namespace kw::output
