// What the window shows of a part file before it is written: the same polygons, counts and size
// as the file the writers then write, for every conversion and both layouts.

#include "ldraw/part_preview.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "ldraw/sticker_part.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

TEST(PartPreview, ShowsThePolygonsCountsAndSizeTheWriterWrites) {
    std::mt19937 random(77);
    test::TempFolder folder;
    for (int i = 0; i < 12; ++i) {
        const Picture picture = test::GeneratePicture(random, 30);
        const ConversionSettings settings{.IgnoreWhite = i % 3 == 0, .WhiteTolerance = 20};
        const auto& conversion = test::kConversions[i % 3];
        const PartFormat format = i % 2 ? PartFormat::LdrawSticker : PartFormat::Classic;
        const std::int32_t height = 7 + i;
        const StickerDetails details = {"Sticker: s1", "s1", "Ann", "Unofficial Model"};
        Shell shell;
        Quads quads;
        ASSERT_TRUE(conversion.convert(shell, picture, quads, settings));
        const PartPreview preview =
            PreviewPartFile(shell, picture, quads, format, height, details, "s1.dat");
        const std::string path = folder / "s1.dat";
        PartFileCounts written;
        ASSERT_TRUE(format == PartFormat::Classic
                        ? WritePartFile(shell, picture, quads, path, height, details, nullptr,
                                        &written)
                        : WriteStickerPart(shell, picture, quads, path, height, details, nullptr,
                                           &written));
        SCOPED_TRACE(conversion.name + (format == PartFormat::Classic ? " classic" : " sticker"));
        EXPECT_EQ(preview.counts.quadrilaterals, written.quadrilaterals);
        EXPECT_EQ(preview.counts.triangles, written.triangles);
        EXPECT_EQ(preview.counts.bytes, written.bytes);
        EXPECT_EQ(preview.counts.bytes, std::filesystem::file_size(path));
        const double scale = static_cast<double>(height) / picture.Height();
        const std::vector<ViewPolygon> file =
            test::PolygonsOfFile(test::ReadText(path), format, picture, scale, &preview.polygons);
        ASSERT_EQ(file.size(), preview.polygons.size());
        for (std::size_t p = 0; p < file.size(); ++p) {
            ASSERT_EQ(file[p].Color, preview.polygons[p].Color) << p;
            ASSERT_EQ(file[p].count, preview.polygons[p].count) << p;
            for (std::size_t k = 0; k < static_cast<std::size_t>(file[p].count); ++k) {
                // The file's numbers carry 4 decimals (15 digits in the classic layout).
                EXPECT_NEAR(file[p].x[k], preview.polygons[p].x[k], 0.0001 / scale) << p;
                EXPECT_NEAR(file[p].y[k], preview.polygons[p].y[k], 0.0001 / scale) << p;
            }
        }
    }
}

}  // namespace
}  // namespace mosaikon
