#include "core/cpu/cpu_features.h"

#ifdef TAVOMIR_X86_EXTENSIONS
#include <cpuid.h>

namespace {

struct Features {
    bool ssse3 = false;
    bool sha1 = false;
    Features()
    {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid(1, &a, &b, &c, &d)) return;
        ssse3 = (c & bit_SSSE3) != 0;
        const bool sse41 = (c & bit_SSE4_1) != 0;
        if (__get_cpuid_max(0, nullptr) < 7) return;
        __cpuid_count(7, 0, a, b, c, d);
        sha1 = ssse3 && sse41 && (b & bit_SHA) != 0;
    }
};

const Features& Asked()
{
    static const Features features;
    return features;
}

}  // namespace

bool CpuHasSsse3() { return Asked().ssse3; }
bool CpuHasSha1Extensions() { return Asked().sha1; }

#else

bool CpuHasSsse3() { return false; }
bool CpuHasSha1Extensions() { return false; }

#endif
