// Test entry: COM is initialised for the main thread (single-threaded apartment, as the
// program uses it) and uninitialised only if that succeeded.
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    HRESULT hr = ::CoInitialize(nullptr);
    if (FAILED(hr)) {
        fprintf(stderr, "CoInitialize failed: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
