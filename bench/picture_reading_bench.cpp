// Reading pictures that need a palette: a 1920 x 1080 JPEG photograph decoded and reduced to 256
// colours, and a 1024 x 768 PNG logo with transparency read and converted exactly. The pictures
// are made by ImageMagick; without it the benchmarks are skipped.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "conversion/exact_conversion.h"
#include "image/bitmap_reader.h"
#include "shell/text_file.h"

namespace {

using namespace mosaikon;

std::vector<std::uint8_t> Made(const std::string& arguments, const std::string& file) {
    const std::string path = "/tmp/mosaikon-bench-" + file;
    if (std::system(("convert " + arguments + " " + path + " >/dev/null 2>&1").c_str()) != 0) {
        return {};
    }
    return ReadFileBytes(path, 1 << 30);
}

Picture Loaded(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    Shell shell;
    Picture picture;
    double height = 0, width = 0;
    LoadBitmapBytes(shell, picture, bytes, name, height, width);
    return picture;
}

void JpegPhotoReducedTo256Colours(benchmark::State& state) {
    const auto bytes = Made("-size 1920x1080 plasma:fractal -blur 0x2", "photo.jpg");
    if (bytes.empty()) return state.SkipWithError("ImageMagick is missing");
    for (auto _ : state) {
        state.counters["colours"] = static_cast<double>(Loaded(bytes, "photo.jpg").SourceColours);
    }
}
BENCHMARK(JpegPhotoReducedTo256Colours)->Unit(benchmark::kMillisecond);

void PngLogoWithTransparencyConvertedExactly(benchmark::State& state) {
    const auto bytes = Made(
        "-size 1024x768 xc:none -fill '#cc0000' -draw 'circle 512,384 512,100' -fill '#0033bb' "
        "-draw 'rectangle 100,100 400,300' -fill '#ffee00' -draw 'polygon 600,700 900,500 "
        "1000,740'",
        "logo.png");
    if (bytes.empty()) return state.SkipWithError("ImageMagick is missing");
    for (auto _ : state) {
        Shell shell;
        Quads quads;
        ConvertExact(shell, Loaded(bytes, "logo.png"), quads, {});
        state.counters["quads"] = static_cast<double>(quads.size());
    }
}
BENCHMARK(PngLogoWithTransparencyConvertedExactly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
