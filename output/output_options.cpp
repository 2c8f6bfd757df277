#include "output/output_options.h"

#include <cstdlib>

#include "base/error.h"

namespace kw::output {

MergeMode ParseMerge(const std::string& text) {
    if (text == "drawing") {
        return MergeMode::Drawing;
    }
    if (text == "run") {
        return MergeMode::Run;
    }
    if (text == "none" || text.empty()) {
        return MergeMode::None;
    }
    throw Error(errors::kInvalidCall, "expected drawing, run or none, got \"" + text + "\"");
}

std::string MergeText(MergeMode mode) {
    switch (mode) {
    case MergeMode::Drawing:
        return "drawing";
    case MergeMode::Run:
        return "run";
    default:
        return "none";
    }
}

namespace {

constexpr std::pair<StampCorner, const char*> kCorners[] = {
    {StampCorner::BottomLeft, "bottom-left"},
    {StampCorner::BottomRight, "bottom-right"},
    {StampCorner::TopLeft, "top-left"},
    {StampCorner::TopRight, "top-right"},
};

} // namespace

StampCorner ParseStampCorner(const std::string& text) {
    for (const auto& [corner, name] : kCorners) {
        if (text == name) {
            return corner;
        }
    }
    throw Error(errors::kInvalidCall,
                "expected bottom-left, bottom-right, top-left or top-right, got \"" + text + "\"");
}

std::string StampCornerText(StampCorner corner) {
    for (const auto& [known, name] : kCorners) {
        if (known == corner) {
            return name;
        }
    }
    return "bottom-left";
}

std::map<std::string, std::string> ToSection(const OutputOptions& options) {
    std::string catalogue;
    if (options.catalogueCsv) {
        catalogue = "csv";
    }
    for (const auto& [on, format] :
         {std::pair{options.catalogueXlsx, "xlsx"}, std::pair{options.cataloguePdf, "pdf"}}) {
        if (on) {
            catalogue += (catalogue.empty() ? "" : ",") + std::string(format);
        }
    }
    std::map<std::string, std::string> section = {
        {"paper", options.paper == PaperMode::Auto    ? "auto"
                  : options.paper == PaperMode::Frame ? "frame"
                                                      : "panel"},
        {"scale", options.scale},
        {"name", options.nameTemplate},
        {"merge", MergeText(options.merge)},
        {"catalogue", catalogue},
        {"columns", options.columns},
        {"folder", options.folder},
    };
    // Written only when chosen, so that a file of the earlier releases reads back as it was.
    if (options.fallback == Fallback::Frame) {
        section["fallback"] = "frame";
    }
    if (options.layouts != "current") {
        section["layouts"] = options.layouts;
    }
    if (options.wholeLayouts) {
        section["whole_layouts"] = "1";
    }
    if (!options.stamp.empty()) {
        section["stamp"] = options.stamp;
        section["stamp_corner"] = StampCornerText(options.stampCorner);
    }
    if (options.split) {
        section["split"] = "1";
    }
    if (options.pageFormat != "pdf") {
        section["format"] = options.pageFormat;
        section["dpi"] = std::to_string(options.dpi);
        section["monochrome"] = options.monochrome ? "1" : "0";
    }
    return section;
}

OutputOptions FromSection(const std::map<std::string, std::string>& section) {
    OutputOptions options;
    auto value = [&](const char* key) -> const std::string* {
        const auto found = section.find(key);
        return found == section.end() ? nullptr : &found->second;
    };
    if (const auto* paper = value("paper")) {
        options.paper = *paper == "auto"    ? PaperMode::Auto
                        : *paper == "frame" ? PaperMode::Frame
                                            : PaperMode::Panel;
    }
    if (const auto* split = value("split")) {
        options.split = *split == "1";
    }
    if (const auto* fallback = value("fallback")) {
        options.fallback = *fallback == "frame" ? Fallback::Frame : Fallback::Length;
    }
    if (const auto* scale = value("scale"); scale && !scale->empty()) {
        options.scale = *scale;
    }
    if (const auto* name = value("name")) {
        options.nameTemplate = *name;
    }
    if (const auto* merge = value("merge")) {
        try {
            options.merge = ParseMerge(*merge);
        } catch (const Error&) {
        }
    }
    if (const auto* catalogue = value("catalogue")) {
        options.catalogueCsv = catalogue->find("csv") != std::string::npos;
        options.catalogueXlsx = catalogue->find("xlsx") != std::string::npos;
        options.cataloguePdf = catalogue->find("pdf") != std::string::npos;
    }
    if (const auto* columns = value("columns"); columns && !columns->empty()) {
        options.columns = *columns;
    }
    if (const auto* folder = value("folder")) {
        options.folder = *folder;
    }
    if (const auto* layouts = value("layouts"); layouts && !layouts->empty()) {
        options.layouts = *layouts;
    }
    if (const auto* whole = value("whole_layouts")) {
        options.wholeLayouts = *whole == "1";
    }
    if (const auto* format = value("format");
        format && (*format == "png" || *format == "tiff" || *format == "svg")) {
        options.pageFormat = *format;
    }
    if (const auto* dpi = value("dpi")) {
        const int dots = std::atoi(dpi->c_str());
        options.dpi = dots >= 10 && dots <= 2400 ? dots : 300;
    }
    if (const auto* monochrome = value("monochrome")) {
        options.monochrome = *monochrome == "1";
    }
    if (const auto* stamp = value("stamp")) {
        options.stamp = *stamp;
    }
    if (const auto* corner = value("stamp_corner")) {
        try {
            options.stampCorner = ParseStampCorner(*corner);
        } catch (const Error&) {
        }
    }
    return options;
}

} // namespace kw::output
