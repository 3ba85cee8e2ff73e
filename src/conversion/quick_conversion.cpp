#include "conversion/quick_conversion.h"

#include "image/colours.h"
#include "shell/failure.h"

namespace mosaikon {

bool ConvertBitmap(Shell& shell, const Picture& picture, Quads& quads,
                   const ConversionSettings& settings, const ProgressCallback& progress) {
    quads.clear();
    try {
        WriteLog(shell.log, "CONVERT FILE: Starting");
        WriteLog(shell.log, "CONVERT FILE: About to write to raw image data");
        const std::int32_t width = picture.Width();
        const std::int32_t height = picture.Height();

        // Counting the runs first lets the list be allocated once, at its final size.
        std::size_t runs = 0;
        for (std::int32_t y = height; y >= 1; --y) {
            const std::uint8_t* row = picture.Row(y);
            runs += 1;
            for (std::int32_t x = 1; x < width; ++x) runs += row[x] != row[x - 1];
        }
        quads.reserve(runs);

        const ColourLookup colours(picture, settings);
        ReColorReports reports;
        double rowTop = 1;
        for (std::int32_t y = height; y >= 1; --y) {
            const std::uint8_t* row = picture.Row(y);
            double left = 1;
            double right = 2;
            for (std::int32_t x = 1; x <= width; ++x) {
                const std::uint8_t index = row[x - 1];
                const std::int32_t colour =
                    colours.Known(index)
                        ? colours.Code(index)
                        : ReColor(shell, picture.Palette, index, settings.UseLdrawColors, &reports);
                if (x < width && row[x] == index) {
                    right += 1;
                    continue;
                }
                if (!colours.LeftOut(index)) {
                    LdrawQuad& quad = quads.emplace_back();
                    quad.LineType = 4;
                    quad.Color = colour;
                    quad.X1 = left, quad.X2 = right, quad.X3 = right, quad.X4 = left;
                    quad.Y1 = rowTop, quad.Y2 = rowTop, quad.Y3 = rowTop + 1, quad.Y4 = rowTop + 1;
                }
                left = x + 1;
                right = x + 2;
            }
            rowTop += 1;
            // Asked every few rows: at least 4,096 pixels of work between two calls.
            if (progress && (y % 16 == 0 || width >= 4096) &&
                !progress(static_cast<double>(height - y + 1) / height)) {
                throw ConversionStopped{};
            }
        }
        WriteLog(shell.log, "CONVERT FILE: Done");
        return true;
    } catch (const ConversionStopped&) {
        quads.clear();
        return false;
    } catch (...) {
        ReportFailure(shell, "ConvertBitmap", "CONVERT FILE: ERROR CONVERTING BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
