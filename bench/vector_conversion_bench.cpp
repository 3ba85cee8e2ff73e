// The vector conversion on the logo (320 x 240, 8 colours), a 1024 x 768 cartoon of 16 colours and
// the 1024 x 1024 worst cases (no two neighbouring pixels alike; every pixel its own colour),
// each also written in both layouts (counted, not stored), with the polygons the vector and the
// exact conversions make and the process's peak memory so far. Run one benchmark per process
// (--benchmark_filter) to read its own peak.

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include "bench_pictures.h"
#include "sticker/sticker.h"

namespace {

using namespace mosaikon;

double PeakMegabytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024;
}

// The sticker a user gets: converted, made into its form and counted.
PartFileCounts Counts(const Picture& picture, ConversionMethod method, PartFormat format) {
    StickerRequest request;
    request.picture = std::make_shared<const Picture>(picture);
    request.method = method;
    request.format = format;
    request.height = picture.Height();
    request.details = {"Sticker", "s", "a", "d"};
    request.fileName = "s.dat";
    return MakeSticker(Shell{}, request).preview.counts;
}

void Vector(benchmark::State& state, const Picture& picture, PartFormat format) {
    if (picture.Width() == 0) {
        state.SkipWithError("the picture could not be made (is ImageMagick installed?)");
        return;
    }
    PartFileCounts counts;
    for (auto _ : state) {
        counts = Counts(picture, ConversionMethod::Vector, format);
        benchmark::DoNotOptimize(counts);
    }
    state.counters["vector"] = static_cast<double>(counts.quadrilaterals + counts.triangles);
    state.counters["peak MB"] = PeakMegabytes();
    const PartFileCounts exact = Counts(picture, ConversionMethod::Exact, format);
    state.counters["exact"] = static_cast<double>(exact.quadrilaterals + exact.triangles);
}

const Picture& Logo() {
    static const Picture picture =
        bench::FromImageMagick("logo: -resize '320x240!' +dither -colors 8 -compress none");
    return picture;
}
const Picture& Cartoon() {
    static const Picture picture =
        bench::FromImageMagick("wizard: -resize '1024x768!' +dither -colors 16 -compress none");
    return picture;
}
const Picture& WorstCase() {
    static const Picture picture = bench::WorstCase();
    return picture;
}

void VectorLogo(benchmark::State& state) {
    Vector(state, Logo(), static_cast<PartFormat>(state.range(0)));
}
void VectorCartoon(benchmark::State& state) {
    Vector(state, Cartoon(), static_cast<PartFormat>(state.range(0)));
}
void VectorWorstCase(benchmark::State& state) {
    Vector(state, WorstCase(), static_cast<PartFormat>(state.range(0)));
}

// Every one of the 1024 x 1024 pixels its own colour code, as a direct-colour picture would be
// were it not reduced: with the default smallest area all of them are merged; with 0 none is.
void VectorEveryPixelItsOwnColour(benchmark::State& state) {
    const std::int32_t side = 1024;
    std::vector<std::int32_t> codes(static_cast<std::size_t>(side) * side);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        codes[i] = 0x2000000 + static_cast<std::int32_t>((i * 2654435761u) & 0xFFFFFF);
    }
    VectorOptions options;
    options.minArea = static_cast<std::int32_t>(state.range(0));
    Quads quads;
    for (auto _ : state) {
        quads.clear();
        CoverWithOutlines(side, side, codes, options, quads);
        benchmark::DoNotOptimize(quads.data());
    }
    state.counters["vector"] = static_cast<double>(quads.size());
    state.counters["peak MB"] = PeakMegabytes();
}

BENCHMARK(VectorLogo)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(VectorCartoon)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(VectorWorstCase)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(VectorEveryPixelItsOwnColour)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
