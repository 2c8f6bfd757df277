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

// A release-2000 drawing with `tables` (TABLE ... ENDTAB records), `entities` and `objects`.
Document FromSections(const std::string& tables, const std::string& entities,
                      const std::string& objects);

// One vertex of an MLINE record: position, segment direction, miter and each element's
// parameters (distance along the miter, then dash starts and ends).
struct MLineVertexTags {
    double x, y, dx, dy, mx, my;
    std::vector<std::vector<double>> parameters;
};
// The tags of an MLINE of the style `styleName` (handle `styleHandle`, "" for none) with
// justification 70, flags 71 and `extra` tags after its layer.
std::string MLineTags(const std::string& styleName, const std::string& styleHandle, double scale,
                      int justification, int flags, const std::vector<MLineVertexTags>& vertices,
                      const std::string& extra = "");

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
