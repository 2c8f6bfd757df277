// Writes the drawing of known sheets the output tests measure, for the tests that run as scripts.
//   kw_write_sheets_drawing OUTPUT.dxf

#include <iostream>

#include "tests/output/sheet_drawing.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kw_write_sheets_drawing OUTPUT.dxf\n";
        return 2;
    }
    kw::test::MeasuredDrawing().Write(argv[1]);
    return 0;
}
