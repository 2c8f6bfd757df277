#include "app/plot/plot_options.h"

#include <filesystem>
#include <functional>
#include <map>
#include <system_error>

#include "output/catalogue.h"
#include "output/sheets.h"
#include "settings/error.h"

namespace kw {
namespace {

[[noreturn]] void Fail(const std::string& text) {
    throw Error(errors::kInvalidCall, text);
}

FrameKind ParseKind(const std::string& text) {
    if (text == "polyline") {
        return FrameKind::PolylineLayer;
    }
    if (text == "block") {
        return FrameKind::BlockReference;
    }
    if (text == "xref") {
        return FrameKind::ExternalReference;
    }
    Fail("--kind: expected polyline, block or xref, got \"" + text + "\"");
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(
        std::filesystem::path(std::u8string(path.begin(), path.end())), error);
}

} // namespace

PlotOptions ParsePlotOptions(const std::vector<std::string>& arguments,
                             const PlotSettings& defaults) {
    PlotOptions options;
    options.settings = defaults;
    options.settings.mode = PlotMode::SelectedFiles;
    PlotSettings& s = options.settings;
    std::optional<std::string> name; // --name applies to whichever kind is chosen

    using Setter = std::function<void(const std::string&)>;
    const std::map<std::string, Setter> withValue = {
        {"--kind", [&](const std::string& v) { s.frameKind = ParseKind(v); }},
        {"--frame-kind", [&](const std::string& v) { s.frameKind = ParseKind(v); }},
        {"--layer", [&](const std::string& v) { s.frameLayer = v; }},
        {"--block", [&](const std::string& v) { s.blockName = v; }},
        {"--xref", [&](const std::string& v) { s.xrefName = v; }},
        {"--name",
         [&](const std::string& v) {
             // A name with a field in braces is a file name template; frames are named with
             // --layer, --block and --xref as well, so no frame name is lost to this.
             if (v.find('{') != std::string::npos) {
                 options.output.nameTemplate = v;
             } else {
                 name = v;
             }
         }},
        {"--scale", [&](const std::string& v) { options.output.scale = v; }},
        {"--merge",
         [&](const std::string& v) {
             try {
                 options.output.merge = output::ParseMerge(v);
             } catch (const std::invalid_argument& failure) {
                 Fail(std::string("--merge: ") + failure.what());
             }
         }},
        {"--catalogue",
         [&](const std::string& v) {
             for (const std::string& format : output::ParseColumns(v)) {
                 if (format == "csv") {
                     options.output.catalogueCsv = true;
                 } else if (format == "xlsx") {
                     options.output.catalogueXlsx = true;
                 } else {
                     Fail("--catalogue: expected csv, xlsx or csv,xlsx, got \"" + v + "\"");
                 }
             }
         }},
        {"--columns", [&](const std::string& v) { options.output.columns = v; }},
        {"--fields", [&](const std::string& v) { options.fieldsFile = v; }},
        {"--device", [&](const std::string& v) { s.printerName = v; }},
        {"--paper",
         [&](const std::string& v) {
             if (v == "auto") {
                 options.output.paper = output::PaperMode::Auto;
             } else {
                 s.paperName = v;
             }
         }},
        {"--style", [&](const std::string& v) { s.styleTable = v; }},
        {"--length", [&](const std::string& v) { s.frameLength = v; }},
        {"--allowance", [&](const std::string& v) { s.pointAllowance = v; }},
        {"--copies", [&](const std::string& v) { s.copies = v; }},
        {"--output", [&](const std::string& v) { options.outputFolder = v; }},
        {"--fonts", [&](const std::string& v) { options.fontFolders.push_back(v); }},
        {"--papers",
         [&](const std::string& v) {
             options.action = PlotAction::Papers;
             options.papersDevice = v;
         }},
        {"--offset",
         [&](const std::string& v) {
             const auto comma = v.find(',');
             if (comma == std::string::npos) {
                 Fail("--offset: expected X,Y in millimetres, got \"" + v + "\"");
             }
             s.offsetX = v.substr(0, comma);
             s.offsetY = v.substr(comma + 1);
         }},
    };
    const std::map<std::string, std::function<void()>> flags = {
        {"--bottom-up", [&] { s.rowsBottomUp = true; }},
        {"--portrait", [&] { s.portrait = true; }},
        {"--reverse", [&] { s.reversePlot = true; }},
        {"--center", [&] { s.centerPlot = true; }},
        {"--no-lineweights", [&] { s.plotLineweights = false; }},
        {"--no-plot-styles", [&] { s.plotStyles = false; }},
        {"--hide", [&] { s.hideObjects = true; }},
        {"--list", [&] { options.action = PlotAction::List; }},
        {"--progress", [&] { options.progress = true; }},
        {"--devices", [&] { options.action = PlotAction::Devices; }},
        {"--help", [&] { options.action = PlotAction::Help; }},
        {"-h", [&] { options.action = PlotAction::Help; }},
    };

    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyFiles || argument.empty() || argument[0] != '-' || argument == "-") {
            options.drawings.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyFiles = true;
            continue;
        }
        std::string key = argument;
        std::optional<std::string> inlineValue;
        if (const auto equals = argument.find('='); equals != std::string::npos) {
            key = argument.substr(0, equals);
            inlineValue = argument.substr(equals + 1);
        }
        if (key == "--styles") {
            // "--styles DIR" (or --styles=DIR) adds a folder of table files; a plain "--styles"
            // lists the tables. A drawing is never a folder, so the two cannot be confused.
            if (inlineValue) {
                options.styleFolders.push_back(*inlineValue);
            } else if (i + 1 < arguments.size() && IsFolder(arguments[i + 1])) {
                options.styleFolders.push_back(arguments[++i]);
            } else {
                options.action = PlotAction::Styles;
            }
            continue;
        }
        if (const auto setter = withValue.find(key); setter != withValue.end()) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size()) {
                    Fail(key + ": a value is missing");
                }
                inlineValue = arguments[++i];
            }
            setter->second(*inlineValue);
        } else if (const auto flag = flags.find(key); flag != flags.end() && !inlineValue) {
            flag->second();
        } else {
            Fail("unknown option \"" + argument + "\" (see --help)");
        }
    }
    if (name) {
        switch (s.frameKind) {
        case FrameKind::PolylineLayer:
            s.frameLayer = *name;
            break;
        case FrameKind::BlockReference:
            s.blockName = *name;
            break;
        case FrameKind::ExternalReference:
            s.xrefName = *name;
            break;
        }
    }
    try {
        output::ParseScale(options.output.scale);
    } catch (const std::invalid_argument& failure) {
        Fail(std::string("--scale: ") + failure.what());
    }
    if (options.output.scale != "auto" && options.output.paper != output::PaperMode::Auto) {
        Fail("--scale 1:N needs --paper auto (the panel's paper keeps the frame-length rule)");
    }
    // A styles folder and nothing to plot: the tables it adds are listed.
    if (options.action == PlotAction::Plot && options.drawings.empty() &&
        !options.styleFolders.empty()) {
        options.action = PlotAction::Styles;
    }
    if ((options.action == PlotAction::Plot || options.action == PlotAction::List) &&
        options.drawings.empty()) {
        Fail("no drawing given (see --help)");
    }
    return options;
}

