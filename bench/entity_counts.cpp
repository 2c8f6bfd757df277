// dxf_entity_counts: the entities of every layout of a DXF drawing counted by type, one line
// "LAYOUT<TAB>TYPE<TAB>COUNT" each, sorted — for comparing a converted DWG with its DXF twin
// (bench/dwg_candidates.sh).
//
//   dxf_entity_counts DRAWING.dxf

#include <iostream>
#include <map>
#include <string>

#include "drawing/drawing.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: dxf_entity_counts DRAWING.dxf\n";
        return 2;
    }
    try {
        const kw::drawing::Document document = kw::drawing::LoadDrawing(argv[1]);
        std::map<std::pair<std::string, std::string>, int> counts;
        for (const auto& layout : document.layouts) {
            // Layout names differ in letter case between writers ("MODEL", "Model").
            const std::string name = layout.isModel ? "Model" : layout.name;
            for (const auto& entity : document.LayoutEntities(layout)) {
                ++counts[{name, std::string(entity.DxfName())}];
            }
        }
        for (const auto& [key, count] : counts) {
            std::cout << key.first << '\t' << key.second << '\t' << count << '\n';
        }
    } catch (const kw::Error& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
