#include "output/title_fields.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/error.h"
#include "base/paths.h"
#include "base/text_file.h"
#include "drawing/text.h"
#include "settings/settings_file.h"

namespace kw::output {
namespace {

namespace dw = drawing;

constexpr double kPi = 3.14159265358979323846;

const char* const kDefaultText = R"(; Kestrelwick 图框字段定义（title-block fields）
;
; 每个 [field 名称] 节定义一个字段；文件名模板（{图号}）和图纸目录的列按名称引用它。
; 按以下顺序查找，先找到的为准：
;   tags   = 图框内块参照的属性标记，逗号分隔，不区分大小写
;   region = 左 下 右 上：相对图框右下角的矩形，图纸上的毫米（x 向右，标题栏在负 x 一侧），
;            可写多行；中心落在矩形内的单行文字、多行文字依次连接
;   labels = 标题栏里的标签文字，其右侧最近的文字即字段值（也认“图号：XX”这样的一行文字）
; 矩形按图纸毫米给出，所以一个定义适用于同一图幅的所有比例和加长图幅。
;
; Each [field NAME] section defines a field that name templates and catalogue columns use.
; Looked for in this order: attribute tags of block references inside the frame; loose TEXT and
; MTEXT whose centre lies in a region (left bottom right top, paper millimetres from the frame's
; lower-right corner); the text to the right of a label.

[kestrelwick-fields]
version = 1

[field 图号]
tags = 图号, 图纸编号, 图样代号, 图号1, DRAWING_NO, DRAWINGNO, DWG_NO, DWGNO, DRAWING_NUMBER, DWG_NUMBER
region = -62 4 -2 26
labels = 图号, 图纸编号, 图样代号, 图纸编码, Drawing No., DWG No.

[field 图名]
tags = 图名, 图纸名称, 图样名称, 名称, TITLE, DRAWING_TITLE, DRAWING_NAME, DWG_TITLE
region = -62 26 -2 48
labels = 图名, 图纸名称, 图样名称, Title

[field 比例]
tags = 比例, SCALE, DWG_SCALE
region = -90 4 -62 14
labels = 比例, Scale

[field 设计]
tags = 设计, 设计人, DESIGNER, DESIGNED_BY
labels = 设计, 设计人, Designed

[field 日期]
tags = 日期, DATE
labels = 日期, Date
)";

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ',')) {
        item = TrimBlanks(item);
        if (!item.empty()) {
            items.push_back(item);
        }
    }
    return items;
}

[[noreturn]] void Malformed(int line, const std::string& what) {
    throw Error(errors::kTypeMismatch,
                "title-block field definitions, line " + std::to_string(line) + ": " + what);
}

// Blanks (ASCII, ideographic) and a trailing colon removed, letter case folded: "图 号：" → "图号".
std::string Compact(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 3, "\xE3\x80\x80") == 0) { // U+3000
            i += 3;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        out += text[i++];
    }
    for (const char* colon : {"\xEF\xBC\x9A", ":"}) { // "：", ":"
        const std::string suffix = colon;
        if (out.size() >= suffix.size() &&
            out.compare(out.size() - suffix.size(), suffix.size(), suffix) == 0) {
            out.resize(out.size() - suffix.size());
        }
    }
    return dw::FoldCase(out);
}

// How wide a line of text is, roughly: CJK characters are square, others about six tenths.
double EstimatedWidth(const std::string& text, double height) {
    double width = 0.0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) {
            continue;
        }
        width += c >= 0xE0 ? height : 0.6 * height;
    }
    return width;
}

struct Centre {
    double x, y;
};

Centre Rotated(double x0, double y0, double dx, double dy, double angle) {
    return {x0 + dx * std::cos(angle) - dy * std::sin(angle),
            y0 + dx * std::sin(angle) + dy * std::cos(angle)};
}

Centre TextCentre(const dw::TextGeometry& t) {
    const double width = EstimatedWidth(t.text, t.height) * t.widthFactor;
    const double angle = t.rotationDeg * kPi / 180.0;
    if (t.hasAlignment && (t.hAlign == 3 || t.hAlign == 5)) {
        return Rotated((t.insertion.x + t.alignment.x) / 2, (t.insertion.y + t.alignment.y) / 2, 0,
                       t.height / 2, angle);
    }
    const bool aligned = t.hasAlignment && (t.hAlign != 0 || t.vAlign != 0);
    const dw::Vec3 anchor = aligned ? t.alignment : t.insertion;
    double dx = width / 2;
    double dy = t.height / 2;
    if (t.hAlign == 1 || t.hAlign == 4) {
        dx = 0;
    } else if (t.hAlign == 2) {
        dx = -width / 2;
    }
    if (t.hAlign == 4 || t.vAlign == 2) {
        dy = 0;
    } else if (t.vAlign == 3) {
        dy = -t.height / 2;
    }
    return Rotated(anchor.x, anchor.y, dx, dy, angle);
}

