// gen_tiled_dxf: makes a large DXF for the benchmarks by tiling the model space of a real ASCII
// drawing N times side by side, in rows, with a closed LWPOLYLINE frame on layer 图框 around
// each tile. Every copy gets new handles (owner references within a copy follow them); the
// points of the entities are moved by the tile offset (direction vectors such as an ELLIPSE's
// major axis are left alone; types whose tags are not understood here are copied unmoved).
//
//   gen_tiled_dxf INPUT.dxf OUTPUT.dxf (--tiles N | --size-mb M) [--layer NAME]
//
// Prints the number of tiles, the file size and the frame extents (one line each with
// --print-frames) so that a benchmark can check the listed frames.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/detail/tag_reader.h"
#include "drawing/drawing.h"

namespace {

struct Pair {
    int code;
    std::string_view value;
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string Number(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
}

// Group codes of the x and y of a direction vector (not to be moved) per entity type.
bool IsVector(std::string_view type, int code, bool ellipseEdge) {
    const int axis = code % 10;
    if (type == "ELLIPSE" || type == "MTEXT" || type == "RAY" || type == "XLINE")
        return axis == 1;
    if (type == "SPLINE" || type == "MLINE")
        return axis == 2 || axis == 3;
    if (type == "IMAGE" || type == "WIPEOUT")
        return axis == 1 || axis == 2;
    if (type == "HATCH")
        return ellipseEdge && axis == 1;
    return false;
}

bool Moves(std::string_view type) {
    static const std::set<std::string_view> kTypes = {
        "LINE",      "POINT",  "CIRCLE",  "ARC",   "ELLIPSE", "LWPOLYLINE", "POLYLINE",
        "VERTEX",    "SPLINE", "TEXT",    "MTEXT", "ATTRIB",  "ATTDEF",     "INSERT",
        "DIMENSION", "HATCH",  "SOLID",   "TRACE", "3DFACE",  "LEADER",     "RAY",
        "XLINE",     "IMAGE",  "WIPEOUT", "MLINE", "SEQEND"};
    return kTypes.count(type) != 0;
}

class Writer {
public:
    explicit Writer(std::string eol) : m_eol(std::move(eol)) {}
    void Tag(int code, std::string_view value) {
        std::string c = std::to_string(code);
        if (c.size() < 3)
            m_out.append(3 - c.size(), ' ');
        m_out += c;
        m_out += m_eol;
        m_out += value;
        m_out += m_eol;
    }
    std::string& Out() { return m_out; }

private:
    std::string m_eol;
    std::string m_out;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::cerr << "usage: gen_tiled_dxf INPUT.dxf OUTPUT.dxf (--tiles N | --size-mb M) "
                     "[--layer NAME] [--print-frames]\n";
        return 2;
    }
    const std::string input = argv[1];
    const std::string output = argv[2];
    long tiles = 0;
    double sizeMb = 0;
    std::string layer = "图框";
    bool printFrames = false;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tiles" && i + 1 < argc)
            tiles = std::atol(argv[++i]);
        else if (arg == "--size-mb" && i + 1 < argc)
            sizeMb = std::atof(argv[++i]);
        else if (arg == "--layer" && i + 1 < argc)
            layer = argv[++i];
        else if (arg == "--print-frames")
            printFrames = true;
    }

