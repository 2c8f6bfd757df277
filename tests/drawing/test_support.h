#pragma once

#include <string>
#include <vector>

#include "drawing/drawing.h"

namespace kw::drawing::test {

// Path of a fixture below tests/data/drawing.
std::string Fixture(const std::string& relative);
std::string ReadBytes(const std::string& path);
// Every .dxf/.dxfb fixture, sorted.
std::vector<std::string> AllFixtures();

// A drawing from DXF tags written as text: `entities` goes into the ENTITIES section and
// `blocks` (BLOCK ... ENDBLK records) into BLOCKS. Lines are "code\nvalue\n" pairs.
Document FromTags(const std::string& entities, const std::string& blocks = "",
                  const std::string& name = "memory.dxf");

// A DXF tag pair.
std::string T(int code, const std::string& value);
std::string T(int code, double value);

// The shortest round-trip decimal form with ".0" for integers, as the frames README writes.
std::string Shortest(double value);

// A temporary folder removed at destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace kw::drawing::test
