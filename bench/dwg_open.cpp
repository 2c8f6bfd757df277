// dwg_open: what opening a DWG costs in the built-in CAD, apart from the program's start — the
// first Documents.Open with an empty cache (conversion included), then a second one with the
// converted drawing in the cache, each in a new application; best of RUNS each.
//
//   dwg_open SCRIPT RUNS DRAWING.dwg ...      (SCRIPT: dwg2dxf/kw-dwg2dxf.mjs)

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <limits>
#include <string>

#include "builtin/builtin_cad.h"

namespace {

namespace fs = std::filesystem;
using kw::builtin::BuiltinApplication;
using kw::builtin::BuiltinOptions;

double OpenSeconds(const BuiltinOptions& options, const std::string& drawing) {
    const auto start = std::chrono::steady_clock::now();
    BuiltinApplication application(options);
    application.Documents()->Open(drawing);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: dwg_open SCRIPT RUNS DRAWING.dwg ...\n";
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[2]));
    const fs::path cache = fs::temp_directory_path() / "kw_dwg_open_bench";
    BuiltinOptions options;
    options.printers = [] { return std::vector<kw::builtin::SystemPrinter>{}; };
    options.dwg.script = argv[1];
    options.dwg.cacheFolder = cache.string();
    std::printf("drawing\tMB\tfirst open s\tcached open s\tspeed-up\n");
    try {
        for (int i = 3; i < argc; ++i) {
            double first = std::numeric_limits<double>::max();
            double cached = first;
            for (int run = 0; run < runs; ++run) {
                fs::remove_all(cache);
                first = std::min(first, OpenSeconds(options, argv[i]));
                cached = std::min(cached, OpenSeconds(options, argv[i]));
            }
            std::printf("%s\t%.2f\t%.3f\t%.3f\t%.1f×\n", fs::path(argv[i]).filename().c_str(),
                        static_cast<double>(fs::file_size(argv[i])) / (1 << 20), first, cached,
                        first / cached);
        }
    } catch (const kw::Error& error) {
        std::cerr << error.Description() << "\n";
        return 1;
    }
    fs::remove_all(cache);
    return 0;
}
