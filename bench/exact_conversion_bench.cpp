// The exact conversion on the logo (332 x 255, 256 colours), a photograph-like 640 x 480 picture
// of 256 colours and the 1024 x 1024 worst case, with the number of quadrilaterals each of the
// three conversions writes for the same picture.

#include <benchmark/benchmark.h>

#include "bench_pictures.h"
#include "conversion/exact_conversion.h"
#include "conversion/full_conversion.h"
#include "conversion/quick_conversion.h"

namespace {

using namespace mosaikon;

void Exact(benchmark::State& state, const Picture& picture, bool countFull) {
    if (picture.Width() == 0) {
        state.SkipWithError("the picture could not be made (is ImageMagick installed?)");
        return;
    }
    Shell shell;
    Quads quads;
    for (auto _ : state) {
        ConvertExact(shell, picture, quads, {});
        benchmark::DoNotOptimize(quads.data());
    }
    state.counters["exact"] = static_cast<double>(quads.size());
    ConvertBitmap(shell, picture, quads, {});
    state.counters["quick"] = static_cast<double>(quads.size());
    if (countFull) {
        ConvertToLdraw(shell, picture, quads, {});
        state.counters["full"] = static_cast<double>(quads.size());
    }
}

void ExactLogo(benchmark::State& state) {
    Exact(state, bench::Logo(), true);
}
void ExactRose(benchmark::State& state) {
    Exact(state, bench::Rose(), true);
}
void ExactWorstCase(benchmark::State& state) {
    Exact(state, bench::WorstCase(), false);
}

BENCHMARK(ExactLogo)->Unit(benchmark::kMillisecond);
BENCHMARK(ExactRose)->Unit(benchmark::kMillisecond);
BENCHMARK(ExactWorstCase)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
