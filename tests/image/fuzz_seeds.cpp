// Bitmaps of every layout the reader takes, written as the seed corpus of the fuzz targets,
// which cut, flip and splice them under the address and undefined-behaviour sanitizers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::BitmapLayout;
using test::Bytes;

std::vector<Bytes> Samples() {
    std::vector<test::BitmapLayout> layouts;
    // Uncompressed: 8, 4 and 1 bits, one top-down with a 124-byte header, one OS/2; 32 bits
    // with bit fields and alpha in a 108-byte header.
    for (const auto& [bits, info, topDown] :
         {std::tuple{8, 40, false}, std::tuple{4, 124, true}, std::tuple{1, 12, false}}) {
        layouts.push_back({.width = 7,
                           .height = 3,
                           .bitCount = bits,
                           .palette = test::GreyRamp(1 << bits),
                           .pixels = std::vector<std::uint8_t>(21, 1),
                           .infoSize = info,
                           .topDown = topDown});
    }
    layouts.push_back({.width = 3,
                       .height = 2,
                       .bitCount = 32,
                       .infoSize = 108,
                       .colours = {0xFF102030, 0, 0x80FFFFFF, 1, 2, 3},
                       .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}});
    // RLE8 with a run, a literal, a delta, an end of line and an end of bitmap; RLE4 with a
    // literal and a run.
    layouts.push_back({.width = 6,
                       .height = 3,
                       .palette = test::GreyRamp(8),
                       .compression = 1,
                       .rleData = {3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 7, 0, 0, 0, 1}});
    layouts.push_back({.width = 5,
                       .height = 2,
                       .bitCount = 4,
                       .palette = test::GreyRamp(16),
                       .compression = 2,
                       .rleData = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 2, 0x67, 0, 1}});
    // A palette longer than 256 entries.
    layouts.push_back(
        {.width = 3, .height = 2, .palette = test::GreyRamp(256), .pixels = {255, 0, 9, 1, 2, 3}});
    layouts.back().palette.resize(260);
    std::vector<Bytes> samples;
    for (const auto& layout : layouts) samples.push_back(test::EncodeBitmap(layout));
    return samples;
}

// Writes the samples as the fuzz targets' seed corpus, when scripts/fuzz asks for it.
TEST(FuzzSeeds, WritesTheSamples) {
    const char* folder = std::getenv("MOSAIKON_FUZZ_SEEDS");
    if (!folder) GTEST_SKIP() << "MOSAIKON_FUZZ_SEEDS names no folder";
    int number = 0;
    for (const Bytes& sample : Samples()) {
        test::WriteBytes(std::string(folder) + "/bitmap-" + std::to_string(number++), sample);
    }
}

}  // namespace
}  // namespace mosaikon
