// Feeds arbitrary bytes to the bitmap reader and, when they load, to the quick conversion, which
// touches every pixel and palette entry, and to the preview writer. Built with libFuzzer
// (scripts/fuzz).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "image/bitmap_reader.h"
#include "image/preview_writer.h"
#include "conversion/quick_conversion.h"
#include "shell/atomic_file.h"

namespace {

// Keeps every allocation of one run far below the fuzzer's limit.
constexpr std::uint64_t kFuzzMostPixels = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mosaikon;
    Shell shell;
    Picture picture;
    double height = 0, width = 0;
    ReadOptions options;
    options.mostPixels = kFuzzMostPixels;
    options.acceptDamaged = size % 3 == 0;
    LoadBitmapBytes(shell, picture, std::span(data, size), "fuzz.bmp", height, width, options);
    if (shell.failuresReported > 0) return 0;
    const ConversionSettings settings{.IgnoreWhite = size % 2 == 0};
    Quads quads;
    ConvertBitmap(shell, picture, quads, settings);
    static const std::string preview =
        (std::filesystem::temp_directory_path() / "mosaikon-fuzz-preview.bmp").string();
    PendingFiles pending;  // made in full, never put in place
    CreateBitmap(shell, picture, preview, settings, &pending);
    return 0;
}
