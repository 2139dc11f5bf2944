// What the bus-error guard costs a telemetry sample. Every read of a
// simulator's mapped file goes through a guard (platform/MappedFault.h); the
// iRacing engine takes about 47 small guarded reads per sample (the header,
// the buffer descriptors and one read per variable), the AC family two page
// copies and Le Mans Ultimate one snapshot copy plus a few guarded atomics.
//
// Compare each guarded case with its plain twin: the difference is the cost.

#include "platform/MappedFault.h"
#include "platform/SharedMemory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace qv;

constexpr size_t kMapBytes = 1 << 20;
constexpr int kReadsPerIRacingSample = 47;

std::string makeFolder() {
    char pattern[] = "/tmp/qv-bench-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made ? std::string(made) + "/" : std::string("/tmp/");
}

struct Map {
    Map() : folder(makeFolder()), writer(folder), reader(folder) {
        writer.create("Local\\bench", kMapBytes);
        std::memset(writer.writableData(), 1, kMapBytes);
        reader.open("Local\\bench", kMapBytes);
    }
    ~Map() {
        writer.removeFile();
        ::rmdir(folder.c_str());
    }
    std::string folder;
    SharedMemoryMap writer;
    SharedMemoryMap reader;
};

Map& map() {
    static Map m;
    return m;
}

void BM_EmptyGuard(benchmark::State& state) {
    int x = 0;
    for (auto _ : state) {
        runGuarded([&] { benchmark::DoNotOptimize(x); });
    }
}
BENCHMARK(BM_EmptyGuard);

// One sample of the iRacing engine's reads: 47 values of 4 bytes scattered
// over a row.
void BM_IRacingSampleReadsPlain(benchmark::State& state) {
    const uint8_t* data = map().reader.data();
    for (auto _ : state) {
        int32_t sum = 0;
        for (int i = 0; i < kReadsPerIRacingSample; ++i) {
            int32_t v;
            std::memcpy(&v, data + 4096 + static_cast<size_t>(i) * 52, sizeof v);
            benchmark::DoNotOptimize(v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_IRacingSampleReadsPlain);

void BM_IRacingSampleReadsGuarded(benchmark::State& state) {
    const SharedMemoryMap& m = map().reader;
    for (auto _ : state) {
        int32_t sum = 0;
        for (int i = 0; i < kReadsPerIRacingSample; ++i) {
            int32_t v = 0;
            m.read(4096 + static_cast<size_t>(i) * 52, &v, sizeof v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_IRacingSampleReadsGuarded);

// A page copy as the AC family and Le Mans Ultimate make per sample
// (range(0) bytes: an ACC physics page, the LMU telemetry block).
void BM_PageCopyPlain(benchmark::State& state) {
    std::vector<uint8_t> copy(static_cast<size_t>(state.range(0)));
    const uint8_t* data = map().reader.data();
    for (auto _ : state) {
        std::memcpy(copy.data(), data, copy.size());
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_PageCopyPlain)->Arg(800)->Arg(196608);

void BM_PageCopyGuarded(benchmark::State& state) {
    std::vector<uint8_t> copy(static_cast<size_t>(state.range(0)));
    const SharedMemoryMap& m = map().reader;
    for (auto _ : state) {
        m.read(0, copy.data(), copy.size());
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_PageCopyGuarded)->Arg(800)->Arg(196608);

}  // namespace

BENCHMARK_MAIN();
