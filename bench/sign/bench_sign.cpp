// Runs one operation through the engine and prints
//   <milliseconds> <peak working set KiB> <first line of Message>
// Usage: tavomir_sign_bench OPERATION FORMAT INPUT OUTPUT [RECIPIENT] [FIELD=VALUE...]
// FIELD is TypeOne or FileInputTwo (the opening and verifying operations).
// The signer comes from the configured certificate (no dialog).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <exception>
#include <string>

#include "signer/Unit_ttavomir.h"

int main(int argc, char** argv)
{
    const char* usage = "usage: tavomir_sign_bench OPERATION FORMAT INPUT OUTPUT [RECIPIENT] [FIELD=VALUE...]\n";
    if (argc < 5) {
        std::fputs(usage, stderr);
        return 2;
    }
    TTavomir engine;
    engine.Operation = argv[1];
    engine.Format = argv[2];
    engine.FileInputOne = argv[3];
    engine.FileOutputOne = argv[4];
    for (int i = 5; i < argc; ++i) {
        std::string argument = argv[i];
        std::size_t equals = argument.find('=');
        if (equals == std::string::npos) {
            if (i != 5) {
                std::fputs(usage, stderr);
                return 2;
            }
            engine.FileCert = argument;
        } else if (argument.compare(0, equals, "TypeOne") == 0) {
            engine.TypeOne = argument.substr(equals + 1);
        } else if (argument.compare(0, equals, "FileInputTwo") == 0) {
            engine.FileInputTwo = argument.substr(equals + 1);
        } else {
            std::fputs(usage, stderr);
            return 2;
        }
    }

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
