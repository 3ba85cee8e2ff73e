#include "ldraw/part_file_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "conversion/conversion_method.h"
#include "image/colours.h"
#include "shell/atomic_file.h"
#include "shell/failure.h"
#include "shell/numbers.h"

namespace mosaikon {

namespace {

constexpr std::int32_t kDirectColorLast = kDirectColorBase + 0xFFFFFF;

std::size_t FormatColor(std::int32_t color, char* out) {
    if (color >= kDirectColorBase && color <= kDirectColorLast) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::memcpy(out, "0x2", 3);
        const std::uint32_t rgb = static_cast<std::uint32_t>(color - kDirectColorBase);
        for (int i = 0; i < 6; ++i) out[3 + i] = kHex[(rgb >> (20 - 4 * i)) & 0xF];
        return 9;
    }
    return static_cast<std::size_t>(std::to_chars(out, out + 16, color).ptr - out);
}

// Coordinates are whole or half picture units nearly always, so each scaled value is formatted
// once and then copied; other values are formatted as they come.
class CoordinateTexts {
public:
    CoordinateTexts(double scale, CoordinateDigits digits) : scale_(scale), digits_(digits) {}

    void Append(double coordinate, std::string& out) {
        const double twice = coordinate * 2;
        if (twice >= 0 && twice < kCached && twice == std::floor(twice)) {
            const auto key = static_cast<std::size_t>(twice);
            if (key >= cache_.size()) cache_.resize(key + 1);
            Entry& entry = cache_[key];
            if (entry.length == 0) entry.length = static_cast<std::uint8_t>(Format(coordinate, entry.text));
            out.append(entry.text, entry.length);
            return;
        }
        char text[kNumberTextCapacity];
        out.append(text, Format(coordinate, text));
    }

private:
    std::size_t Format(double coordinate, char* text) const {
        if (digits_ == CoordinateDigits::Full) return FormatNumber(scale_ * coordinate, text);
        const std::string rounded = LduText(scale_ * coordinate);
        const std::size_t length = std::min(rounded.size(), kNumberTextCapacity);
        std::memcpy(text, rounded.data(), length);
        return length;
    }

    static constexpr double kCached = 2.0 * (kMaxPictureSide + 2);
    struct Entry {
        char text[kNumberTextCapacity];
        std::uint8_t length = 0;
    };
    double scale_;
    CoordinateDigits digits_;
    std::vector<Entry> cache_;
};

}  // namespace

std::string LduText(double value) {
    const long long tenThousandths = std::llround(value * 10000);
    if (tenThousandths == 0) return "0";
    const unsigned long long magnitude =
        static_cast<unsigned long long>(std::llabs(tenThousandths));
    std::string text = tenThousandths < 0 ? "-" : "";
    text += std::to_string(magnitude / 10000);
    unsigned long long fraction = magnitude % 10000;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 4 - digits.size(), '0');
        digits.erase(digits.find_last_not_of('0') + 1);
        text += '.' + digits;
    }
    return text;
}

PartFileCounts CountPolygons(const Quads& quads, std::uint64_t bytes) {
    PartFileCounts counts;
    for (const LdrawQuad& quad : quads) ++(quad.LineType == 3 ? counts.triangles : counts.quadrilaterals);
    counts.bytes = bytes;
    return counts;
}

std::string ColorText(std::int32_t color) {
    char text[16];
    return std::string(text, FormatColor(color, text));
}

bool IsSingleLine(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) return false;
        // U+0080..U+009F in UTF-8: C2 80..C2 9F (NEL among them ends a line for some readers).
        if (byte == 0xC2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F) return false;
        }
    }
    return true;
}

