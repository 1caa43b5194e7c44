// bench_core [filter] [seconds per side]: times every registered case whose
// name holds the filter. Figures only; nothing is asserted.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>

#include "bench/bench.h"

std::vector<BenchCase>& BenchCases()
{
    static std::vector<BenchCase> cases;
    return cases;
}

const std::vector<unsigned char>& BenchInput(std::size_t size)
{
    static std::map<std::size_t, std::unique_ptr<std::vector<unsigned char>>> inputs;
    auto& slot = inputs[size];
    if (!slot) {
        slot = std::make_unique<std::vector<unsigned char>>(size);
        std::mt19937 random(static_cast<unsigned>(size) * 2654435761u + 1);
        for (auto& b : *slot) b = static_cast<unsigned char>(random());
    }
    return *slot;
}

namespace {

using Clock = std::chrono::steady_clock;

volatile std::uint32_t gSink;

// Seconds per run: the best of several batches, each at least slice long.
double SecondsPerRun(const std::function<std::uint32_t()>& run, double slice, int batches)
{
    std::uint64_t runs = 1;
    double best = 0;
    for (int b = 0; b < batches; ++b) {
        for (;;) {
            auto start = Clock::now();
            std::uint32_t sink = 0;
            for (std::uint64_t i = 0; i < runs; ++i) sink += run();
            double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            gSink = gSink + sink;
            if (elapsed >= slice) {
                double perRun = elapsed / double(runs);
                if (best == 0 || perRun < best) best = perRun;
                break;
            }
            runs = elapsed > 0 ? std::uint64_t(double(runs) * slice * 1.2 / elapsed) + 1 : runs * 10;
        }
    }
    return best;
}

void PrintRate(double perRun, std::size_t bytesPerRun)
{
    if (bytesPerRun)
        std::printf("%10.1f MB/s", double(bytesPerRun) / perRun / 1e6);
    else
        std::printf("%10.0f op/s", 1.0 / perRun);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* filter = argc > 1 ? argv[1] : "";
    double seconds = argc > 2 ? std::atof(argv[2]) : 1.0;
    if (seconds <= 0) seconds = 1.0;
    const int kBatches = 5;

    std::printf("ratio = core time / libcrypto time (above 1: the core is slower)\n");
    std::printf("%-28s %15s %15s %8s\n", "case", "core", "libcrypto", "ratio");
    int mismatches = 0;
    for (const BenchCase& c : BenchCases()) {
        if (c.name.find(filter) == std::string::npos) continue;
        if (c.compareOutputs && c.core() != c.peer()) {
            std::printf("%-28s outputs differ\n", c.name.c_str());
            ++mismatches;
            continue;
        }
        // Alternate the two sides so that drift in clock speed hits both.
        double core = 0, peer = 0;
        for (int round = 0; round < 2; ++round) {
            double a = SecondsPerRun(c.core, seconds / (2 * kBatches), kBatches);
            double b = SecondsPerRun(c.peer, seconds / (2 * kBatches), kBatches);
            core = round == 0 || a < core ? a : core;
            peer = round == 0 || b < peer ? b : peer;
        }
        std::printf("%-28s ", c.name.c_str());
        PrintRate(core, c.bytesPerRun);
        std::printf(" ");
        PrintRate(peer, c.bytesPerRun);
        std::printf(" %8.2f\n", core / peer);
    }
    return mismatches ? 1 : 0;
}