Centre MTextCentre(const dw::MTextGeometry& m, const std::string& plain) {
    std::vector<std::string> lines;
    std::istringstream in(plain);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    double width = m.actualWidth;
    if (!(width > 0.0)) {
        for (const std::string& line : lines) {
            width = std::max(width, EstimatedWidth(line, m.height));
        }
    }
    double height = m.rectHeight;
    if (!(height > 0.0)) {
        const std::size_t count = std::max<std::size_t>(lines.size(), 1);
        height = m.height * (1.0 + (count - 1) * 1.67 * m.lineSpacingFactor);
    }
    const int attachment = std::clamp<int>(m.attachment, 1, 9) - 1;
    const int column = attachment % 3; // left, centre, right
    const int row = attachment / 3;    // top, middle, bottom
    const double angle = std::atan2(m.xDirection.y, m.xDirection.x);
    return Rotated(m.insertion.x, m.insertion.y, width * (0.5 - 0.5 * column),
                   height * (0.5 * row - 0.5), angle);
}

bool PlainOcs(const dw::Entity& entity) {
    return std::abs(entity.extrusion.z - 1.0) < 1e-9;
}

} // namespace

const std::string& DefaultDefinitionsText() {
    static const std::string text = kDefaultText;
    return text;
}

FieldDefinitions DefaultFieldDefinitions() {
    return ParseFieldDefinitions(DefaultDefinitionsText());
}

FieldDefinitions ParseFieldDefinitions(const std::string& text) {
    FieldDefinitions definitions;
    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    enum class Section { None, Header, Field, Other } section = Section::None;
    bool versionSeen = false;
    while (std::getline(in, raw)) {
        ++lineNumber;
        std::string line = TrimBlanks(raw);
        if (lineNumber == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) {
            line = TrimBlanks(line.substr(3));
        }
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                Malformed(lineNumber, "a section name needs its closing ]");
            }
            const std::string name = TrimBlanks(line.substr(1, line.size() - 2));
            if (name == "kestrelwick-fields") {
                section = Section::Header;
            } else if (name.rfind("field ", 0) == 0 && !TrimBlanks(name.substr(6)).empty()) {
                section = Section::Field;
                definitions.fields.push_back({TrimBlanks(name.substr(6)), {}, {}, {}});
            } else {
                section = Section::Other; // a later version's section: left alone
            }
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            Malformed(lineNumber, "expected key = value");
        }
        const std::string key = TrimBlanks(line.substr(0, equals));
        std::string value = TrimBlanks(line.substr(equals + 1));
        if (const auto comment = value.find(" ;"); comment != std::string::npos) {
            value = TrimBlanks(value.substr(0, comment));
        }
        if (section == Section::Header) {
            if (key == "version") {
                char* end = nullptr;
                const long version = std::strtol(value.c_str(), &end, 10);
                if (end == value.c_str() || *end != '\0' || version < 1) {
                    Malformed(lineNumber, "version must be a whole number, got \"" + value + "\"");
                }
                if (version > FieldDefinitions::kVersion) {
                    Malformed(lineNumber, "version " + value +
                                              " is newer than this program reads (1); update "
                                              "Kestrelwick or use a file of version 1");
                }
                versionSeen = true;
            }
            continue;
        }
        if (section != Section::Field) {
            if (section == Section::None) {
                Malformed(lineNumber, "a value outside any section");
            }
            continue;
        }
        FieldDefinition& field = definitions.fields.back();
        if (key == "tags") {
            for (const std::string& tag : SplitList(value)) {
                field.tags.push_back(dw::FoldCase(tag));
            }
        } else if (key == "labels") {
            for (const std::string& label : SplitList(value)) {
                field.labels.push_back(Compact(label));
            }
        } else if (key == "region") {
            std::istringstream numbers(value);
            RegionMm region;
            if (!(numbers >> region.left >> region.bottom >> region.right >> region.top)) {
                Malformed(lineNumber, "region needs four numbers: left bottom right top");
            }
            std::string rest;
            if (numbers >> rest) {
                Malformed(lineNumber, "region needs four numbers, got more: \"" + value + "\"");
            }
            if (region.left > region.right) {
                std::swap(region.left, region.right);
            }
            if (region.bottom > region.top) {
                std::swap(region.bottom, region.top);
            }
            field.regions.push_back(region);
        } else {
            Malformed(lineNumber, "unknown key \"" + key + "\" (tags, region, labels)");
        }
    }
    if (!versionSeen) {
        throw Error(errors::kTypeMismatch, "title-block field definitions: no [kestrelwick-fields] "
                                           "section with its version");
    }
    return definitions;
}

