#include "render/plot_style_table.h"

#include <QStringDecoder>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "base/characters.h"
#include "base/error.h"
#include "base/paths.h"
#include "render/colors.h"

namespace kw::render {
namespace {

constexpr std::string_view kMagic = "PIAFILEVERSION_";
constexpr std::string_view kCodec = "pmzlibcodec";
// Tables hold a few tens of kilobytes of text; anything near this is no table but a bomb.
constexpr std::size_t kMaxTextBytes = 16u << 20;
constexpr std::size_t kMaxFileBytes = 16u << 20;
constexpr int kAciCount = 255;
constexpr std::size_t kMaxDepth = 8;

// The lineweights a table has when it brings none of its own, millimetres.
constexpr std::array<double, 27> kStandardLineweightsMm = {
    0.00, 0.05, 0.09, 0.10, 0.13, 0.15, 0.18, 0.20, 0.25, 0.30, 0.35, 0.40, 0.45, 0.50,
    0.53, 0.60, 0.65, 0.70, 0.80, 0.90, 1.00, 1.06, 1.20, 1.40, 1.58, 2.00, 2.11};

// Colour words: -1, and the "by ACI" word with every colour bit set, mean the object's colour;
// otherwise the top byte says how the low three bytes are meant (0xC0 by layer and 0xC1 by block
// are the object's colour too; the rest carry red, green, blue).
constexpr std::uint32_t kObjectColor = 0xFFFFFFFFu;
constexpr std::uint32_t kObjectColorAci = 0xC3FFFFFFu;

// Colour policy bits.
constexpr int kPolicyDithering = 1;
constexpr int kPolicyGrayscale = 2;

[[noreturn]] void Damaged(const std::string& fileName, const std::string& reason) {
    throw Error(errors::kTypeMismatch, fileName + ": " + reason);
}


std::uint32_t Word(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

std::string Inflate(std::string_view compressed, std::size_t expectedBytes,
                    const std::string& fileName) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        Damaged(fileName, "the decompressor could not start");
    std::string text;
    text.reserve(std::min(expectedBytes, kMaxTextBytes));
    std::array<char, 16384> buffer{};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = static_cast<uInt>(buffer.size());
        status = inflate(&stream, Z_NO_FLUSH);
        text.append(buffer.data(), buffer.size() - stream.avail_out);
        if (text.size() > kMaxTextBytes) {
            inflateEnd(&stream);
            Damaged(fileName, "the compressed text grows beyond " +
                                  std::to_string(kMaxTextBytes >> 20) + " MB");
        }
    }
    const std::string reason = stream.msg ? stream.msg : "";
    inflateEnd(&stream);
    if (status == Z_STREAM_END)
        return text;
    if (status == Z_BUF_ERROR || status == Z_OK)
        Damaged(fileName, "the compressed text is cut short");
    Damaged(fileName,
            "the compressed text is damaged" + (reason.empty() ? "" : " (" + reason + ")"));
}

// The table's text from the file's bytes, and the kind its header names (if it names one).
std::string TableText(std::string_view bytes, const std::string& fileName,
                      std::optional<PlotStyleKind>& headerKind) {
    if (bytes.substr(0, kMagic.size()) != kMagic) {
        // Plain text, as the table editors of some programs save it.
        if (bytes.find("plot_style") == std::string_view::npos &&
            bytes.find("description=") == std::string_view::npos)
            Damaged(fileName, "not a plot style table (no PIAFILEVERSION header)");
        return std::string(bytes);
    }
    const std::size_t lineEnd = bytes.find('\n');
    if (lineEnd == std::string_view::npos)
        Damaged(fileName, "the header line is not ended");
    std::string_view header = bytes.substr(0, lineEnd);
    if (!header.empty() && header.back() == '\r')
        header.remove_suffix(1);
    if (header.find("CTBVER") != std::string_view::npos)
        headerKind = PlotStyleKind::ColorDependent;
    else if (header.find("STBVER") != std::string_view::npos)
        headerKind = PlotStyleKind::Named;
    std::string_view rest = bytes.substr(lineEnd + 1);
    if (header.find(",compress") == std::string_view::npos)
        return std::string(rest);

    if (rest.substr(0, kCodec.size()) != kCodec)
        Damaged(fileName, "unknown compression (\"" +
                              std::string(rest.substr(0, std::min<std::size_t>(rest.size(), 16))) +
                              "\" where pmzlibcodec was expected)");
    rest.remove_prefix(kCodec.size());
    if (rest.size() < 12)
        Damaged(fileName, "the file ends inside its header");
    // The first word is a checksum; zlib checks the text itself, so it is not needed.
    const std::uint32_t textBytes = Word(rest, 4);
    const std::uint32_t compressedBytes = Word(rest, 8);
    rest.remove_prefix(12);
    if (compressedBytes > rest.size())
        Damaged(fileName, "cut short: the header promises " + std::to_string(compressedBytes) +
                              " compressed bytes, the file holds " + std::to_string(rest.size()));
    if (textBytes > kMaxTextBytes)
        Damaged(fileName, "the header gives an impossible text length (" +
                              std::to_string(textBytes) + " bytes)");
    return Inflate(rest.substr(0, compressedBytes), textBytes, fileName);
}

// The text as UTF-8: tables are written in the system's code page, so a text that is not UTF-8
// is read as GB18030 (which holds GBK and plain ASCII unchanged).
std::string Utf8Text(std::string text) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(QByteArray::fromRawData(text.data(), qsizetype(text.size())));
    Q_UNUSED(decoded)
    if (!utf8.hasError())
        return text;
    QStringDecoder gb18030("GB18030");
    if (!gb18030.isValid())
        return QString::fromLatin1(text.data(), qsizetype(text.size())).toStdString();
    const QString wide = gb18030(QByteArray::fromRawData(text.data(), qsizetype(text.size())));
    return wide.toStdString();
}

