#pragma once

// What a run makes of its pages beyond the panel's settings: the paper and scale of each frame,
// file names from title-block fields, merged PDFs and the drawing catalogue.

#include <map>
#include <string>

namespace kw::output {

// The panel's paper and frame length; the frame's own sheet; the frame's own sheet, or a page of
// the frame's own size where it is no sheet.
enum class PaperMode { Panel, Auto, Frame };
// What --paper auto does with a frame that is no standard sheet: the panel's paper by the frame
// length, or a page of the frame's own size.
enum class Fallback { Length, Frame };
enum class MergeMode { None, Drawing, Run };
// The corner of the paper a plot stamp goes in.
enum class StampCorner { BottomLeft, BottomRight, TopLeft, TopRight };

struct OutputOptions {
    PaperMode paper = PaperMode::Panel;
    Fallback fallback = Fallback::Length; // with PaperMode::Auto
    std::string scale = "auto"; // "auto" or "1:N" (not with PaperMode::Panel)
    std::string nameTemplate;   // empty: the device's own names (drawing-NNN)
    MergeMode merge = MergeMode::None;
    bool catalogueCsv = false;
    bool catalogueXlsx = false;
    bool cataloguePdf = false; // the first page(s) of each merged PDF, else a PDF of its own
    std::string columns = "序号,图号,图名,图幅,比例,页码,文件";
    // Where the PDF files go; empty: beside each drawing (a drawing not saved yet: the user's
    // documents folder). A folder alone needs no output run: the device asks for it.
    std::string folder;
    // A plot stamp: a template of the fields of a page's name and {pages} {date} {time} {user}
    // {device} {paper}, printed in a corner of the paper outside the frame; empty for none.
    std::string stamp;
    StampCorner stampCorner = StampCorner::BottomLeft;
    // What a device that writes files makes of each page: "pdf", "png", "tiff" or "svg", with the
    // dots per inch and one bit a dot of the pictures.
    std::string pageFormat = "pdf";
    int dpi = 300;
    bool monochrome = false;
    // Each frame written as a drawing of its own (a DXF under the page's name) instead of a page.
    bool split = false;
    // The layouts whose frames are plotted: "current" (the drawing's own), "model", "all" or
    // names separated by commas; with wholeLayouts a chosen paper layout without frames is
    // plotted whole, as its page setup stands.
    std::string layouts = "current";
    bool wholeLayouts = false;

    // Anything beyond the panel's rule: a run with none plots exactly as before.
    bool Active() const {
        return paper != PaperMode::Panel || !nameTemplate.empty() || merge != MergeMode::None ||
               catalogueCsv || catalogueXlsx || cataloguePdf || !stamp.empty() || split ||
               pageFormat != "pdf";
    }
    bool operator==(const OutputOptions&) const = default;
};

// As the settings file's section keeps them: key → value texts.
std::map<std::string, std::string> ToSection(const OutputOptions& options);
// Values that do not read are left at their defaults; unknown keys are ignored.
OutputOptions FromSection(const std::map<std::string, std::string>& section);

// "drawing", "run", "none"; throws Error 5 for another text.
MergeMode ParseMerge(const std::string& text);
std::string MergeText(MergeMode mode);

// "bottom-left", "bottom-right", "top-left", "top-right"; throws Error 5 for another text.
StampCorner ParseStampCorner(const std::string& text);
std::string StampCornerText(StampCorner corner);

} // namespace kw::output
