// The tests are a single-threaded apartment, like a script host.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int status = RUN_ALL_TESTS();
    CoUninitialize();
    return status;
}