// A piece of the file quoted in a message, cut short: a damaged file may hold anything.
std::string Shown(std::string_view text) {
    constexpr std::size_t kMost = 40;
    return text.size() <= kMost ? std::string(text) : std::string(text.substr(0, kMost)) + "...";
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// One line of the text: `key=value` or a group `key{ ... }`.
struct Node {
    std::string key;
    std::string value;
    std::vector<Node> children;
    bool group = false;
    int line = 0;

    const Node* Find(std::string_view name) const {
        for (const Node& child : children)
            if (child.key == name)
                return &child;
        return nullptr;
    }
};

Node ParseTree(const std::string& text, const std::string& fileName) {
    Node root;
    root.group = true;
    std::vector<Node*> open{&root};
    std::istringstream lines(text);
    std::string raw;
    int number = 0;
    while (std::getline(lines, raw)) {
        ++number;
        const std::string_view line = Trim(raw);
        if (line.empty())
            continue;
        if (line == "}") {
            if (open.size() == 1)
                Damaged(fileName, "line " + std::to_string(number) + ": a '}' closes no group");
            open.pop_back();
            continue;
        }
        Node node;
        node.line = number;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos && line.back() == '{') {
            node.key = std::string(Trim(line.substr(0, line.size() - 1)));
            node.group = true;
            // Tables nest three deep; a deeper file is damaged, and would cost a deep recursion.
            if (open.size() > kMaxDepth)
                Damaged(fileName, "line " + std::to_string(number) + ": groups nested too deep");
            open.back()->children.push_back(std::move(node));
            open.push_back(&open.back()->children.back());
            continue;
        }
        if (equals == std::string_view::npos)
            Damaged(fileName, "line " + std::to_string(number) + ": \"" + Shown(line) +
                                  "\" is neither key=value nor a group");
        node.key = std::string(Trim(line.substr(0, equals)));
        std::string_view value = line.substr(equals + 1);
        // Strings are written with an opening quote only: name="Color_1
        if (!value.empty() && value.front() == '"') {
            value.remove_prefix(1);
            if (!value.empty() && value.back() == '"')
                value.remove_suffix(1);
        }
        node.value = std::string(value);
        open.back()->children.push_back(std::move(node));
    }
    if (open.size() > 1)
        Damaged(fileName, "the group \"" + Shown(open.back()->key) + "\" opened on line " +
                              std::to_string(open.back()->line) + " is never closed");
    return root;
}