    kw::drawing::Document document;
    try {
        document = kw::drawing::LoadDrawing(input);
    } catch (const kw::Error& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    if (document.format.binary) {
        std::cerr << "gen_tiled_dxf: the input must be an ASCII DXF file\n";
        return 1;
    }
    // The model space box gives the tile pitch.
    kw::drawing::Box box;
    for (const auto& e : document.LayoutEntities(document.layouts.front()))
        box.Add(kw::drawing::EntityExtents(document, e));
    if (box.IsEmpty()) {
        std::cerr << "gen_tiled_dxf: the model space of the input is empty\n";
        return 1;
    }
    const double margin = 0.02 * std::max(box.max.x - box.min.x, box.max.y - box.min.y);
    const double x0 = box.min.x - margin, y0 = box.min.y - margin;
    const double width = box.max.x - box.min.x + 2 * margin;
    const double height = box.max.y - box.min.y + 2 * margin;
    const double pitchX = width * 1.1, pitchY = height * 1.1;

    const std::string bytes(document.Source());
    const std::string eol = document.format.crlf ? "\r\n" : "\n";
    // Split into line pairs once; remember where ENTITIES, its ENDSEC, the LAYER table's ENDTAB
    // and $HANDSEED lie.
    std::vector<std::size_t> lineStarts;
    for (std::size_t pos = 0; pos < bytes.size();) {
        lineStarts.push_back(pos);
        const std::size_t nl = bytes.find('\n', pos);
        pos = nl == std::string::npos ? bytes.size() : nl + 1;
    }
    auto lineText = [&](std::size_t index) {
        const std::size_t start = lineStarts[index];
        std::size_t end = index + 1 < lineStarts.size() ? lineStarts[index + 1] : bytes.size();
        std::string_view text(bytes.data() + start, end - start);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.remove_suffix(1);
        return text;
    };
    std::vector<Pair> pairs;
    std::vector<std::size_t> pairLine;
    for (std::size_t i = 0; i + 1 < lineStarts.size(); i += 2) {
        int code = 0;
        const std::string_view c = Trim(lineText(i));
        std::from_chars(c.data(), c.data() + c.size(), code);
        pairs.push_back({code, lineText(i + 1)});
        pairLine.push_back(i);
        if (code == 0 && Trim(lineText(i + 1)) == "EOF")
            break;
    }
    std::size_t entitiesBegin = 0, entitiesEnd = 0, layerEndtab = 0, handseed = 0;
    std::string layerTable, modelOwner;
    unsigned long long maxHandle = 0;
    bool inLayerTable = false;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const Pair& p = pairs[i];
        if (p.code == 5 || p.code == 105) {
            unsigned long long h = 0;
            const std::string_view v = Trim(p.value);
            std::from_chars(v.data(), v.data() + v.size(), h, 16);
            maxHandle = std::max(maxHandle, h);
        }
        if (p.code == 9 && Trim(p.value) == "$HANDSEED")
            handseed = i + 1;
        if (p.code == 2 && Trim(p.value) == "ENTITIES" && i > 0 &&
            Trim(pairs[i - 1].value) == "SECTION")
            entitiesBegin = i + 1;
        if (entitiesBegin && !entitiesEnd && p.code == 0 && Trim(p.value) == "ENDSEC" &&
            i >= entitiesBegin)
            entitiesEnd = i;
        if (p.code == 2 && Trim(p.value) == "LAYER" && i > 0 &&
            Trim(pairs[i - 1].value) == "TABLE") {
            inLayerTable = true;
            if (i + 1 < pairs.size() && pairs[i + 1].code == 5)
                layerTable = std::string(Trim(pairs[i + 1].value));
        }
        if (inLayerTable && p.code == 0 && Trim(p.value) == "ENDTAB") {
            layerEndtab = i;
            inLayerTable = false;
        }
    }
    if (!entitiesBegin || !entitiesEnd) {
        std::cerr << "gen_tiled_dxf: no ENTITIES section\n";
        return 1;
    }
    // Model-space records of the ENTITIES section (a record = an entity with its followers).
    struct Record {
        std::size_t begin, end; // pair indexes
        std::string_view type;
    };
    std::vector<Record> records;
    bool paper = false;
    for (std::size_t i = entitiesBegin; i < entitiesEnd;) {
        std::size_t j = i + 1;
        while (j < entitiesEnd && pairs[j].code != 0)
            ++j;
        const std::string_view type = Trim(pairs[i].value);
        const bool follower = type == "VERTEX" || type == "ATTRIB" || type == "SEQEND";
        if (!follower) {
            paper = false;
            for (std::size_t k = i; k < j; ++k)
                if (pairs[k].code == 67 && Trim(pairs[k].value) == "1")
                    paper = true;
        }
        if (!paper) {
            records.push_back({i, j, type});
            if (modelOwner.empty())
                for (std::size_t k = i; k < j; ++k)
                    if (pairs[k].code == 330) {
                        modelOwner = std::string(Trim(pairs[k].value));
                        break;
                    }
        }
        i = j;
    }
    std::size_t tileBytes = 0;
    for (const Record& r : records)
        tileBytes +=
            lineStarts[pairLine[r.end - 1] + 2 < lineStarts.size() ? pairLine[r.end - 1] + 2
                                                                   : lineStarts.size() - 1] -
            lineStarts[pairLine[r.begin]];
    if (tiles <= 0)
        tiles = std::max<long>(
            1, static_cast<long>(sizeMb * 1e6 / std::max<std::size_t>(1, tileBytes + 300)));
    const long columns = static_cast<long>(std::ceil(std::sqrt(static_cast<double>(tiles))));

