#include "image/preview_writer.h"

#include <array>
#include <cstdint>
#include <vector>

#include "image/colours.h"
#include "shell/atomic_file.h"
#include "shell/failure.h"

namespace mosaikon {

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// The index that shows the grey: the entry the backdrop search picks (or 255, or a new entry)
// unless a kept pixel is written with it, or it would be one of the primary colours; then a new
// entry, or the highest index no kept pixel uses.
std::size_t ChooseBackgroundIndex(PaletteList& palette, const std::array<bool, 256>& used,
                                  bool primary, std::size_t& appended) {
    PaletteList probe = palette;
    std::size_t choice = static_cast<std::size_t>(FindBackgroundColor(probe));
    bool choiceAppends = false;
    if (choice == 0) {
        if (palette.size() >= 256) {
            choice = 255;
        } else {
            choice = palette.size();
            choiceAppends = true;
        }
    }
    const std::size_t lowest = primary ? 16 : 0;
    if (!used[choice] && choice >= lowest) {
        if (choiceAppends) {
            palette.push_back({});
            ++appended;
        }
        return choice;
    }
    while (palette.size() < lowest) {
        palette.push_back({});
        ++appended;
    }
    if (palette.size() < 256) {
        palette.push_back({});
        ++appended;
        return palette.size() - 1;
    }
    for (std::size_t i = 255; i >= lowest && i < 256; --i) {
        if (!used[i]) return i;
    }
    return choice;
}

}  // namespace

bool CreateBitmap(Shell& shell, const Picture& picture, const std::string& path,
                  const ConversionSettings& settings, PendingFiles* pending) {
    try {
        WriteLog(shell.log, "CREATE BITMAP: Starting");
        WriteLog(shell.log, "CREATE BITMAP: About to open save location for writing");
        AtomicFileWriter file(path);
        const std::int32_t width = picture.Width();
        const std::int32_t height = picture.Height();
        if (width < 1 || height < 1) Fail("No picture is loaded");
        const bool primary = settings.UseLdrawColors;

        // Which pixels are left out, and which bytes the kept ones are written with, is decided
        // on the palette as loaded.
        const ColourLookup colours(picture.Palette, settings);
        ReColorReports reports;
        std::array<bool, 256> used{};
        for (std::int32_t y = 1; y <= height; ++y) {
            for (std::int32_t x = 1; x <= width; ++x) {
                const std::uint8_t index = picture.Pixels(x, y);
                if (!colours.Known(index)) {
                    ReColor(shell, picture.Palette, index, primary, &reports);
                }
                if (!colours.LeftOut(index)) {
                    used[primary ? static_cast<std::size_t>(colours.Code(index)) : index] = true;
                }
            }
        }

        PaletteList palette = picture.Palette;
        std::size_t appended = 0;
        if (primary) {
            while (palette.size() < 16) {
                palette.push_back({});
                ++appended;
            }
        }
        const bool anyLeftOut = settings.IgnoreWhite || settings.IgnoreRgbColor;
        std::size_t background = 0;
        if (anyLeftOut) {
            background = ChooseBackgroundIndex(palette, used, primary, appended);
            palette[background] = kBackdropGrey;
        }

        WriteLog(shell.log, "CREATE BITMAP: About to write header and info");
        const BitmapFileHeader& fileHeader = picture.fileHeader;
        const BitmapInfoHeader& info = picture.infoHeader;
        const std::uint32_t entries = static_cast<std::uint32_t>(palette.size());
        const std::uint32_t stride = (static_cast<std::uint32_t>(width) + 3) & ~3u;
        const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(height);
        const std::uint32_t offBits = 54 + 4 * entries;
        std::uint32_t colorsUsed = entries;
        if (entries == 256 && info.biClrUsed == 0 && appended == 0) colorsUsed = 0;
        const std::uint32_t important = static_cast<std::uint32_t>(info.biClrImportant) <= entries
                                            ? static_cast<std::uint32_t>(info.biClrImportant)
                                            : 0;
        std::vector<std::uint8_t> head;
        head.reserve(54 + 4 * entries);
        head.push_back('B');
        head.push_back('M');
        Put32(head, offBits + imageSize);
        Put16(head, fileHeader.bfReserved1);
        Put16(head, fileHeader.bfReserved2);
        Put32(head, offBits);
        Put32(head, 40);
        Put32(head, static_cast<std::uint32_t>(width));
        Put32(head, static_cast<std::uint32_t>(height));
        Put16(head, 1);
        Put16(head, 8);
        Put32(head, 0);
        Put32(head, imageSize);
        Put32(head, static_cast<std::uint32_t>(info.biXPelsPerMeter));
        Put32(head, static_cast<std::uint32_t>(info.biYPelsPerMeter));
        Put32(head, colorsUsed);
        Put32(head, important);

        WriteLog(shell.log, "CREATE BITMAP: About to write color palette");
        for (std::size_t i = 0; i < palette.size(); ++i) {
            const PaletteEntry& entry = primary && i < 16 && !(anyLeftOut && i == background)
                                            ? PrimaryColors[i]
                                            : palette[i];
            head.insert(head.end(), {entry.Blue, entry.Green, entry.Red, entry.Reserved});
        }
        file.Write(head.data(), head.size());

        WriteLog(shell.log, "CREATE BITMAP: About to put raw image data");
        std::vector<std::uint8_t> row(stride, 0);
        for (std::int32_t y = 1; y <= height; ++y) {
            for (std::int32_t x = 1; x <= width; ++x) {
                const std::uint8_t index = picture.Pixels(x, y);
                std::uint8_t byte =
                    primary ? static_cast<std::uint8_t>(colours.Code(index)) : index;
                if (anyLeftOut && colours.LeftOut(index))
                    byte = static_cast<std::uint8_t>(background);
                row[static_cast<std::size_t>(x - 1)] = byte;
            }
            file.Write(row.data(), row.size());
        }

        WriteLog(shell.log, "CREATE BITMAP: About to close file");
        if (pending) {
            pending->Add(std::move(file));
        } else {
            file.Commit();
        }
        WriteLog(shell.log, "CREATE BITMAP: Done");
        return true;
    } catch (...) {
        ReportFailure(shell, "CreateBitmap", "CREATE BITMAP: ERROR CREATING TEMP BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