class Reader {
public:
    explicit Reader(const std::string& fileName) : m_fileName(fileName) {}

    long long Integer(const Node& node, const std::string& where) const {
        const std::string_view text = Trim(node.value);
        long long value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size() || text.empty())
            Bad(node, where, "is no whole number");
        return value;
    }

    int Int(const Node& node, const std::string& where) const {
        const long long value = Integer(node, where);
        if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
            Bad(node, where, "is out of range");
        return static_cast<int>(value);
    }

    double Real(const Node& node, const std::string& where) const {
        const std::string text(Trim(node.value));
        errno = 0;
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size() || errno != 0 ||
            !std::isfinite(value))
            Bad(node, where, "is no number");
        return value;
    }

    bool Bool(const Node& node, const std::string& where) const {
        const std::string text = AsciiLower(Trim(node.value));
        if (text == "true" || text == "1")
            return true;
        if (text == "false" || text == "0")
            return false;
        Bad(node, where, "is neither TRUE nor FALSE");
    }

    [[noreturn]] void Bad(const Node& node, const std::string& where,
                          const std::string& what) const {
        const std::string value = node.value.empty() ? "" : " \"" + Shown(node.value) + "\"";
        Damaged(m_fileName, "line " + std::to_string(node.line) + ": " + where + Shown(node.key) +
                                value + " " + what);
    }

private:
    const std::string& m_fileName;
};

void ReadStyle(const Node& group, PlotStyle& style, const Reader& read) {
    const std::string where = "plot_style " + group.key + ": ";
    std::optional<std::uint32_t> color;
    std::optional<std::uint32_t> modeColor;
    for (const Node& field : group.children) {
        const std::string& k = field.key;
        if (k == "name")
            style.name = field.value;
        else if (k == "description")
            style.description = field.value;
        else if (k == "color")
            color = static_cast<std::uint32_t>(read.Integer(field, where));
        else if (k == "mode_color")
            modeColor = static_cast<std::uint32_t>(read.Integer(field, where));
        else if (k == "color_policy") {
            const int policy = read.Int(field, where);
            style.grayscale = (policy & kPolicyGrayscale) != 0;
            style.dithering = (policy & kPolicyDithering) != 0;
        } else if (k == "physical_pen_number")
            style.physicalPen = read.Int(field, where);
        else if (k == "virtual_pen_number")
            style.virtualPen = read.Int(field, where);
        else if (k == "screen")
            style.screenPercent = std::clamp(read.Int(field, where), 0, 100);
        else if (k == "linepattern_size")
            style.linepatternSize = read.Real(field, where);
        else if (k == "linetype")
            style.linetype = read.Int(field, where);
        else if (k == "adaptive_linetype")
            style.adaptiveLinetype = read.Bool(field, where);
        else if (k == "lineweight")
            style.lineweightIndex = read.Int(field, where);
        else if (k == "fill_style")
            style.fillStyle = read.Int(field, where);
        else if (k == "end_style") {
            const int end = read.Int(field, where);
            style.end = end >= 0 && end <= 3 ? static_cast<LineEnd>(end) : LineEnd::Object;
        } else if (k == "join_style") {
            const int join = read.Int(field, where);
            style.join = join >= 0 && join <= 3 ? static_cast<LineJoin>(join) : LineJoin::Object;
        }
        // localized_name and anything newer: not needed to plot.
    }
    // The mode colour is the one plotted; the plain colour may hold an ACI stand-in for it.
    const std::uint32_t word = modeColor.value_or(color.value_or(kObjectColor));
    const std::uint32_t type = word >> 24;
    if (word == kObjectColor || word == kObjectColorAci || type == 0xC0 || type == 0xC1)
        style.color.reset();
    else
        style.color = qRgb(int((word >> 16) & 0xFF), int((word >> 8) & 0xFF), int(word & 0xFF));
}

std::string AciName(int aci) {
    return "Color_" + std::to_string(aci);
}

} // namespace

