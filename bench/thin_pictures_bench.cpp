// The pictures that make the seam-free sticker face, the vector outlines and the textured
// fallback work hardest, 1024 x 1024 each: a comb of one-pixel teeth and gaps on a one-pixel
// spine, a spiral of two-pixel arms, a one-pixel checkerboard, 256 colours of which no two
// neighbours are alike, and noise of four colours with half its pixels left out. Each is made
// into a sticker of every form that builds a face or outlines, as the programs make it (counted,
// not stored), with the polygons and the process's peak memory. Run one benchmark per process
// (--benchmark_filter) to read its own peak.

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <cmath>

#include "bench_pictures.h"
#include "sticker/sticker.h"

namespace {

using namespace mosaikon;

constexpr int kSide = 1024;

double PeakMegabytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024;
}

Picture Comb() {
    return bench::Generated(kSide, [](int x, int y) { return y == 0 || x % 2 == 0 ? 1 : 0; });
}

Picture Spiral() {
    return bench::Generated(kSide, [](int x, int y) {
        const double dx = x - kSide / 2.0, dy = y - kSide / 2.0;
        const double turn = std::atan2(dy, dx) / 3.14159265358979323846;
        return static_cast<int>(std::floor(std::hypot(dx, dy) / 2 - turn)) % 2 == 0 ? 1 : 0;
    });
}

Picture HalfLeftOutNoise() {
    std::mt19937 random(11);
    Picture picture = bench::Generated(kSide, [&random](int, int) {
        return random() % 2 == 0 ? 4 : static_cast<int>(random() % 4);
    });
    picture.TransparentIndex = 4;
    return picture;
}

const Picture& Named(int which) {
    static const Picture pictures[] = {Comb(), Spiral(), bench::Checkerboard(kSide),
                                       bench::WorstCase(kSide), HalfLeftOutNoise()};
    return pictures[which];
}

void Make(benchmark::State& state, int picture, ConversionMethod method, PartFormat format) {
    StickerRequest request;
    request.picture = std::make_shared<const Picture>(Named(picture));
    request.method = method;
    request.format = format;
    request.height = kSide;
    request.details = {"Sticker", "s", "a", "d"};
    request.fileName = "s.dat";
    PartFileCounts counts;
    for (auto _ : state) {
        const Sticker sticker = MakeSticker(Shell{}, request);
        if (!sticker.made) state.SkipWithError("the sticker was not made");
        counts = sticker.preview.counts;
        benchmark::DoNotOptimize(counts);
    }
    state.counters["polygons"] = static_cast<double>(counts.quadrilaterals + counts.triangles);
    state.counters["peak MB"] = PeakMegabytes();
}

const char* const kPictures[] = {"Comb", "Spiral", "Checkerboard", "NoNeighboursAlike",
                                 "HalfLeftOutNoise"};

struct Form {
    const char* name;
    ConversionMethod method;
    PartFormat format;
};
constexpr Form kForms[] = {{"QuickSticker", ConversionMethod::Quick, PartFormat::LdrawSticker},
                           {"ExactSticker", ConversionMethod::Exact, PartFormat::LdrawSticker},
                           {"FullSticker", ConversionMethod::Full, PartFormat::LdrawSticker},
                           {"Vector", ConversionMethod::Vector, PartFormat::Classic},
                           {"VectorSticker", ConversionMethod::Vector, PartFormat::LdrawSticker},
                           {"Textured", ConversionMethod::Quick, PartFormat::LdrawTexture}};

const int registered = [] {
    for (int p = 0; p < 5; ++p) {
        for (const Form& form : kForms) {
            benchmark::RegisterBenchmark(
                (std::string(kPictures[p]) + "/" + form.name).c_str(),
                [p, form](benchmark::State& state) { Make(state, p, form.method, form.format); })
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    }
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
