// The converter's batch of 40 pictures (logos, drawings and photographs of mixed sizes up to
// 1920 x 1080, as PNG, JPEG, GIF and bitmaps) with one job and with two: the time of each, their
// ratio, and the peak memory of the process against the memory budget.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "shell/system.h"

namespace {

using namespace mosaikon;
namespace fs = std::filesystem;

struct Pictures {
    fs::path folder;
    std::vector<std::string> files, parts;
};

// Made once by ImageMagick; empty when it is missing.
const Pictures& BatchPictures() {
    static const Pictures pictures = [] {
        Pictures made;
        char folder[] = "/tmp/mosaikon-batch-bench-XXXXXX";
        if (!::mkdtemp(folder)) return made;
        made.folder = folder;
        const char* sources[] = {"logo:", "rose:", "wizard:", "plasma:fractal", "granite:"};
        const char* sizes[] = {"1920x1080", "1280x720", "800x600", "640x480",
                               "320x240",   "1024x768", "400x300", "160x120"};
        const char* types[] = {"png", "jpg", "gif", "bmp"};
        for (int i = 0; i < 40; ++i) {
            const std::string source = sources[i % 5];
            const std::string size = sizes[i % 8];
            const std::string file =
                made.folder / ("picture" + std::to_string(i) + "." + types[i % 4]);
            const std::string input =
                source == "plasma:fractal"
                    ? "-size " + size + " -seed " + std::to_string(i) + " " + source
                    : source + " -resize " + size + "!";
            if (std::system(("convert " + input + " " + file + " 2>/dev/null").c_str()) != 0) {
                return Pictures{};
            }
            made.files.push_back(file);
            made.parts.push_back(made.folder / ("part" + std::to_string(i) + ".dat"));
        }
        return made;
    }();
    return pictures;
}

void Batch(benchmark::State& state) {
    const Pictures& pictures = BatchPictures();
    if (pictures.files.empty()) {
        state.SkipWithError("the pictures could not be made (is ImageMagick installed?)");
        return;
    }
    const std::uint64_t budget = AvailableMemory();
    BatchProgress last;
    for (auto _ : state) {
        RunBatch(pictures.files, pictures.parts, JobOptions{},
                 static_cast<unsigned>(state.range(0)), budget,
                 [&](const BatchProgress& progress) { last = progress; });
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["failed"] = static_cast<double>(last.failed);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
    state.counters["need_in_flight_MB"] = static_cast<double>(last.mostMemoryInFlight >> 20);
    state.counters["budget_MB"] = static_cast<double>(budget >> 20);
}

BENCHMARK(Batch)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
