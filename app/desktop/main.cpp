#include "app/desktop/desktop_app.h"

int main(int argc, char** argv) {
    return kw::app::RunDesktop(argc, argv);
}
