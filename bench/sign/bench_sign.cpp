// Runs one signing operation through the engine and prints
//   <milliseconds> <peak working set KiB> <first line of Message>
// Usage: tavomir_sign_bench OPERATION FORMAT INPUT OUTPUT [RECIPIENT]
// The signer comes from the configured certificate (no dialog).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <exception>
#include <string>

#include "signer/Unit_ttavomir.h"

int main(int argc, char** argv)
{
    if (argc < 5 || argc > 6) {
        std::fputs("usage: tavomir_sign_bench OPERATION FORMAT INPUT OUTPUT [RECIPIENT]\n", stderr);
        return 2;
    }
    TTavomir engine;
    engine.Operation = argv[1];
    engine.Format = argv[2];
    engine.FileInputOne = argv[3];
    engine.FileOutputOne = argv[4];
    if (argc == 6) engine.FileCert = argv[5];

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    bool ok = false;
    try {
        ok = engine.Execute();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "exception: %s\n", e.what());
        return 1;
    }
    QueryPerformanceCounter(&end);

    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::string first = engine.Message.substr(0, engine.Message.find('\r'));
    std::printf("%lld %llu %s\n", (end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart,
                static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024), first.c_str());
    return ok ? 0 : 1;
}