FieldDefinitions LoadFieldDefinitions(const std::string& folder) {
    const std::string path = AppendFileName(folder, kFieldsFileName);
    if (!FileExists(path)) {
        std::error_code code;
        std::filesystem::create_directories(PathFromUtf8(folder), code);
        std::ofstream out(PathFromUtf8(path), std::ios::binary);
        out << DefaultDefinitionsText();
        return DefaultFieldDefinitions();
    }
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in && !in.eof()) {
        throw Error(errors::kPathFileAccess, "cannot read " + path);
    }
    try {
        return ParseFieldDefinitions(DecodeTextFile(bytes.str()));
    } catch (const Error& failure) {
        throw Error(failure.Number(), path + ": " + failure.Description());
    }
}

TitleBlockReader::TitleBlockReader(const drawing::Document& document, FieldDefinitions definitions,
                                   std::size_t layoutIndex)
    : m_definitions(std::move(definitions)) {
    for (const FieldDefinition& field : m_definitions.fields) {
        m_labels.insert(m_labels.end(), field.labels.begin(), field.labels.end());
    }
    const dw::Layout& layout = document.layouts.at(layoutIndex);
    for (const dw::Entity& entity : document.LayoutEntities(layout)) {
        if (entity.invisible || !PlainOcs(entity)) {
            continue;
        }
        if (const auto* text = std::get_if<dw::TextGeometry>(&entity.geometry);
            text && entity.type == dw::EntityType::Text) {
            const Centre c = TextCentre(*text);
            m_texts.push_back({c.x, c.y, text->height, text->text, Compact(text->text)});
        } else if (const auto* mtext = std::get_if<dw::MTextGeometry>(&entity.geometry)) {
            std::string plain = dw::PlainMText(mtext->text);
            const Centre c = MTextCentre(*mtext, plain);
            std::replace(plain.begin(), plain.end(), '\n', ' ');
            m_texts.push_back({c.x, c.y, mtext->height, plain, Compact(plain)});
        } else if (const auto* insert = std::get_if<dw::InsertGeometry>(&entity.geometry)) {
            AttributeItem item{insert->insertion.x, insert->insertion.y, {}};
            for (const dw::Entity& attribute : insert->attributes) {
                if (const auto* a = std::get_if<dw::TextGeometry>(&attribute.geometry)) {
                    item.values.emplace_back(dw::FoldCase(a->tag), TrimBlanks(a->text));
                }
            }
            if (!item.values.empty()) {
                m_attributes.push_back(std::move(item));
            }
        }
    }
    std::sort(m_texts.begin(), m_texts.end(),
              [](const TextItem& a, const TextItem& b) { return a.x < b.x; });
    std::sort(m_attributes.begin(), m_attributes.end(),
              [](const AttributeItem& a, const AttributeItem& b) { return a.x < b.x; });
}

std::vector<const TitleBlockReader::TextItem*>
TitleBlockReader::TextsIn(double xMin, double yMin, double xMax, double yMax) const {
    std::vector<const TextItem*> found;
    auto it = std::lower_bound(m_texts.begin(), m_texts.end(), xMin,
                               [](const TextItem& t, double x) { return t.x < x; });
    for (; it != m_texts.end() && it->x <= xMax; ++it) {
        if (it->y >= yMin && it->y <= yMax) {
            found.push_back(&*it);
        }
    }
    return found;
}

bool TitleBlockReader::IsLabel(const std::string& compact) const {
    return std::find(m_labels.begin(), m_labels.end(), compact) != m_labels.end();
}

