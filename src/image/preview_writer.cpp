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

// Which palette indices the kept pixels are written with; recolouring reports go out once.
std::array<bool, 256> UsedIndices(Shell& shell, const Picture& picture, const ColourLookup& colours,
                                  bool primary) {
    ReColorReports reports;
    std::array<bool, 256> used{};
    for (std::int32_t y = 1; y <= picture.Height(); ++y) {
        for (std::int32_t x = 1; x <= picture.Width(); ++x) {
            const std::uint8_t index = picture.Pixels(x, y);
            if (!colours.Known(index)) ReColor(shell, picture.Palette, index, primary, &reports);
            if (!colours.LeftOut(index)) {
                used[primary ? static_cast<std::size_t>(colours.Code(index)) : index] = true;
            }
        }
    }
    return used;
}

// The preview's palette: the picture's own, the primary colours over its first 16 entries, and
// the backdrop grey at the background index where pixels are left out.
struct PreviewPalette {
    PaletteList entries;
    std::size_t appended = 0;
    std::size_t background = 0;
    bool anyLeftOut = false;
};

PreviewPalette MakePreviewPalette(const Picture& picture, const ConversionSettings& settings,
                                  const std::array<bool, 256>& used) {
    const bool primary = settings.UseLdrawColors;
    PreviewPalette result{picture.Palette};
    if (primary) {
        while (result.entries.size() < 16) {
            result.entries.push_back({});
            ++result.appended;
        }
    }
    result.anyLeftOut =
        settings.IgnoreWhite || settings.IgnoreRgbColor || picture.TransparentIndex >= 0;
    if (result.anyLeftOut) {
        result.background = ChooseBackgroundIndex(result.entries, used, primary, result.appended);
        result.entries[result.background] = kBackdropGrey;
    }
    for (std::size_t i = 0; primary && i < 16; ++i) {
        if (!(result.anyLeftOut && i == result.background)) result.entries[i] = PrimaryColors[i];
    }
    return result;
}

// The file and info headers (40 bytes, 8 bits, uncompressed) and the palette.
std::vector<std::uint8_t> PreviewHead(const Picture& picture, const PreviewPalette& palette) {
    const BitmapInfoHeader& info = picture.infoHeader;
    const std::uint32_t entries = static_cast<std::uint32_t>(palette.entries.size());
    const std::uint32_t stride = (static_cast<std::uint32_t>(picture.Width()) + 3) & ~3u;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(picture.Height());
    const std::uint32_t offBits = 54 + 4 * entries;
    std::uint32_t colorsUsed = entries;
    if (entries == 256 && info.biClrUsed == 0 && palette.appended == 0) colorsUsed = 0;
    const std::uint32_t important = static_cast<std::uint32_t>(info.biClrImportant) <= entries
                                        ? static_cast<std::uint32_t>(info.biClrImportant)
                                        : 0;
    std::vector<std::uint8_t> head;
    head.reserve(54 + 4 * entries);
    head.push_back('B');
    head.push_back('M');
    Put32(head, offBits + imageSize);
    Put16(head, picture.fileHeader.bfReserved1);
    Put16(head, picture.fileHeader.bfReserved2);
    Put32(head, offBits);
    Put32(head, 40);
    Put32(head, static_cast<std::uint32_t>(picture.Width()));
    Put32(head, static_cast<std::uint32_t>(picture.Height()));
    Put16(head, 1);
    Put16(head, 8);
    Put32(head, 0);
    Put32(head, imageSize);
    Put32(head, static_cast<std::uint32_t>(info.biXPelsPerMeter));
    Put32(head, static_cast<std::uint32_t>(info.biYPelsPerMeter));
    Put32(head, colorsUsed);
    Put32(head, important);
    for (const PaletteEntry& entry : palette.entries) {
        head.insert(head.end(), {entry.Blue, entry.Green, entry.Red, entry.Reserved});
    }
    return head;
}

}  // namespace

bool CreateBitmap(Shell& shell, const Picture& picture, const std::string& path,
                  const ConversionSettings& settings, PendingFiles* pending, bool followLinks) {
    try {
        WriteLog(shell.log, "CREATE BITMAP: Starting");
        WriteLog(shell.log, "CREATE BITMAP: About to open save location for writing");
        AtomicFileWriter file(path, followLinks);
        if (picture.Width() < 1 || picture.Height() < 1) Fail("No picture is loaded");
        const bool primary = settings.UseLdrawColors;
        // Which pixels are left out, and which bytes the kept ones are written with, is decided
        // on the palette as loaded.
        const ColourLookup colours(picture, settings);
        const PreviewPalette palette =
            MakePreviewPalette(picture, settings, UsedIndices(shell, picture, colours, primary));
        // An 8-bit bitmap holds 256 palette entries at most; more would make a file that other
        // programs refuse.
        if (palette.entries.size() > 256) {
            Fail("The picture has " + std::to_string(palette.entries.size()) +
                 " colours; a preview bitmap holds 256 at most");
        }

        WriteLog(shell.log, "CREATE BITMAP: About to write header and info");
        const std::vector<std::uint8_t> head = PreviewHead(picture, palette);
        WriteLog(shell.log, "CREATE BITMAP: About to write color palette");
        file.Write(head.data(), head.size());

        WriteLog(shell.log, "CREATE BITMAP: About to put raw image data");
        std::vector<std::uint8_t> row((static_cast<std::size_t>(picture.Width()) + 3) & ~3u, 0);
        for (std::int32_t y = 1; y <= picture.Height(); ++y) {
            for (std::int32_t x = 1; x <= picture.Width(); ++x) {
                const std::uint8_t index = picture.Pixels(x, y);
                std::uint8_t byte =
                    primary ? static_cast<std::uint8_t>(colours.Code(index)) : index;
                if (palette.anyLeftOut && colours.LeftOut(index))
                    byte = static_cast<std::uint8_t>(palette.background);
                row[static_cast<std::size_t>(x - 1)] = byte;
            }
            file.Write(row.data(), row.size());
        }

        WriteLog(shell.log, "CREATE BITMAP: About to close file");
        CommitOrKeep(file, pending);
        WriteLog(shell.log, "CREATE BITMAP: Done");
        return true;
    } catch (...) {
        ReportFailure(shell, "CreateBitmap", "CREATE BITMAP: ERROR CREATING TEMP BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
