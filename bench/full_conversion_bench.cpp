// The full conversion on (a) ImageMagick's built-in logo as a 332 x 255 bitmap of 256 colours,
// (b) a 128 x 128 picture of 8 x 8 random blocks in four colours and (c) its worst cases: a
// checkerboard, diagonal stripes of 8, 16 and 256 colours and two-colour noise, 512 and 1024
// pixels a side. With the environment
// variable MOSAIKON_BENCH_STRAIGHTFORWARD set, the same pictures also go through the
// straightforward search that only limits each fit test to the bounding box (minutes).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "bench_pictures.h"
#include "conversion/full_conversion.h"
#include "conversion/full_conversion_reference.h"

namespace {

using namespace mosaikon;
using bench::Blocks;
using bench::Logo;

void Run(benchmark::State& state, const Picture& picture, bool straightforward) {
    if (picture.Width() == 0) {
        state.SkipWithError("the picture could not be made (is ImageMagick installed?)");
        return;
    }
    Shell shell;
    Quads quads;
    for (auto _ : state) {
        if (straightforward) {
            quads = test::ReferenceFullConversion(picture, {}, test::ReferenceSearch::BoundingBox);
        } else {
            ConvertToLdraw(shell, picture, quads, {});
        }
        benchmark::DoNotOptimize(quads.data());
    }
    state.counters["quads"] = static_cast<double>(quads.size());
    if (!straightforward) {
        FullConversionRun run;
        ConvertToLdraw(shell, picture, quads, {}, {}, &run);
        state.counters["rectangle_regions"] = static_cast<double>(run.regionsCoveredWithRectangles);
    }
    if (straightforward) {  // both searches must give the very same quadrilaterals
        Quads fast;
        ConvertToLdraw(shell, picture, fast, {});
        bool identical = fast.size() == quads.size();
        for (std::size_t i = 0; identical && i < fast.size(); ++i) {
            const LdrawQuad &a = fast[i], &b = quads[i];
            identical = a.Color == b.Color && a.X1 == b.X1 && a.X2 == b.X2 && a.X3 == b.X3 &&
                        a.X4 == b.X4 && a.Y1 == b.Y1 && a.Y2 == b.Y2 && a.Y3 == b.Y3 &&
                        a.Y4 == b.Y4;
        }
        state.counters["identical"] = identical ? 1 : 0;
    }
}

void FullConversionLogo(benchmark::State& state) {
    Run(state, Logo(), false);
}
void FullConversionBlocks(benchmark::State& state) {
    Run(state, Blocks(), false);
}
void StraightforwardLogo(benchmark::State& state) {
    Run(state, Logo(), true);
}
void StraightforwardBlocks(benchmark::State& state) {
    Run(state, Blocks(), true);
}

BENCHMARK(FullConversionLogo)->Unit(benchmark::kMillisecond);
BENCHMARK(FullConversionBlocks)->Unit(benchmark::kMillisecond);

// The worst cases, each bounded by the conversion's work budget (at most a few seconds).
void FullConversionCheckerboard(benchmark::State& state) {
    Run(state, bench::Checkerboard(static_cast<int>(state.range(0))), false);
}
void FullConversionDiagonals(benchmark::State& state) {
    Run(state,
        bench::DiagonalStripes(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))),
        false);
}
void FullConversionNoise(benchmark::State& state) {
    Run(state, bench::TwoColourNoise(static_cast<int>(state.range(0))), false);
}
BENCHMARK(FullConversionCheckerboard)->Arg(512)->Arg(1024)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(FullConversionDiagonals)
    ->ArgsProduct({{512, 1024}, {8, 16, 256}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(FullConversionNoise)->Arg(512)->Arg(1024)->Unit(benchmark::kSecond)->Iterations(1);

const bool kStraightforward = [] {
    if (std::getenv("MOSAIKON_BENCH_STRAIGHTFORWARD")) {
        benchmark::RegisterBenchmark("StraightforwardLogo", StraightforwardLogo)
            ->Unit(benchmark::kSecond)
            ->Iterations(1);
        benchmark::RegisterBenchmark("StraightforwardBlocks", StraightforwardBlocks)
            ->Unit(benchmark::kSecond)
            ->Iterations(1);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