std::string TitleBlockReader::FromRegions(const FieldDefinition& field, const FrameBox& frame,
                                          double unitsPerMm) const {
    for (const RegionMm& region : field.regions) {
        std::vector<const TextItem*> texts =
            TextsIn(frame.xMax + region.left * unitsPerMm, frame.yMin + region.bottom * unitsPerMm,
                    frame.xMax + region.right * unitsPerMm, frame.yMin + region.top * unitsPerMm);
        texts.erase(std::remove_if(texts.begin(), texts.end(),
                                   [&](const TextItem* t) {
                                       return t->compact.empty() || IsLabel(t->compact);
                                   }),
                    texts.end());
        if (texts.empty()) {
            continue;
        }
        // Reading order: lines from the top, left to right within a line.
        std::sort(texts.begin(), texts.end(), [](const TextItem* a, const TextItem* b) {
            const double tolerance = std::max(a->height, b->height) / 2;
            if (std::abs(a->y - b->y) > tolerance) {
                return a->y > b->y;
            }
            return a->x < b->x;
        });
        std::string value;
        for (const TextItem* t : texts) {
            value += (value.empty() ? "" : " ") + TrimBlanks(t->text);
        }
        return value;
    }
    return {};
}

std::string TitleBlockReader::FromLabels(const FieldDefinition& field,
                                         const FrameBox& frame) const {
    if (field.labels.empty()) {
        return {};
    }
    const std::vector<const TextItem*> inFrame =
        TextsIn(frame.xMin, frame.yMin, frame.xMax, frame.yMax);
    const double reach = (frame.xMax - frame.xMin) / 4; // a title block's width at most
    for (const std::string& label : field.labels) {
        for (const TextItem* candidate : inFrame) {
            // "图号：S-01" in one text.
            if (candidate->compact.size() > label.size() &&
                candidate->compact.compare(0, label.size(), label) == 0) {
                const std::string rest = candidate->compact.substr(label.size());
                for (const char* colon : {"\xEF\xBC\x9A", ":"}) {
                    const std::string c = colon;
                    if (rest.compare(0, c.size(), c) == 0 && rest.size() > c.size()) {
                        const auto at = candidate->text.find(c);
                        if (at != std::string::npos) {
                            return TrimBlanks(candidate->text.substr(at + c.size()));
                        }
                    }
                }
            }
            if (candidate->compact != label) {
                continue;
            }
            const TextItem* nearest = nullptr;
            for (const TextItem* other : inFrame) {
                const double rowTolerance = std::max(candidate->height, other->height) * 0.8;
                if (other == candidate || other->x <= candidate->x ||
                    other->x - candidate->x > reach ||
                    std::abs(other->y - candidate->y) > rowTolerance || other->compact.empty() ||
                    IsLabel(other->compact)) {
                    continue;
                }
                if (!nearest || other->x < nearest->x) {
                    nearest = other;
                }
            }
            if (nearest) {
                return TrimBlanks(nearest->text);
            }
        }
    }
    return {};
}

FieldValues TitleBlockReader::Read(const FrameBox& frame, double unitsPerMm) const {
    FieldValues values;
    // Block references whose insertion point lies in the frame (a little slack for a frame
    // block inserted at its own corner).
    const double slack = (frame.xMax - frame.xMin) * 0.001;
    std::vector<const AttributeItem*> inserts;
    auto it = std::lower_bound(m_attributes.begin(), m_attributes.end(), frame.xMin - slack,
                               [](const AttributeItem& a, double x) { return a.x < x; });
    for (; it != m_attributes.end() && it->x <= frame.xMax + slack; ++it) {
        if (it->y >= frame.yMin - slack && it->y <= frame.yMax + slack) {
            inserts.push_back(&*it);
        }
    }
    for (const FieldDefinition& field : m_definitions.fields) {
        std::string value;
        for (const std::string& tag : field.tags) {
            for (const AttributeItem* insert : inserts) {
                for (const auto& [folded, text] : insert->values) {
                    if (value.empty() && folded == tag && !text.empty()) {
                        value = text;
                    }
                }
            }
            if (!value.empty()) {
                break;
            }
        }
        if (value.empty()) {
            value = FromRegions(field, frame, unitsPerMm);
        }
        if (value.empty()) {
            value = FromLabels(field, frame);
        }
        if (!value.empty()) {
            values[field.name] = value;
        }
    }
    return values;
}

} // namespace kw::output
