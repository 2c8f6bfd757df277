#include "drawing/document.h"

#include <cctype>

#include <cstdlib>

#include "base/characters.h"
#include "drawing/detail/source_data.h"
#include "drawing/detail/tag_reader.h"
#include "drawing/text.h"

namespace kw::drawing {

bool TextStyle::Vertical() const {
    if ((flags & 4) == 0 || !fontFamily.empty())
        return false;
    const std::size_t slash = fontFile.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? fontFile : fontFile.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return true; // a shape font named without its extension, or none: the host's txt
    return AsciiLower(name.substr(dot)) == ".shx";
}
namespace {

template <typename T>
void Index(const std::vector<T>& items, std::map<std::string, std::size_t, std::less<>>& index) {
    index.clear();
    for (std::size_t i = 0; i < items.size(); ++i)
        if (!items[i].name.empty())
            index.emplace(FoldCase(items[i].name), i); // the first of duplicate names wins
}

template <typename T>
const T* Find(const std::vector<T>& items,
              const std::map<std::string, std::size_t, std::less<>>& index, std::string_view name) {
    const auto it = index.find(FoldCase(name));
    return it == index.end() ? nullptr : &items[it->second];
}

} // namespace

int Document::Release() const {
    const std::string& v = format.acadVersion;
    if (v.size() == 6 && v.compare(0, 2, "AC") == 0 && v[2] == '1')
        return std::atoi(v.c_str() + 2);
    return 0;
}

const HeaderVariable* Document::FindHeader(std::string_view name) const {
    const std::string folded = FoldCase(name);
    for (const auto& variable : header)
        if (variable.name.size() == name.size() && FoldCase(variable.name) == folded)
            return &variable;
    return nullptr;
}

std::string Document::HeaderText(std::string_view name, std::string_view fallback) const {
    const HeaderVariable* variable = FindHeader(name);
    if (!variable || variable->values.empty())
        return std::string(fallback);
    return variable->values.front().value;
}

double Document::HeaderNumber(std::string_view name, double fallback) const {
    const HeaderVariable* variable = FindHeader(name);
    double value = fallback;
    if (!variable || variable->values.empty() ||
        !detail::ParseDouble(variable->values.front().value, value))
        return fallback;
    return value;
}

Vec3 Document::HeaderPoint(std::string_view name, Vec3 fallback) const {
    const HeaderVariable* variable = FindHeader(name);
    if (!variable)
        return fallback;
    Vec3 point;
    bool any = false;
    for (const auto& tag : variable->values) {
        double value = 0.0;
        if (!detail::ParseDouble(tag.value, value))
            continue;
        const int axis = tag.code / 10;
        if (axis == 1)
            point.x = value;
        else if (axis == 2)
            point.y = value;
        else if (axis == 3)
            point.z = value;
        else
            continue;
        any = true;
    }
    return any ? point : fallback;
}

const Layer* Document::FindLayer(std::string_view name) const {
    return Find(layers, m_layerIndex, name);
}
const Linetype* Document::FindLinetype(std::string_view name) const {
    return Find(linetypes, m_linetypeIndex, name);
}
const TextStyle* Document::FindTextStyle(std::string_view name) const {
    return Find(textStyles, m_styleIndex, name);
}
const Block* Document::FindBlock(std::string_view name) const {
    return Find(blocks, m_blockIndex, name);
}

void Document::RebuildIndexes() {
    Index(layers, m_layerIndex);
    Index(linetypes, m_linetypeIndex);
    Index(textStyles, m_styleIndex);
    Index(blocks, m_blockIndex);
}

std::size_t Document::ActiveLayoutIndex() const {
    if (layouts.size() <= 1 || HeaderNumber("$TILEMODE", 1.0) != 0.0)
        return 0;
    for (std::size_t i = 1; i < layouts.size(); ++i) {
        const Layout& layout = layouts[i];
        if (layout.blockIndex < blocks.size() &&
            FoldCase(blocks[layout.blockIndex].name) == "*paper_space")
            return i;
    }
    return 0;
}

const std::vector<Entity>& Document::LayoutEntities(const Layout& layout) const {
    static const std::vector<Entity> kNone;
    return layout.blockIndex < blocks.size() ? blocks[layout.blockIndex].entities : kNone;
}

bool Document::CanSavePlotSettings(const Layout& layout) const {
    if (!m_source)
        return false;
    const std::size_t index = static_cast<std::size_t>(&layout - layouts.data());
    return index < layouts.size() && index < m_source->layoutPlots.size() &&
           m_source->layoutPlots[index] != nullptr;
}

bool Document::HasChanges() const {
    if (!m_source)
        return false;
    for (std::size_t i = 0; i < layouts.size() && i < m_source->layoutPlots.size(); ++i)
        if (m_source->layoutPlots[i] &&
            !(m_source->layoutPlots[i]->original == layouts[i].plotSettings))
            return true;
    return false;
}

std::string_view Document::Source() const {
    return m_source ? m_source->bytes : std::string_view();
}

MTextGeometry MLeaderText(const Document& document, const MLeaderGeometry& mleader) {
    MTextGeometry text;
    text.text = mleader.text;
    for (const TextStyle& style : document.textStyles)
        if (mleader.textStyle != 0 && style.handle == mleader.textStyle)
            text.style = style.name;
    text.insertion = mleader.textLocation;
    text.xDirection = mleader.textDirection;
    text.height = mleader.textHeight;
    text.referenceWidth = mleader.textWidth;
    text.lineSpacingFactor = mleader.lineSpacingFactor > 0 ? mleader.lineSpacingFactor : 1.0;
    text.attachment = mleader.textAttachment >= 1 && mleader.textAttachment <= 9
                          ? mleader.textAttachment
                          : std::int16_t{1};
    return text;
}

} // namespace kw::drawing
