#include <cstdio>
#include <cstring>

#include "app/desktop/desktop_app.h"
#include "base/version.h"

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
#ifdef _WIN32
        // A windows program has no console of its own: it answers in the one it was started from.
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            std::freopen("CONOUT$", "w", stdout);
        }
#endif
        std::printf("kestrelwick %s\n", kw::kVersion);
        return 0;
    }
    return kw::app::RunDesktop(argc, argv);
}