    const bool utf8 = document.Release() >= 1021;
    const std::string layerName = utf8 ? layer : [&] {
        std::string escaped;
        std::size_t pos = 0;
        while (pos < layer.size()) {
            const unsigned char c = static_cast<unsigned char>(layer[pos]);
            if (c < 0x80) {
                escaped.push_back(static_cast<char>(c));
                ++pos;
                continue;
            }
            const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            unsigned value = c & (0x7F >> length);
            for (int k = 1; k < length && pos + k < layer.size(); ++k)
                value = (value << 6) | (static_cast<unsigned char>(layer[pos + k]) & 0x3F);
            char buffer[16];
            std::snprintf(buffer, sizeof(buffer), "\\U+%04X", value & 0xFFFF);
            escaped += buffer;
            pos += length;
        }
        return escaped;
    }();
    unsigned long long next = maxHandle + 1;
    auto hex = [](unsigned long long h) {
        char buffer[24];
        std::snprintf(buffer, sizeof(buffer), "%llX", h);
        return std::string(buffer);
    };
    const bool r12 = document.Release() < 1015;

    // New handles: the layer, then per tile every handle of the copy and the frame.
    std::size_t handlesPerTile = 1;
    for (const Record& r : records)
        for (std::size_t k = r.begin; k < r.end; ++k)
            handlesPerTile += pairs[k].code == 5;
    const unsigned long long handseedValue =
        next + 1 + static_cast<unsigned long long>(tiles) * handlesPerTile;

    Writer w(eol);
    std::string& out = w.Out();
    out.reserve(static_cast<std::size_t>(tiles) * (tileBytes + 400) + bytes.size());
    auto copyPairs = [&](std::size_t from, std::size_t to) {
        for (std::size_t at = from; at < to;) {
            // Runs of pairs are copied as bytes; the $HANDSEED value is written anew.
            const std::size_t stop = (handseed >= at && handseed < to) ? handseed : to;
            if (stop > at) {
                const std::size_t begin = lineStarts[pairLine[at]];
                const std::size_t endLine = pairLine[stop - 1] + 2;
                const std::size_t end =
                    endLine < lineStarts.size() ? lineStarts[endLine] : bytes.size();
                out.append(bytes, begin, end - begin);
            }
            if (stop == handseed && stop < to) {
                w.Tag(pairs[handseed].code, hex(handseedValue));
                at = stop + 1;
            } else {
                at = stop;
            }
        }
    };
    std::size_t cursor = 0;
    if (layerEndtab && !r12) {
        copyPairs(0, layerEndtab);
        w.Tag(0, "LAYER");
        w.Tag(5, hex(next++));
        if (!layerTable.empty())
            w.Tag(330, layerTable);
        w.Tag(100, "AcDbSymbolTableRecord");
        w.Tag(100, "AcDbLayerTableRecord");
        w.Tag(2, layerName);
        w.Tag(70, "0");
        w.Tag(62, "1");
        w.Tag(6, "Continuous");
        cursor = layerEndtab;
    }
    copyPairs(cursor, entitiesBegin);