std::string PlotUsage() {
    return R"(用法: kestrelwick-plot [选项] 图形.dxf ...
按图框批量打印 DXF 图形：找出每个图框，按阅读顺序排列，每个图框打印为一页。

  --list                   只查找并排序图框，不打印；每个图框一行：
                           路径<TAB>页号<TAB>xMin yMin xMax yMax
  --devices                列出打印机
  --papers 打印机          列出该打印机的图纸（显示名<TAB>标准名）
  --styles                 列出打印样式表
  --styles 文件夹          打印样式表文件（.ctb、.stb）所在文件夹，先于程序旁的 PlotStyles 文件夹
  --kind polyline|block|xref  图框类型：多段线（按图层）、块参照、外部参照
  --layer 图层             图框所在图层（默认“图框”）
  --block 名称             图框块名（默认“RmTK”）
  --xref 名称              图框外部参照名（默认“tk_xref”）
  --name 名称              所选图框类型的图层或名称（不含 {}）
  --bottom-up              从下往上排列（默认从上往下）
  --device 打印机          打印机（默认 Kestrelwick PDF）
  --paper 图纸             图纸，显示名或标准名；auto：每个图框按其图幅和比例出图
                           （PDF 页面即该图幅，打印机取能容下它的最小图纸），
                           不是标准图幅的图框按图框标准长度打印在默认图纸上
  --scale auto|1:N         与 --paper auto 同用：auto 按常用比例识别，1:N 指定比例
  --name 模板              含 {字段} 时为文件名模板，如 "{图号}_{图名}"；字段取自图框的
                           标题栏（TitleFields.ini），另有 {drawing} {page:03} {index}
                           {sheet} {scale}；缺字段时用 "{drawing}-{page:03}"
  --merge drawing|run      每个图形或整次打印合并为一个 PDF，每页一个书签（名称按模板）
  --catalogue csv,xlsx     写图纸目录“图纸目录.csv”“图纸目录.xlsx”
  --columns 列,列,...      图纸目录的列（默认 序号,图号,图名,图幅,比例,页码,文件）
  --fields 文件            标题栏字段定义文件（默认设置文件旁的 TitleFields.ini）
  --style 样式表           打印样式表
  --portrait               纵向（默认横向）
  --reverse                反向打印
  --length 毫米            图框标准长度（默认 380）
  --allowance 毫米         图框点允差（默认 0）
  --center                 居中打印
  --offset X,Y             打印偏移，毫米（默认 5,25）
  --copies 份数            每页份数（默认 1）
  --no-lineweights         不打印线宽
  --no-plot-styles         不按样式打印
  --hide                   隐藏对象
  --output 文件夹          PDF 的输出文件夹（默认为各图形所在文件夹）
  --progress               在终端的标准错误上显示进度条
  --fonts 文件夹           SHX 字体文件夹，可多次给出（先于程序旁的 Fonts 文件夹查找）
  --help                   显示本帮助
打印时每个图框一个 PDF 文件“图形名-页号.pdf”（已有的文件不覆盖，另取页号），或打印机的一个作业；
结束时每个写出的文件一行：路径<TAB>页数。
退出状态：成功为 0，失败不为 0；状态行写到标准输出，错误信息写到标准错误。

Usage: kestrelwick-plot [options] drawing.dxf ...
Batch-plots DXF drawings frame by frame: finds every title-block frame, puts the frames in
reading order and plots each as its own page.

  --list                   find and order the frames without plotting; one line per frame:
                           PATH<TAB>PAGE<TAB>xMin yMin xMax yMax
  --devices                list the devices
  --papers DEVICE          list the papers of a device (display name<TAB>canonical name)
  --styles                 list the plot style tables
  --styles DIR             folder of plot style table files (.ctb, .stb), searched before the
                           PlotStyles folder beside the program
  --kind polyline|block|xref  frame kind: polyline on a layer, block reference, external reference
  --layer LAYER            layer of frame polylines (default "图框")
  --block NAME             block name of frames (default "RmTK")
  --xref NAME              external reference name of frames (default "tk_xref")
  --name NAME              layer or name for the chosen frame kind (without {})
  --bottom-up              rows from the bottom up (default: top down)
  --device DEVICE          device (default Kestrelwick PDF)
  --paper PAPER            paper, display or canonical name; auto: each frame on its own
                           sheet at its drawing scale (a PDF page is the sheet, a printer
                           gets the smallest paper that holds it); a frame that is no
                           standard sheet is plotted by the frame length on the panel's paper
  --scale auto|1:N         with --paper auto: recognise the scale, or force 1:N
  --name TEMPLATE          with {fields}, a file name template such as "{图号}_{图名}": fields
                           from the title block (TitleFields.ini), and {drawing} {page:03}
                           {index} {sheet} {scale}; "{drawing}-{page:03}" when one is missing
  --merge drawing|run      one PDF per drawing or per run, a bookmark per page (the name)
  --catalogue csv,xlsx     write the drawing catalogue 图纸目录.csv / 图纸目录.xlsx
  --columns A,B,...        catalogue columns (default 序号,图号,图名,图幅,比例,页码,文件)
  --fields FILE            title-block field definitions (default TitleFields.ini beside the
                           settings file)
  --style TABLE            plot style table
  --portrait               portrait (default: landscape)
  --reverse                plot upside down
  --length MM              standard frame length on paper (default 380)
  --allowance MM           frame-point allowance (default 0)
  --center                 centre the plot on the paper
  --offset X,Y             plot offset in millimetres (default 5,25)
  --copies N               copies of each page (default 1)
  --no-lineweights         do not plot lineweights
  --no-plot-styles         do not plot with plot styles
  --hide                   hide objects behind others
  --output DIR             folder for PDF files (default: each drawing's folder)
  --progress               a progress bar on stderr when it is a terminal
  --fonts DIR              folder of SHX fonts, may be repeated (searched before the Fonts
                           folder beside the program)
  --help                   show this help
Plotting writes one PDF file per frame, "drawing-NNN.pdf" (an existing file is never replaced, a
new number is taken), or sends one job per frame to a printer; at the end one line per file
written: PATH<TAB>PAGES.
Exit status 0 on success, non-zero on failure; status lines go to stdout, messages to stderr.
)";
}

} // namespace kw
