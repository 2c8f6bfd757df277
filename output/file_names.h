#pragma once

// File names made from a name template: "{图号}_{图名}" filled from a frame's fields, made safe
// for every file system the program runs on, and kept apart within a run.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kw::output {

// What a page's name is made of: its title-block fields and the run's own values. The run's own
// are "drawing" (the drawing's name without extension), "page" (the frame's number in its
// drawing), "index" (the page's number in the run), "sheet" and "scale"; 图幅, 比例 (when the
// title block has none), 页码 and 序号 are their Chinese names.
using NameValues = std::map<std::string, std::string>;

// The result of filling a template.
struct FilledName {
    std::string text;                 // empty when a field was missing
    std::vector<std::string> missing; // fields the template names that have no value
};

// Fills "{name}" and "{name:0N}" (a number padded with zeros to N digits); "{{" and "}}" are
// braces. A field that is missing or empty leaves `text` empty and is listed in `missing`.
// Throws Error 5 for an unclosed brace.
FilledName FillTemplate(const std::string& nameTemplate, const NameValues& values);

// The template a page falls back to when a field is missing.
inline constexpr const char* kFallbackTemplate = "{drawing}-{page:03}";

// A name every file system takes: the characters Windows forbids (\ / : * ? " < > |) and
// control characters replaced by "_", blanks and dots removed from the ends, a reserved device
// name (CON, NUL, COM1 …, with any extension) given a "_" behind it, and the name cut at a whole
// character to `maxBytes` of UTF-8 (room left for "_NN.pdf"). An empty result becomes "_".
std::string SafeFileName(const std::string& name, std::size_t maxBytes = 180);

// Hands out names that no earlier page of the run has: the second "A" is "A_2", the third "A_3".
// Letter case is ignored, as on Windows and macOS.
class UniqueNames {
public:
    std::string Take(const std::string& name);

private:
    std::set<std::string> m_taken; // folded
};

} // namespace kw::output