    std::vector<std::string> frames;
    std::map<std::string, std::string, std::less<>> renamed; // old handle → new, per tile
    for (long tile = 0; tile < tiles; ++tile) {
        const double dx = (tile % columns) * pitchX;
        const double dy = (tile / columns) * pitchY;
        renamed.clear();
        for (const Record& r : records) {
            const bool moves = Moves(r.type);
            bool ellipseEdge = false;
            int group = 0; // inside 102 { ... }
            for (std::size_t k = r.begin; k < r.end; ++k) {
                const Pair& p = pairs[k];
                const std::string_view value = Trim(p.value);
                if (p.code == 102) {
                    group += (!value.empty() && value.front() == '{') ? 1 : -1;
                    continue;
                }
                if (group > 0 || p.code == 360)
                    continue; // reactors and extension dictionaries belong to the original
                if (p.code == 5) {
                    const std::string handle = hex(next++);
                    renamed[std::string(value)] = handle;
                    w.Tag(5, handle);
                    continue;
                }
                if (p.code == 330) {
                    const auto it = renamed.find(value);
                    w.Tag(330, it == renamed.end() ? value : std::string_view(it->second));
                    continue;
                }
                if (r.type == "HATCH" && p.code == 72)
                    ellipseEdge = value == "3";
                if (moves && ((p.code >= 10 && p.code <= 18) || (p.code >= 20 && p.code <= 28)) &&
                    !IsVector(r.type, p.code, ellipseEdge)) {
                    double v = 0;
                    if (kw::drawing::detail::ParseDouble(value, v)) {
                        w.Tag(p.code, Number(v + (p.code < 20 ? dx : dy)));
                        continue;
                    }
                }
                w.Tag(p.code, p.value);
            }
        }
        // The frame around the tile, as a drafter draws it: a closed polyline on the frame layer.
        const double fx0 = x0 + dx, fy0 = y0 + dy, fx1 = fx0 + width, fy1 = fy0 + height;
        if (r12) {
            w.Tag(0, "POLYLINE");
            w.Tag(8, layerName);
            w.Tag(66, "1");
            w.Tag(70, "1");
            for (const auto& [x, y] : {std::pair{fx0, fy0}, {fx1, fy0}, {fx1, fy1}, {fx0, fy1}}) {
                w.Tag(0, "VERTEX");
                w.Tag(8, layerName);
                w.Tag(10, Number(x));
                w.Tag(20, Number(y));
            }
            w.Tag(0, "SEQEND");
            w.Tag(8, layerName);
        } else {
            w.Tag(0, "LWPOLYLINE");
            w.Tag(5, hex(next++));
            if (!modelOwner.empty())
                w.Tag(330, modelOwner);
            w.Tag(100, "AcDbEntity");
            w.Tag(8, layerName);
            w.Tag(100, "AcDbPolyline");
            w.Tag(90, "4");
            w.Tag(70, "1");
            for (const auto& [x, y] : {std::pair{fx0, fy0}, {fx1, fy0}, {fx1, fy1}, {fx0, fy1}}) {
                w.Tag(10, Number(x));
                w.Tag(20, Number(y));
            }
        }
        frames.push_back(Number(fx0) + " " + Number(fy0) + " " + Number(fx1) + " " + Number(fy1));
    }
    copyPairs(entitiesEnd, pairs.size());

    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (!file) {
        std::cerr << "gen_tiled_dxf: cannot write " << output << "\n";
        return 1;
    }
    std::cout << "tiles " << tiles << " columns " << columns << " bytes " << out.size()
              << " entities per tile " << records.size() << "\n";
    if (printFrames)
        for (const std::string& frame : frames)
            std::cout << frame << "\n";
    return 0;
}
