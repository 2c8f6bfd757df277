// The tests run on an OLE-initialised single-threaded apartment, as the desktop program's
// user-interface thread does.

#include <gtest/gtest.h>

#include <ole2.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (FAILED(OleInitialize(nullptr))) {
        return 2;
    }
    const int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