int NearestAci(const QColor& color) {
    int best = 7;
    long bestDistance = std::numeric_limits<long>::max();
    for (int aci = 1; aci <= kAciCount; ++aci) {
        const QColor c = AciColor(aci);
        const long dr = c.red() - color.red(), dg = c.green() - color.green(),
                   db = c.blue() - color.blue();
        const long distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = aci;
            bestDistance = distance;
        }
    }
    return best;
}

PlotStyleTable PlotStyleTable::Load(const std::string& path) {
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    const std::u8string leaf = file.filename().u8string();
    const std::string fileName(leaf.begin(), leaf.end());
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        throw Error(errors::kFileNotFound, fileName + ": the plot style table was not found");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Error(errors::kPathFileAccess, fileName + ": the plot style table cannot be read");
    std::string bytes;
    char chunk[8192];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxFileBytes)
            Damaged(fileName, "too large for a plot style table");
    }
    PlotStyleTable table = Parse(bytes, fileName);
    const std::string extension = AsciiLower(Utf8FromPath(file.extension()));
    const bool wantCtb = extension == ".ctb";
    if ((extension == ".ctb" || extension == ".stb") &&
        wantCtb != (table.Kind() == PlotStyleKind::ColorDependent))
        Damaged(fileName, wantCtb ? "holds named plot styles, not colour-dependent ones"
                                  : "holds colour-dependent plot styles, not named ones");
    return table;
}

PlotStyleTable PlotStyleTable::Parse(std::string_view bytes, const std::string& fileName) {
    std::optional<PlotStyleKind> headerKind;
    std::string text = TableText(bytes, fileName, headerKind);
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    if (text.find('\0') != std::string::npos)
        Damaged(fileName, "the table's text holds binary data");
    const Node root = ParseTree(Utf8Text(std::move(text)), fileName);
    const Reader read(fileName);

    PlotStyleTable table;
    const Node* aciTable = root.Find("aci_table_available");
    if (aciTable)
        table.m_kind =
            read.Bool(*aciTable, "") ? PlotStyleKind::ColorDependent : PlotStyleKind::Named;
    else if (headerKind)
        table.m_kind = *headerKind;
    else
        Damaged(fileName, "says neither aci_table_available nor its kind in a header");
    if (headerKind && *headerKind != table.m_kind)
        Damaged(fileName, "the header and aci_table_available disagree on the table's kind");
    if (const Node* n = root.Find("description"))
        table.m_description = n->value;
    if (const Node* n = root.Find("scale_factor"))
        table.m_scaleFactor = read.Real(*n, "");
    if (const Node* n = root.Find("apply_factor"))
        table.m_applyFactor = read.Bool(*n, "");

    table.m_lineweightsMm.assign(kStandardLineweightsMm.begin(), kStandardLineweightsMm.end());
    if (const Node* weights = root.Find("custom_lineweight_table")) {
        std::vector<double> custom;
        for (const Node& entry : weights->children) {
            const int index = read.Int(Node{"", entry.key, {}, false, entry.line},
                                       "custom_lineweight_table: index");
            if (index < 0 || index >= 256)
                read.Bad(entry, "custom_lineweight_table: ", "has an index out of range");
            const double mm = read.Real(entry, "custom_lineweight_table: ");
            if (mm < 0.0)
                read.Bad(entry, "custom_lineweight_table: ", "is a negative lineweight");
            if (custom.size() <= std::size_t(index))
                custom.resize(std::size_t(index) + 1, 0.0);
            custom[std::size_t(index)] = mm;
        }
        if (!custom.empty())
            table.m_lineweightsMm = std::move(custom);
    }

    const Node* styles = root.Find("plot_style");
    if (table.m_kind == PlotStyleKind::ColorDependent) {
        table.m_styles.resize(kAciCount);
        for (int i = 0; i < kAciCount; ++i)
            table.m_styles[std::size_t(i)].name = AciName(i + 1);
        if (styles) {
            for (const Node& group : styles->children) {
                const int index =
                    read.Int(Node{"", group.key, {}, false, group.line}, "plot_style: index");
                if (!group.group || index < 0 || index >= kAciCount)
                    read.Bad(group, "plot_style: ", "is no style of ACI 1..255");
                ReadStyle(group, table.m_styles[std::size_t(index)], read);
            }
        }
    } else {
        if (styles)
            for (const Node& group : styles->children) {
                if (!group.group)
                    read.Bad(group, "plot_style: ", "is no style");
                PlotStyle style;
                ReadStyle(group, style, read);
                if (style.name.empty())
                    read.Bad(group, "plot_style: ", "has no name");
                table.m_styles.push_back(std::move(style));
            }
        if (table.m_styles.empty()) {
            // Every named table has its "Normal" style, which changes nothing.
            PlotStyle normal;
            normal.name = "Normal";
            table.m_styles.push_back(normal);
        }
    }
    return table;
}

