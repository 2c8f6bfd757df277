// dxf_list_frames: the frame listing of `kestrelwick-plot --list --kind polyline` done with the
// drawing library alone (load, select LWPOLYLINE on the layer, vertex extents), for measuring the
// library apart from the CAD object model. Prints one line per frame in select-all order.
//
//   dxf_list_frames DRAWING.dxf [LAYER]

#include <charconv>
#include <cstdio>
#include <iostream>

#include "drawing/drawing.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: dxf_list_frames DRAWING.dxf [LAYER]\n";
        return 2;
    }
    const std::string layer = argc > 2 ? argv[2] : "图框";
    try {
        const kw::drawing::Document document = kw::drawing::LoadDrawing(argv[1]);
        std::string out;
        for (const kw::drawing::Entity* e :
             kw::drawing::SelectAll(document, {{0, "LWPOLYLINE"}, {8, layer}})) {
            const auto& vertices = std::get<kw::drawing::LwPolylineGeometry>(e->geometry).vertices;
            if (vertices.empty())
                continue;
            double x0 = vertices[0].x, y0 = vertices[0].y, x1 = x0, y1 = y0;
            for (const auto& v : vertices) {
                x0 = std::min(x0, v.x);
                y0 = std::min(y0, v.y);
                x1 = std::max(x1, v.x);
                y1 = std::max(y1, v.y);
            }
            for (double value : {x0, y0, x1, y1}) {
                // Shortest round-trip form, "420.0" for whole numbers as kestrelwick-plot --list.
                char buffer[32];
                const auto r = std::to_chars(buffer, buffer + sizeof(buffer), value);
                const std::string_view text(buffer, static_cast<std::size_t>(r.ptr - buffer));
                out += text;
                if (text.find_first_of(".en") == std::string_view::npos)
                    out += ".0";
                out += ' ';
            }
            out.back() = '\n';
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
    } catch (const kw::Error& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
