#pragma once

// Title-block fields of a frame: read from the attributes of the block references inside the
// frame, else from loose TEXT/MTEXT in regions measured from the frame's lower-right corner in
// paper millimetres, else from the text beside a label ("图号" then the number to its right).

#include <map>
#include <string>
#include <vector>

#include "drawing/document.h"

namespace kw::output {

// A rectangle in paper millimetres from the frame's lower-right corner: x to the right (so a
// title block's cells have negative x), y up.
struct RegionMm {
    double left = 0.0;
    double bottom = 0.0;
    double right = 0.0;
    double top = 0.0;
};

struct FieldDefinition {
    std::string name;                // what templates and catalogue columns call it: 图号
    std::vector<std::string> tags;   // attribute tags, letter case ignored
    std::vector<std::string> labels; // texts that label the field in a title block
    std::vector<RegionMm> regions;
};

struct FieldDefinitions {
    static constexpr int kVersion = 1;
    std::vector<FieldDefinition> fields;
};

// The definitions file as the program ships it: documented, version 1, fields 图号, 图名, 比例,
// 设计, 日期 for title blocks after the national standard and their usual variants.
const std::string& DefaultDefinitionsText();
FieldDefinitions DefaultFieldDefinitions();

// Reads definitions from INI text; throws kw::Error 13 naming the line for a malformed file and
// for a version this program does not know.
FieldDefinitions ParseFieldDefinitions(const std::string& text);

// The definitions beside the settings file: "TitleFields.ini" in `folder`. A missing file is
// written with the defaults (so the user has one to edit) and the defaults are used; a file that
// cannot be written is no failure. A malformed file throws, naming the file.
inline constexpr const char* kFieldsFileName = "TitleFields.ini";
FieldDefinitions LoadFieldDefinitions(const std::string& folder);

// A frame's extent in drawing units.
struct FrameBox {
    double xMin = 0.0, yMin = 0.0, xMax = 0.0, yMax = 0.0;
};

using FieldValues = std::map<std::string, std::string>;

// The texts and attributes of a drawing's model space, indexed once, so that the fields of many
// frames are read without walking the drawing for each.
class TitleBlockReader {
public:
    // Reads the texts of the layout `layoutIndex` (model space unless told).
    TitleBlockReader(const drawing::Document& document, FieldDefinitions definitions,
                     std::size_t layoutIndex = 0);

    // The fields found in the frame; `unitsPerMm` is the drawing units per paper millimetre (the
    // scale's denominator for millimetre drawings). A field found nowhere is absent.
    FieldValues Read(const FrameBox& frame, double unitsPerMm) const;

private:
    struct TextItem {
        double x = 0.0, y = 0.0; // centre, drawing units
        double height = 0.0;
        std::string text;    // plain text, blanks kept
        std::string compact; // without blanks and letter case folded, for matching labels
    };
    struct AttributeItem {
        double x = 0.0, y = 0.0; // the insertion point of the block reference
        std::vector<std::pair<std::string, std::string>> values; // folded tag, value
    };

    std::vector<const TextItem*> TextsIn(double xMin, double yMin, double xMax, double yMax) const;
    std::string FromRegions(const FieldDefinition& field, const FrameBox& frame,
                            double unitsPerMm) const;
    std::string FromLabels(const FieldDefinition& field, const FrameBox& frame) const;
    bool IsLabel(const std::string& compact) const;

    FieldDefinitions m_definitions;
    std::vector<TextItem> m_texts;           // sorted by x
    std::vector<AttributeItem> m_attributes; // sorted by x
    std::vector<std::string> m_labels;       // every field's labels, compact
};

} // namespace kw::output
