#include <cstdlib>
#include <string>

#include "app/plot/plot_options.h"

namespace kw {
namespace {

constexpr const char* kChineseUsage = R"(用法: kestrelwick-plot [选项] 路径 ...
按图框批量打印 DXF/DWG 图形：找出每个图框，按阅读顺序排列，每个图框打印为一页。
路径可以是图形文件（.dxf、.dwg）、文件夹、通配符模式（如 'plans/*.dxf'，请加引号）或列表文件
（.txt、.lst，每行一个图形路径，相对路径从列表文件所在文件夹算起）。

要打印什么
  --list                   只查找并排序图框，不打印；每个图框一行：
                           路径<TAB>页号<TAB>xMin yMin xMax yMax
  --recursive, -r          文件夹连同其子文件夹
  --kind polyline|block|xref|auto
                           图框类型：多段线（按图层）、块参照、外部参照；auto 为自动查找：
                           图幅为标准图纸（A0–A4 及加长幅面，标准比例）的闭合矩形
                           （多段线或四条直线）和块参照，内框、标题栏格、重复和嵌套的除外
  --explain                与 --list --kind auto 同用：每个未取为图框的候选一行，说明原因
  --layer 图层             图框所在图层（默认“图框”）
  --block 名称             图框块名（默认“RmTK”）
  --xref 名称              图框外部参照名（默认“tk_xref”）
  --name 名称              所选图框类型的图层或名称（不含 {}）
  --layouts current|model|all|布局名,…
                           在哪些布局中找图框并打印：current（默认，图形保存时的当前布局）、
                           model（模型空间）、all（全部布局，按布局标签顺序，模型在前）或
                           以逗号分隔的布局名；页号在各布局间连续编号
  --whole-layouts          所选图纸空间布局中没有图框时，按该布局自己的页面设置（图纸、
                           打印范围、比例）整张打印为一页
  --order classic|rows|columns|number
                           阅读顺序：classic（默认，本程序一贯的规则）、rows（按纵向重叠分行）、
                           columns（按横向重叠分列）、number（按图号；暂按位置）
  --bottom-up              从下往上（默认从上往下）
  --right-to-left          从右往左（默认从左往右）

怎样打印
  --device 打印机          打印机（默认 Kestrelwick PDF）；--devices 列出打印机
  --paper 图纸             图纸，显示名或标准名；--papers 打印机 列出其图纸
  --paper auto             每个图框按其图幅和比例出图（PDF 页面即该图幅，打印机取能容下它的
                           最小图纸）；不是标准图幅的图框按图框标准长度打印在默认图纸上
  --fallback length|frame  与 --paper auto 同用：不是标准图幅的图框按图框标准长度打印（length，
                           默认），或打印在与图框同样大小的 PDF 页面上（frame）
  --paper frame            同 --paper auto，不是标准图幅的图框打印在与图框同样大小的 PDF 页面
                           上（按 --scale 指定的比例，否则按标题栏读得出的常用比例），便于存档
  --format pdf|png|tiff|svg
                           每页写成 PDF（默认）、PNG 或 TIFF 图片、SVG 矢量图（同样的文件名，
                           扩展名 .png、.tif、.svg；SVG 中文字仍为文字）
  --dpi N                  与 --format png 或 tiff 同用：每英寸点数（默认 300）
  --monochrome             与 --format png 或 tiff 同用：黑白（每点 1 位，凡有墨处皆黑；
                           TIFF 用 CCITT G4 压缩，供存档）
  --split                  拆图：每个图框另存为一个 DXF 图纸（代替出图，文件名同页面，扩展名
                           .dxf），只含图框窗口内及与之相交的对象，图层、块、样式等全部保留，
                           版本同原图；原图不写。不与 --device 打印机、--merge、非 pdf 的 --format、
                           --save-settings 同用
  --scale auto|1:N         与 --paper auto 或 frame 同用：auto 按常用比例识别，1:N 指定比例
  --name 模板              含 {字段} 时为文件名模板，如 "{图号}_{图名}"；字段取自图框的标题栏
                           （TitleFields.ini），另有 {drawing} {page:03} {index} {sheet} {scale}；
                           缺字段时用 "{drawing}-{page:03}"
  --merge drawing|run      另写每个图形或整批合并的 PDF，每页一个书签（名称按模板）
  --catalogue csv,xlsx,pdf 写图纸目录“图纸目录.csv”“图纸目录.xlsx”；pdf：作为合并 PDF 的首页
                           （不合并时另写“图纸目录.pdf”）
  --columns 列,列,...      图纸目录的列（默认 序号,图号,图名,图幅,比例,页码,文件）
  --fields 文件            标题栏字段定义文件（默认设置文件旁的 TitleFields.ini）
  --stamp 模板             打印戳记：在图纸一角、图框之外打印一行小字，如
                           "{drawing} · {page}/{pages} · {date} {time} · {user}"；字段同 --name，
                           另有 {pages} {date} {time} {user} {device} {paper}；放不下时不加，
                           日志中说明
  --stamp-corner 角        戳记所在的角：bottom-left（默认）、bottom-right、top-left、top-right
  --style 样式表           打印样式表；--styles 列出样式表
  --styles 文件夹          打印样式表文件（.ctb、.stb）所在文件夹，先于程序旁的 PlotStyles 文件夹
  --portrait               纵向（默认横向）
  --reverse                反向打印
  --length 毫米            图框标准长度，大于 0（默认 380）
  --allowance 毫米         图框点允差（默认 0）
  --center                 居中打印
  --offset X,Y             打印偏移，毫米（默认 5,25）
  --copies 份数            每页份数，1 至 32767（默认 1）
  --no-lineweights         不打印线宽
  --no-plot-styles         不按样式打印
  --hide                   隐藏对象
  --output 文件夹          PDF 的输出文件夹（默认为各图形所在文件夹）
  --fonts 文件夹           SHX 字体文件夹，可多次给出（先于程序旁的 Fonts 文件夹查找）

批处理
  -j N, --jobs N           同时打印的图形数，每个一个工作进程（默认：处理器核数）
  --log 文件               运行日志（JSON 行，每页一行）；默认每次运行一个新文件，放在
                           ~/.local/state/Kestrelwick/logs，结尾的汇总行给出其路径
  --resume 日志            只重新打印该日志中失败的页和输出文件已不在的页（选项同上次）
  --stop-on-error          遇到第一个失败即停止（默认打印完其余各页，最后以非 0 状态退出）
  --recover                不完整的图形（文件被截断、段未结束）也打印读得到的图框；该图形仍记为
                           失败，日志和标准错误输出说明损坏之处（默认这样的图形整个失败）
  --shard K/N              只处理图形集（按路径）N 份中的第 K 份，供多台机器分担
  --merge-logs 日志 ...     把各份的日志按单机运行的顺序合并，写到 --log 文件或标准输出

监视文件夹（打印服务器）
  --watch 文件夹           一直运行：文件夹（加 -r 连同子文件夹）中出现的每个图形，文件大小
                           停止变化后打印（复制到一半的文件绝不打开），然后连同其日志行移到
                           文件夹下的 done/ 或 failed/；须给 --output；日志追加到 --log 文件，
                           默认为该文件夹中的 kestrelwick-watch.jsonl；SIGTERM 或 Ctrl+C 在当前
                           图形打印完后停止，重新启动后从中断处继续（不重复、不遗漏）
  --settle 秒              与 --watch 同用：文件大小多少秒不变才算复制完（默认 2）
  --progress               进度：终端上为进度条，否则每个图形一行（终端上默认显示进度条）
  --no-progress            不显示进度
  --settings 文件          另用这个设置文件
  --save-settings          把本次的设置写回设置文件，并把打印设置存入图形（默认两者都不改动）
  --help                   显示本帮助
  --version                显示版本号

打印时每个图框一个 PDF 文件“图形名-页号.pdf”（已有的文件不覆盖，另取页号），或打印机的一个作业；
每写出一个文件一行：路径<TAB>页数；每个失败一行写到标准错误：图形、页号和图框、信息。
最后一行是汇总。退出状态：全部成功为 0，有页失败为 1（其余各页照常打印），选项有误为 2。

示例
  kestrelwick-plot --output pdf 项目/*.dxf
  kestrelwick-plot -r --kind block --block 图框 --output pdf 项目/ --log run.jsonl
  kestrelwick-plot --resume run.jsonl --output pdf
  kestrelwick-plot --list --order rows --right-to-left 总图.dxf
  kestrelwick-plot --watch /srv/plot/in -r --output /srv/plot/pdf --paper auto
)";

constexpr const char* kEnglishUsage = R"(Usage: kestrelwick-plot [options] PATH ...
Batch-plots DXF and DWG drawings frame by frame: finds every title-block frame, puts the frames in
reading order and plots each as its own page. A PATH is a drawing (.dxf, .dwg), a folder, a
pattern (e.g. 'plans/*.dxf', quoted) or a list file (.txt, .lst: one drawing path per line,
relative paths counted from the list file's folder).

What to plot
  --list                   find and order the frames without plotting; one line per frame:
                           PATH<TAB>PAGE<TAB>xMin yMin xMax yMax
  --recursive, -r          folders with their sub-folders
  --kind polyline|block|xref|auto
                           frame kind: polyline on a layer, block reference, external reference;
                           auto finds closed rectangles (polylines, four lines) and block
                           references of a standard sheet's size (A0-A4 and the lengthened
                           sheets, at a standard scale), leaving out inner borders, title-block
                           cells, duplicates and frames within frames
  --explain                with --list --kind auto: one more line per candidate that is no
                           frame, saying why
  --layer LAYER            layer of frame polylines (default "图框")
  --block NAME             block name of frames (default "RmTK")
  --xref NAME              external reference name of frames (default "tk_xref")
  --name NAME              layer or name for the chosen frame kind (without {})
  --layouts current|model|all|NAME,...
                           the layouts whose frames are found and plotted: current (default,
                           the layout the drawing was saved in), model, all (in tab order, Model
                           first) or layout names separated by commas; pages are numbered on
                           across the layouts
  --whole-layouts          a chosen paper layout without frames is plotted as one page of its
                           own page setup (paper, plot area, scale)
  --order classic|rows|columns|number
                           reading order: classic (default, the program's established rule),
                           rows (grouped by vertical overlap), columns (grouped by horizontal
                           overlap), number (by drawing number; by position for now)
  --bottom-up              from the bottom up (default: top down)
  --right-to-left          from right to left (default: left to right)

How to plot
  --device DEVICE          device (default Kestrelwick PDF); --devices lists them
  --paper PAPER            paper, display or canonical name; --papers DEVICE lists them
  --paper auto             each frame on its own sheet at its drawing scale (a PDF page is the
                           sheet, a printer gets the smallest paper that holds it); a frame
                           that is no standard sheet keeps the frame length on the paper
  --fallback length|frame  with --paper auto: a frame that is no standard sheet keeps the frame
                           length on the paper (length, default), or goes on a PDF page of its
                           own size (frame)
  --paper frame            as --paper auto, a frame that is no standard sheet on a PDF page of
                           its own size (at --scale, else the scale its title block reads at),
                           for archives
  --format pdf|png|tiff|svg
                           each page as a PDF (default), a PNG or TIFF picture or an SVG drawing
                           (the same names with .png, .tif, .svg; SVG keeps text as text)
  --dpi N                  with --format png or tiff: dots per inch (default 300)
  --monochrome             with --format png or tiff: one bit a dot, black wherever there is
                           ink (TIFF with CCITT group 4, for archives)
  --split                  each frame written as a DXF drawing of its own instead of a page
                           (named as the page, .dxf): what lies in or crosses the frame's window,
                           with every layer, block and style, in the source's release; the
                           drawing itself is never written. Not with a printer, --merge,
                           --format other than pdf or --save-settings
  --scale auto|1:N         with --paper auto or frame: recognise the scale, or force 1:N
  --name TEMPLATE          with {fields}, a file name template such as "{图号}_{图名}": fields
                           from the title block (TitleFields.ini), and {drawing} {page:03}
                           {index} {sheet} {scale}; "{drawing}-{page:03}" when one is missing
  --merge drawing|run      also one PDF per drawing or per run, a bookmark per page (its name)
  --catalogue csv,xlsx,pdf write the drawing catalogue 图纸目录.csv / 图纸目录.xlsx; pdf: as the
                           first page(s) of each merged PDF (else 图纸目录.pdf of its own)
  --columns A,B,...        catalogue columns (default 序号,图号,图名,图幅,比例,页码,文件)
  --fields FILE            title-block field definitions (default TitleFields.ini beside the
                           settings file)
  --stamp TEMPLATE         a plot stamp: a line of small text in a corner of the paper, outside
                           the frame, e.g. "{drawing} · {page}/{pages} · {date} {time} · {user}";
                           the fields of --name and {pages} {date} {time} {user} {device}
                           {paper}; left out, and logged, where it has no room
  --stamp-corner CORNER    bottom-left (default), bottom-right, top-left or top-right
  --style TABLE            plot style table; --styles lists them
  --styles DIR             folder of plot style table files (.ctb, .stb), searched before the
                           PlotStyles folder beside the program
  --portrait               portrait (default: landscape)
  --reverse                plot upside down
  --length MM              standard frame length on paper, above 0 (default 380)
  --allowance MM           frame-point allowance (default 0)
  --center                 centre the plot on the paper
  --offset X,Y             plot offset in millimetres (default 5,25)
  --copies N               copies of each page, 1 to 32767 (default 1)
  --no-lineweights         do not plot lineweights
  --no-plot-styles         do not plot with plot styles
  --hide                   hide objects behind others
  --output DIR             folder for PDF files (default: each drawing's folder)
  --fonts DIR              folder of SHX fonts, may be repeated (searched before the Fonts
                           folder beside the program)

Batches
  -j N, --jobs N           drawings plotted at once, each in a worker process of its own
                           (default: the number of cores)
  --log FILE               the run log (JSON lines, one per page); by default a new file for
                           every run in ~/.local/state/Kestrelwick/logs, named in the summary
  --resume LOG             plot again only the pages of LOG that failed or whose file is gone
                           (give the options of the run that wrote it)
  --stop-on-error          stop at the first failure (default: plot every other page, then
                           exit non-zero)
  --recover                plot the frames an incomplete drawing still holds (a file cut off,
                           a section not closed); the drawing is still logged as failed, with
                           the damage on stderr (by default such a drawing fails whole)
  --shard K/N              only the K-th of N slices of the drawing set (by path), for
                           spreading a batch over machines
  --merge-logs LOG ...     join the shards' logs in the order of one serial run, into the
                           --log file or onto stdout

A watched folder (a plot server)
  --watch DIR              keep running: every drawing that appears in DIR (with -r, in its
                           sub-folders too) is plotted once its size has stopped changing (a
                           half-copied file is never opened), then moved to DIR/done/ or
                           DIR/failed/ with its log lines; needs --output; the log is appended
                           to the --log file, by default DIR/kestrelwick-watch.jsonl; SIGTERM or
                           Ctrl+C finishes the drawing in hand and stops, and a restart carries
                           on where it stopped (no page twice, none lost)
  --settle SECONDS         with --watch: how long a drawing's size must stand still before it
                           counts as copied (default 2)
  --progress               progress: a bar on a terminal, one line per drawing otherwise (the
                           bar is shown on a terminal by default)
  --no-progress            no progress
  --settings FILE          use this settings file instead
  --save-settings          write this run's settings back to the settings file and store the
                           plot settings in the drawings (by default neither is touched)
  --help                   show this help
  --version                show the version number

Plotting writes one PDF file per frame, "drawing-NNN.pdf" (an existing file is never replaced, a
new number is taken), or sends one job per frame to a printer; one line per file written:
PATH<TAB>PAGES; one line per failure on stderr: drawing, page and frame, message. The last line
is a summary. Exit status 0 when every page was plotted, 1 when a page failed (all the others
are still plotted), 2 for wrong options.

Examples
  kestrelwick-plot --output pdf 'project/*.dxf'
  kestrelwick-plot -r --kind block --block TITLE --output pdf project/ --log run.jsonl
  kestrelwick-plot --resume run.jsonl --output pdf
  kestrelwick-plot --list --order rows --right-to-left site.dxf
  kestrelwick-plot --watch /srv/plot/in -r --output /srv/plot/pdf --paper auto
)";

} // namespace

bool UserPrefersChinese() {
    // The first of these that is set decides, as for any program's messages.
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return std::string(value).rfind("zh", 0) == 0;
        }
    }
    return false;
}

std::string PlotUsage(bool chinese) {
    return chinese ? kChineseUsage : kEnglishUsage;
}

std::string PlotUsage() {
    return PlotUsage(UserPrefersChinese());
}

} // namespace kw
