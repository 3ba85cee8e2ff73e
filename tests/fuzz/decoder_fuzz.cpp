// Feeds arbitrary bytes to one of the picture decoders (chosen when built, MOSAIKON_DECODER) and
// gives what it decodes a palette. Built with libFuzzer (scripts/fuzz).

#include <cstddef>
#include <cstdint>
#include <span>

#include "image/picture.h"
#include "image/rgba_picture.h"
#include "shell/failure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mosaikon;
    try {
        // Small pictures only, so that every run stays far below the fuzzer's memory limit; a
        // third of the runs take damaged files too.
        const DecodeRules rules{1 << 16, kMostBytesPerPixel, size % 3 == 0};
        const RgbaPicture rgba = MOSAIKON_DECODER(std::span(data, size), "fuzz", rules);
        Picture picture;
        GivePalette(rgba, picture, {static_cast<int>(2 + size % 255), size % 2 == 0});
    } catch (const Failure&) {
    }
    return 0;
}
