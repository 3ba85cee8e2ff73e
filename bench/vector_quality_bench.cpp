// What the vector conversion keeps of pictures made for it, against the exact conversion: for
// crisp drawings with small features (one-pixel strokes at every angle, small text, dots and
// stars, pixel art), the same drawings anti-aliased and reduced to 16 colours, and ImageMagick's
// logo, wizard and rose (the logo also with its white transparent and with white left out), the
// polygons of both library sticker faces, the features and those lost, the pixels right, the
// gaps, and the time. Needs ImageMagick; one benchmark per picture.

#include <benchmark/benchmark.h>

#include <cmath>

#include "bench_pictures.h"
#include "conversion/exact_conversion.h"
#include "sticker/sticker.h"
#include "support/picture_metrics.h"

namespace {

using namespace mosaikon;

struct Drawing {
    const char* name;
    std::string arguments;  // for ImageMagick's convert, before the output
    bool ignoreWhite = false;
};

// Lines at every angle, of five colours, drawn from the middle.
std::string Strokes(bool antialias) {
    std::string draw = "-size 200x200 xc:white " + std::string(antialias ? "" : "+antialias ") +
                       "-strokewidth 1 -fill none";
    const char* colours[] = {"black", "red", "navy", "green", "purple"};
    for (int i = 0; i < 30; ++i) {
        const double angle = i * 3.14159265358979 / 30;
        draw += " -stroke " + std::string(colours[i % 5]) + " -draw 'line " +
                std::to_string(100 + 15 * std::cos(angle)) + "," + std::to_string(100 + 15 * std::sin(angle)) +
                " " + std::to_string(100 + 95 * std::cos(angle)) + "," +
                std::to_string(100 + 95 * std::sin(angle)) + "'";
    }
    return draw + (antialias ? " +dither -colors 16" : "");
}

std::string Text(bool antialias) {
    std::string draw = "-size 360x80 xc:white -font DejaVu-Sans " +
                       std::string(antialias ? "" : "+antialias ") + "-fill black";
    int y = 14;
    for (const int size : {10, 12, 14}) {
        draw += " -pointsize " + std::to_string(size) + " -annotate +4+" + std::to_string(y) +
                " 'Mosaikon sticker 0123456789 Iljk!'";
        y += size + 10;
    }
    return draw + (antialias ? " +dither -colors 16" : "");
}

std::string Dots(bool antialias) {
    std::string draw = "-size 160x100 xc:white " + std::string(antialias ? "" : "+antialias ");
    const char* colours[] = {"red", "navy", "black", "orange"};
    for (int i = 0; i < 24; ++i) {
        const int x = 8 + (i % 8) * 19, y = 8 + (i / 8) * 30, side = 2 + i % 3;
        draw += " -fill " + std::string(colours[i % 4]) + " -draw 'rectangle " + std::to_string(x) + "," +
                std::to_string(y) + " " + std::to_string(x + side - 1) + "," + std::to_string(y + side - 1) + "'";
        // A star of 7 pixels beside it.
        const int sx = x + 8, sy = y + 12;
        draw += " -draw 'polygon " + std::to_string(sx) + "," + std::to_string(sy - 3) + " " +
                std::to_string(sx + 1) + "," + std::to_string(sy - 1) + " " + std::to_string(sx + 3) + "," +
                std::to_string(sy) + " " + std::to_string(sx + 1) + "," + std::to_string(sy + 1) + " " +
                std::to_string(sx) + "," + std::to_string(sy + 3) + " " + std::to_string(sx - 1) + "," +
                std::to_string(sy + 1) + " " + std::to_string(sx - 3) + "," + std::to_string(sy) + " " +
                std::to_string(sx - 1) + "," + std::to_string(sy - 1) + "'";
    }
    return draw + (antialias ? " +dither -colors 16" : "");
}

const std::vector<Drawing>& Set() {
    static const std::vector<Drawing> set = {
        {"strokes", Strokes(false)},
        {"strokes-aa", Strokes(true)},
        {"text", Text(false)},
        {"text-aa", Text(true)},
        {"strokes-aa-own", Strokes(true).substr(0, Strokes(true).size() - 18)},
        {"text-aa-own", Text(true).substr(0, Text(true).size() - 18)},
        {"dots", Dots(false)},
        {"dots-aa", Dots(true)},
        {"pixel-art", "rose: -resize '46x30!' +dither -colors 12 -sample 400%"},
        {"logo", "logo: -resize '320x240!' +dither -colors 8"},
        {"logo-transparent", "logo: -resize '320x240!' +dither -colors 8 -fuzz 8% -transparent white"},
        {"logo-ignore-white", "logo: -resize '320x240!' +dither -colors 8", true},
        {"wizard", "wizard: +dither -colors 12"},
        {"rose", "rose: -resize 400% +dither -colors 8"},
    };
    return set;
}

// A picture made by ImageMagick, read by the program's own reader (PNG keeps transparency),
// and its own pixels.
Picture Made(const std::string& arguments, RgbaPicture* original) {
    char folder[] = "/tmp/mosaikon-bench-XXXXXX";
    if (!::mkdtemp(folder)) return {};
    const std::string path = std::string(folder) + "/picture.png";
    Picture picture;
    if (std::system(("convert " + arguments + " PNG32:" + path + " 2>/dev/null").c_str()) == 0) {
        Shell shell;
        double height = 0, width = 0;
        ReadOptions read;
        read.original = original;
        LoadBitmap(shell, picture, path, height, width, read);
    }
    std::remove(path.c_str());
    ::rmdir(folder);
    return picture;
}

Sticker Make(const Picture& picture, const ConversionSettings& settings, ConversionMethod method,
             std::shared_ptr<const RgbaPicture> original = {}) {
    StickerRequest request;
    request.picture = std::make_shared<const Picture>(picture);
    request.original = std::move(original);
    request.settings = settings;
    request.method = method;
    request.format = PartFormat::LdrawSticker;
    request.height = picture.Height();
    request.details = {"Sticker", "s", "a", "d"};
    request.fileName = "s.dat";
    return MakeSticker(Shell{}, request);
}

void Quality(benchmark::State& state, const Drawing& drawing) {
    auto original = std::make_shared<RgbaPicture>();
    const Picture picture = Made(drawing.arguments, original.get());
    if (picture.Width() == 0) {
        state.SkipWithError("the picture could not be made (is ImageMagick installed?)");
        return;
    }
    const ConversionSettings settings{.IgnoreWhite = drawing.ignoreWhite};
    Sticker vector;
    for (auto _ : state) vector = Make(picture, settings, ConversionMethod::Vector, original);
    const Sticker exact = Make(picture, settings, ConversionMethod::Exact);
    Shell shell;
    const test::CodeGrid codes{picture.Width(), picture.Height(), ColourCodeGrid(shell, picture, settings)};
    const test::Measured measured = test::MeasureSticker(codes, vector.preview.polygons);
    const auto polygons = [](const Sticker& sticker) {
        return static_cast<double>(sticker.preview.polygons.size());
    };
    state.counters["exact"] = polygons(exact);
    state.counters["vector"] = polygons(vector);
    state.counters["ratio"] = polygons(vector) / polygons(exact);
    state.counters["features"] = static_cast<double>(measured.features);
    state.counters["lost"] = static_cast<double>(measured.featuresLost);
    state.counters["right%"] = 100 * measured.pixelsRight;
    state.counters["gaps"] = static_cast<double>(measured.gaps);
    state.counters["overlaps"] = static_cast<double>(measured.overlaps);
    // The full conversion's face is traced again by the same outlines: no gap there either.
    const Sticker full = Make(picture, settings, ConversionMethod::Full);
    state.counters["full gaps"] = static_cast<double>(test::MeasureSticker(codes, full.preview.polygons).gaps);
}

const int registered = [] {
    for (const Drawing& drawing : Set()) {
        benchmark::RegisterBenchmark(drawing.name, [&drawing](benchmark::State& state) {
            Quality(state, drawing);
        })->Unit(benchmark::kMillisecond)->Iterations(1);
    }
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