PlotStyleTable PlotStyleTable::BuiltIn(StyleMode mode, PlotStyleKind kind) {
    PlotStyleTable table;
    table.m_kind = kind;
    table.m_lineweightsMm.assign(kStandardLineweightsMm.begin(), kStandardLineweightsMm.end());
    PlotStyle style;
    if (mode == StyleMode::Monochrome)
        style.color = qRgb(0, 0, 0);
    style.grayscale = mode == StyleMode::Grayscale;
    if (kind == PlotStyleKind::ColorDependent) {
        table.m_styles.assign(kAciCount, style);
        for (int i = 0; i < kAciCount; ++i)
            table.m_styles[std::size_t(i)].name = AciName(i + 1);
    } else {
        PlotStyle normal;
        normal.name = "Normal";
        table.m_styles.push_back(normal);
        if (mode != StyleMode::AsDrawn) {
            style.name = "Style 1";
            // A monochrome named table plots its every style black, "Normal" too.
            table.m_styles.front().color = style.color;
            table.m_styles.front().grayscale = style.grayscale;
            table.m_styles.push_back(style);
        }
    }
    return table;
}

const PlotStyle& PlotStyleTable::StyleOf(int aci, const std::string& namedStyle) const {
    if (m_kind == PlotStyleKind::ColorDependent)
        return m_styles.at(std::size_t(std::clamp(aci, 1, kAciCount) - 1));
    const std::string wanted = AsciiLower(namedStyle);
    for (const PlotStyle& style : m_styles)
        if (AsciiLower(style.name) == wanted)
            return style;
    return m_styles.front();
}

StyleResult PlotStyleTable::Resolve(const QColor& drawn, int aci, double objectLineweightMm,
                                    const std::string& namedStyle) const {
    const bool trueColor = aci < 1 || aci > kAciCount;
    const PlotStyle& style = StyleOf(trueColor ? NearestAci(drawn) : aci, namedStyle);
    StyleResult result;
    QColor color = style.color ? QColor::fromRgb(*style.color) : drawn;
    if (style.grayscale)
        color = StyledColor(color, StyleMode::Grayscale);
    if (style.screenPercent < 100) {
        const double ink = style.screenPercent / 100.0;
        auto screen = [ink](int c) { return int(std::lround(255.0 - (255.0 - c) * ink)); };
        color = QColor(screen(color.red()), screen(color.green()), screen(color.blue()));
    }
    result.color = color;

    result.lineweightMm = objectLineweightMm;
    const int index = style.lineweightIndex;
    if (index >= 0 && std::size_t(index) < m_lineweightsMm.size() &&
        m_lineweightsMm[std::size_t(index)] > 0.0) {
        result.lineweightMm = m_lineweightsMm[std::size_t(index)];
        result.tableLineweight = true;
    }
    // Qt has no diamond end or join: a square end and a mitred join come nearest.
    switch (style.end) {
    case LineEnd::Butt:
        result.cap = Qt::FlatCap;
        break;
    case LineEnd::Square:
    case LineEnd::Diamond:
        result.cap = Qt::SquareCap;
        break;
    case LineEnd::Round:
    case LineEnd::Object:
        result.cap = Qt::RoundCap;
        break;
    }
    switch (style.join) {
    case LineJoin::Miter:
    case LineJoin::Diamond:
        result.join = Qt::MiterJoin;
        break;
    case LineJoin::Bevel:
        result.join = Qt::BevelJoin;
        break;
    case LineJoin::Round:
    case LineJoin::Object:
        result.join = Qt::RoundJoin;
        break;
    }
    return result;
}

} // namespace kw::render
