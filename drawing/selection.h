#pragma once

// Select-all with a filter of DXF group codes, as the host CAD's selection sets do it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/document.h"

namespace kw::drawing {

// One entry of a selection filter (the same shape as kw::FilterEntry of cad/automation.h).
struct FilterEntry {
    std::int16_t code = 0;
    std::string value;
};

// Matches text against a wildcard pattern with the host CAD's rules, letter case ignored:
// `#` a digit, `@` a letter, `.` a character that is neither, `*` any run (also empty), `?` any one
// character, `~` at the start of a pattern: anything but the rest, `[...]` one of the characters
// (`[~...]` none of them, `a-z` a range), `,` separates alternative patterns, a backquote makes the
// next character literal. Characters are Unicode code points of UTF-8 text.
bool WildcardMatch(std::string_view pattern, std::string_view text);

// Every entity that passes the filter: model space first, then each paper-space layout in tab
// order, each in file order; nothing inside block definitions. Entries are ANDed; -4 operators
// ("<OR", "<AND", "<NOT", "<XOR" with their closers, and relational "=", "!=", "/=", "<", "<=",
// ">", ">=", "*", "&", "&=" before a numeric entry) are understood. String codes match by
// WildcardMatch; numeric codes by value. Code 0 is the type name, 8 the layer, 2 the block name
// (INSERT, DIMENSION), 100 a subclass marker of the type (an INSERT of an external reference also
// answers "AcDbExternalReference"), 62/6/370/67/410 with their defaults (BYLAYER, model space,
// layout name); other codes look at the entity's own tags. A numeric code whose value is no number
// is matched as text. Throws kw::Error 5 (invalid call) for unbalanced or unknown -4 operators.
std::vector<const Entity*> SelectAll(const Document& document,
                                     const std::vector<FilterEntry>& filter);

// The subclass markers (group 100) of an entity, fixed per type so that R12 files answer the same
// (AcDbEntity, AcDbBlockReference, ...); for an opaque entity those its own tags give.
std::vector<std::string> SubclassMarkers(const Document& document, const Entity& entity);

// The entity's own tags as the file has them (values decoded to UTF-8), from its group 0 up to but
// excluding the next entity; empty for an entity built in code.
std::vector<Tag> EntityTags(const Document& document, const Entity& entity);

} // namespace kw::drawing
