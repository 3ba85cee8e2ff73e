// A drawing of 5,000 overlapping shapes (circles, turned rectangles, stroked triangles, in
// random colours), read and written as a library sticker.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

#include "drawing/svg_reader.h"
#include "sticker/sticker.h"

namespace mosaikon {
namespace {

std::string ManyShapes(int count) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> place(0, 1000), size(3, 15), turn(0, 90);
    std::uniform_int_distribution<int> channel(0, 255);
    std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 1000 1000'>";
    char line[256];
    for (int i = 0; i < count; ++i) {
        const double x = place(random), y = place(random), r = size(random);
        const int c = channel(random) << 16 | channel(random) << 8 | channel(random);
        if (i % 3 == 0) {
            std::snprintf(line, sizeof line, "<circle cx='%.2f' cy='%.2f' r='%.2f' fill='#%06x'/>", x, y, r, c);
        } else if (i % 3 == 1) {
            std::snprintf(line, sizeof line,
                          "<rect x='%.2f' y='%.2f' width='%.2f' height='%.2f' fill='#%06x' "
                          "transform='rotate(%.1f %.1f %.1f)'/>", x, y, 2 * r, r, c, turn(random), x, y);
        } else {
            std::snprintf(line, sizeof line,
                          "<path d='M%.1f %.1f l%.1f %.1f l%.1f %.1f z' fill='#%06x' stroke='#000' "
                          "stroke-width='0.5'/>", x, y, r, r / 2, -r / 2, r, c);
        }
        svg += line;
    }
    return svg + "</svg>";
}

void BM_DrawingOf5000Shapes(benchmark::State& state) {
    const std::string svg = ManyShapes(5000);
    for (auto _ : state) {
        auto drawing = std::make_shared<Drawing>(ReadSvgText(svg, "many.svg"));
        auto picture = std::make_shared<Picture>();
        picture->infoHeader.biWidth = DrawingPictureWidth(*drawing);
        picture->infoHeader.biHeight = kDrawingPictureHeight;
        StickerRequest request;
        request.picture = picture;
        request.drawing = drawing;
        request.format = PartFormat::LdrawSticker;
        request.height = 200;
        request.fileName = "many.dat";
        Shell shell;
        const Sticker sticker = MakeSticker(shell, request);
        benchmark::DoNotOptimize(sticker.preview);
        state.counters["polygons"] = static_cast<double>(sticker.preview.polygons.size());
    }
}
BENCHMARK(BM_DrawingOf5000Shapes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace mosaikon

BENCHMARK_MAIN();
