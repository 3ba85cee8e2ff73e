// The quick conversion and part file writing on the worst case: a 1024 x 1024 picture in which no
// two neighbouring pixels are equal, so every pixel becomes a quadrilateral (over 100 MB of text
// at a height of 100).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench_pictures.h"
#include "ldraw/part_file_writer.h"
#include "ldraw/sticker_part.h"
#include "conversion/quick_conversion.h"

namespace {

using namespace mosaikon;
using bench::WorstCase;

void QuickConversion(benchmark::State& state) {
    const Picture picture = WorstCase(1024);
    Shell shell;
    Quads quads;
    for (auto _ : state) {
        ConvertBitmap(shell, picture, quads, {});
        benchmark::DoNotOptimize(quads.data());
    }
    state.counters["quads"] = static_cast<double>(quads.size());
}
BENCHMARK(QuickConversion)->Unit(benchmark::kMillisecond);

void QuickConversionAndPartFile(benchmark::State& state) {
    const Picture picture = WorstCase(1024);
    Shell shell;
    Quads quads;
    char folder[] = "/tmp/mosaikon-bench-XXXXXX";
    if (!::mkdtemp(folder)) state.SkipWithError("no temporary folder");
    const std::string path = std::string(folder) + "/worst.dat";
    for (auto _ : state) {
        ConvertBitmap(shell, picture, quads, {});
        WritePartFile(shell, picture, quads, path, 100,
                      {"Sticker: worst", "worst", "Mosaikon", "Unofficial Model"});
    }
    std::remove(path.c_str());
    ::rmdir(folder);
}
BENCHMARK(QuickConversionAndPartFile)->Unit(benchmark::kMillisecond);

// The same as an LDraw sticker part: every pixel's corners shared four ways, and a backing whose
// sides are cut at each of the 1024 corners along each edge.
void QuickConversionAndStickerPart(benchmark::State& state) {
    const Picture picture = WorstCase(1024);
    Shell shell;
    Quads quads;
    char folder[] = "/tmp/mosaikon-bench-XXXXXX";
    if (!::mkdtemp(folder)) state.SkipWithError("no temporary folder");
    const std::string path = std::string(folder) + "/worst.dat";
    for (auto _ : state) {
        ConvertBitmap(shell, picture, quads, {});
        WriteStickerPart(shell, picture, quads, path, 100,
                         {"Sticker: worst", "worst", "Mosaikon", "Unofficial Model"});
    }
    std::remove(path.c_str());
    ::rmdir(folder);
}
BENCHMARK(QuickConversionAndStickerPart)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