bool IsStickerPartFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::string start(4096, '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<std::size_t>(file.gcount()));
    if (start.empty()) return true;
    std::vector<std::string> lines;
    for (std::size_t at = 0; lines.size() < 9;) {
        const std::size_t end = start.find("\r\n", at);
        if (end == std::string::npos) break;
        lines.push_back(start.substr(at, end - at));
        at = end + 2;
    }
    // A multi-part document of the textured form: its part comes first.
    if (!lines.empty() && lines[0].rfind("0 FILE ", 0) == 0) lines.erase(lines.begin());
    const auto begins = [&](std::size_t line, std::string_view text) {
        return line < lines.size() && lines[line].rfind(text, 0) == 0;
    };
    // The library sticker layout: its fixed header lines.
    if (begins(0, "0 Sticker ") && begins(1, "0 Name: ") && begins(2, "0 Author: ") &&
        begins(3, "0 !LDRAW_ORG Unofficial_Part") && begins(6, "0 BFC CERTIFY CCW")) {
        return true;
    }
    // The classic layout: four comment lines, the second the part's name, then quadrilaterals.
    const std::size_t name = lines.size() > 1 ? lines[1].size() : 0;
    return begins(0, "0 ") && begins(1, "0 Name: ") && name >= 4 &&
           lines[1].compare(name - 4, 4, ".dat") == 0 && begins(2, "0 Author: ") &&
           begins(3, "0 ") &&
           (lines.size() == 4 || begins(4, "4 ") || begins(4, "3 "));
}

void CheckSingleLineDetails(const StickerDetails& details) {
    for (const std::string& detail : details) {
        if (!IsSingleLine(detail)) Fail("The sticker details must be single lines of text");
    }
}

void EmitPartFile(Shell& shell, const Picture& picture, const Quads& quads, std::int32_t height,
                  const StickerDetails& details, const TextSink& out, CoordinateDigits digits) {
    if (picture.Height() == 0) Fail(failure::DivisionByZero);
    const double partScale = static_cast<double>(height) / picture.Height();
    std::string text;
    text.reserve(1 << 20);
    text += "0 " + details[0] + "\r\n";
    text += "0 Name: " + details[1] + ".dat\r\n";
    text += "0 Author: " + details[2] + "\r\n";
    text += "0 " + details[3] + "\r\n";
    WriteLog(shell.log, "WRITE PART FILE: About to write to raw image data");
    CoordinateTexts coordinates(partScale, digits);
    char number[16];
    for (const LdrawQuad& quad : quads) {
        text.append(number, static_cast<std::size_t>(
                                std::to_chars(number, number + 16, quad.LineType).ptr - number));
        text += ' ';
        text.append(number, FormatColor(quad.Color, number));
        const double corners[4][2] = {
            {quad.X1, quad.Y1}, {quad.X2, quad.Y2}, {quad.X3, quad.Y3}, {quad.X4, quad.Y4}};
        const int count = quad.LineType == 3 ? 3 : 4;
        for (int i = 0; i < count; ++i) {
            const auto& corner = corners[i];
            text += ' ';
            coordinates.Append(corner[0], text);
            text += ' ';
            coordinates.Append(corner[1], text);
            text += " 0";
        }
        text += "\r\n";
        if (text.size() >= (1 << 20) - 512) {
            out(text);
            text.clear();
        }
    }
    out(text);
}

bool WritePartFile(Shell& shell, const Picture& picture, const Quads& quads,
                   const std::string& path, std::int32_t height, const StickerDetails& details,
                   PendingFiles* pending, PartFileCounts* counts, CoordinateDigits digits) {
    if (picture.Height() == 0) Fail(failure::DivisionByZero);
    try {
        WriteLog(shell.log, "WRITE PART FILE: Starting");
        CheckSingleLineDetails(details);
        CheckRoomFor(path, quads.size() * kLeastBytesPerPolygon);
        WriteLog(shell.log, "WRITE PART FILE: About to create output file");
        AtomicFileWriter file(path);
        WriteLog(shell.log, "WRITE PART FILE: About to write to file");
        EmitPartFile(shell, picture, quads, height, details,
                     [&file](std::string_view text) { file.Write(text); }, digits);
        WriteLog(shell.log, "WRITE PART FILE: About to close file");
        if (counts) *counts = CountPolygons(quads, file.Size());
        CommitOrKeep(file, pending);
        WriteLog(shell.log, "WRITE PART FILE: Done");
        return true;
    } catch (...) {
        ReportFailure(shell, "WritePartFile", "WRITE PART FILE: ERROR CONVERTING BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
