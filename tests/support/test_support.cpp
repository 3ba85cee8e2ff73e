#include "support/test_support.h"

#include "conversion/exact_conversion.h"
#include "conversion/full_conversion.h"
#include "conversion/quick_conversion.h"
#include "image/bitmap_reader.h"
#include "ldraw/sticker_part.h"
#include "shell/failure.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace mosaikon::test {

namespace {

// No test may read or write the user's own folders: every test program starts with a home and
// XDG folders of its own, removed when it ends.
struct OwnHome {
    OwnHome() {
        if (!::mkdtemp(folder.data())) return;
        ::setenv("HOME", folder.c_str(), 1);
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"})
            ::unsetenv(name);
    }
    ~OwnHome() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string folder = "/tmp/mosaikon-home-XXXXXX";
} ownHome;

// Little-endian fields, each a value and its size in bytes.
void Put(Bytes& out, std::initializer_list<std::pair<std::int64_t, int>> fields) {
    for (const auto& [value, size] : fields) {
        for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

Bytes EncodeBitmap(const BitmapLayout& layout) {
    const int bits = layout.bitCount;
    const std::size_t stride = (layout.width * bits + 31) / 32 * 4;
    Bytes data;
    if (layout.compression != 0) {
        data = layout.rleData;
    } else {
        data.assign(stride * layout.height, 0);
        for (int stored = 0; stored < layout.height; ++stored) {
            // Bottom-up files store the bottom row first.
            const int top = layout.topDown ? stored : layout.height - 1 - stored;
            std::uint8_t* row = data.data() + stride * stored;
            for (int x = 0; x < layout.width; ++x) {
                const std::uint8_t v =
                    layout.pixels.empty() ? 0 : layout.pixels[top * layout.width + x];
                if (bits == 8) {
                    row[x] = v;
                } else if (bits == 4) {
                    row[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? v << 4 : v & 0x0F);
                } else if (bits == 1) {
                    row[x / 8] |= static_cast<std::uint8_t>((v & 1) << (7 - x % 8));
                } else {  // 16, 24, 32 bits: the pixel's value, or v in its first byte
                    const std::uint32_t value =
                        layout.colours.empty() ? v : layout.colours[top * layout.width + x];
                    for (int i = 0; i < bits / 8; ++i)
                        row[x * (bits / 8) + i] = static_cast<std::uint8_t>(value >> (8 * i));
                }
            }
        }
    }
    const bool os2 = layout.infoSize == 12;
    const std::size_t entrySize = os2 ? 3 : 4;
    const std::size_t paletteBytes =
        layout.palette.size() * entrySize + (layout.infoSize == 40 ? 4 * layout.masks.size() : 0);
    const std::int64_t gap = layout.offBitsAdjust > 0 ? layout.offBitsAdjust : 0;
    const std::uint32_t offBits = static_cast<std::uint32_t>(
        14 + layout.infoSize + static_cast<std::int64_t>(paletteBytes) + layout.offBitsAdjust);
    Bytes out = {'B', 'M'};
    const auto size = static_cast<std::int64_t>(14 + layout.infoSize + paletteBytes + data.size());
    Put(out, {{size + gap, 4}, {0, 4}, {offBits, 4}, {layout.infoSize, 4}});
    const int side = os2 ? 2 : 4;  // OS/2 headers hold 16-bit sizes
    Put(out, {{layout.width, side},
              {layout.topDown ? -layout.height : layout.height, side},
              {1, 2},
              {bits, 2}});
    if (!os2) {
        Put(out, {{layout.masks.empty() ? layout.compression : 3, 4},
                  {layout.fillSizeImage ? static_cast<std::int64_t>(data.size()) : 0, 4},
                  {2835, 4},
                  {2835, 4},
                  {static_cast<std::int64_t>(layout.palette.size()), 4},
                  {0, 4}});
        out.resize(out.size() + (layout.infoSize - 40), 0);
        for (std::size_t i = 0; i < layout.masks.size(); ++i) {
            if (layout.infoSize == 40) Put(out, {{layout.masks[i], 4}});
            for (int b = 0; b < 4 && layout.infoSize > 40; ++b)
                out[54 + 4 * i + b] = static_cast<std::uint8_t>(layout.masks[i] >> (8 * b));
        }
    }
    for (const PaletteEntry& e : layout.palette) {
        out.insert(out.end(), {e.Blue, e.Green, e.Red, e.Reserved});
        if (os2) out.pop_back();
    }
    out.resize(out.size() + gap, 0);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<std::uint8_t> PixelsTopDown(const Picture& picture) {
    std::vector<std::uint8_t> out;
    for (int y = picture.Height(); y >= 1; --y) {
        for (int x = 1; x <= picture.Width(); ++x) out.push_back(picture.Pixels(x, y));
    }
    return out;
}

Picture MakePicture(int width, int height, const PaletteList& palette,
                    const std::vector<std::uint8_t>& pixelsTopDown) {
    Picture picture;
    picture.fileHeader.bfType = "BM";
    picture.fileHeader.bfOffBits = static_cast<std::int32_t>(54 + 4 * palette.size());
    picture.infoHeader.biSize = 40;
    picture.infoHeader.biWidth = width;
    picture.infoHeader.biHeight = height;
    picture.infoHeader.biPlanes = 1;
    picture.infoHeader.biBitCount = 8;
    picture.infoHeader.biClrUsed = static_cast<std::int32_t>(palette.size());
    picture.Palette = palette;
    picture.pixelGrid.assign(picture.Index(0, height + 1), 0);
    for (int r = 0; r < height; ++r) {
        for (int x = 0; x < width; ++x) {
            picture.Pixels(x + 1, height - r) = pixelsTopDown[r * width + x];
        }
    }
    return picture;
}

LdrawQuad Quad(std::int32_t color, double x1, double y1, double x2, double y2, double x3, double y3,
               double x4, double y4) {
    LdrawQuad q;
    q.Color = color;
    q.X1 = x1, q.Y1 = y1, q.X2 = x2, q.Y2 = y2, q.X3 = x3, q.Y3 = y3, q.X4 = x4, q.Y4 = y4;
    return q;
}

PaletteList GreyRamp(int count) {
    PaletteList palette;
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint8_t>(count == 1 ? 0 : i * 255 / (count - 1));
        palette.push_back({v, v, v, 0});
    }
    return palette;
}

const PaletteList kTestColours = {{255, 255, 255, 0}, {0, 0, 204, 0},   {187, 51, 0, 0},
                                  {51, 119, 0, 0},    {0, 238, 255, 0}, {250, 252, 250, 0},
                                  {0, 0, 0, 0}};

Picture GeneratePicture(std::mt19937& random, int maxSide) {
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const int width = 1 + pick(maxSide), height = 1 + pick(maxSide);
    const int colours = 2 + pick(5);
    const int kind = pick(9);
    std::vector<std::uint8_t> pixels(width * height);
    const auto at = [&](int x, int y) -> std::uint8_t& { return pixels[y * width + x]; };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int ring = std::min(std::min(x, y), std::min(width - 1 - x, height - 1 - y));
            const int value[] = {pick(colours),
                                 (x + y) % 2,
                                 y / (1 + width % 3),
                                 (x + y) / 2,
                                 x <= y * width / height ? 1 : 0,
                                 (x % 4 == 1 || y % 3 == 1) ? 1 : 0,
                                 ring,
                                 0,
                                 0};
            at(x, y) = static_cast<std::uint8_t>(value[kind] % colours);
        }
    }
    for (int shape = 0; kind >= 7 && shape < 1 + pick(8); ++shape) {
        int x = pick(width), y = pick(height);
        const auto c = static_cast<std::uint8_t>(pick(colours));
        if (kind == 7) {  // a random walk
            for (int step = 0; step < width * height / 2; ++step) {
                at(x, y) = c;
                x = std::clamp(x + pick(3) - 1, 0, width - 1);
                y = std::clamp(y + pick(3) - 1, 0, height - 1);
            }
        } else {  // a rectangle
            const int right = std::min(width - 1, x + pick(6));
            const int bottom = std::min(height - 1, y + pick(6));
            for (int y1 = y; y1 <= bottom; ++y1) {
                for (int x1 = x; x1 <= right; ++x1) at(x1, y1) = c;
            }
        }
    }
    if (pick(3) == 0) {
        for (int i = 0; i < width * height / 10; ++i)
            at(pick(width), pick(height)) = static_cast<std::uint8_t>(pick(colours));
    }
    return MakePicture(width, height,
                       PaletteList(kTestColours.begin(), kTestColours.begin() + colours), pixels);
}

const NamedConversion kConversions[3] = {
    {"quick", [](Shell& s, const Picture& p, Quads& q,
                 const ConversionSettings& c) { return ConvertBitmap(s, p, q, c); }},
    {"full", [](Shell& s, const Picture& p, Quads& q,
                const ConversionSettings& c) { return ConvertToLdraw(s, p, q, c); }},
    {"exact", [](Shell& s, const Picture& p, Quads& q, const ConversionSettings& c) {
         return ConvertExact(s, p, q, c);
     }}};

void KeepAsSeed(const Bytes& bytes) {
    static int kept = 0;
    const char* folder = std::getenv("MOSAIKON_FUZZ_SEEDS");
    if (folder && bytes.size() <= 65536)
        WriteBytes(std::string(folder) + "/bitmap-" + std::to_string(kept++), bytes);
}

Loaded Load(const Bytes& bytes, const std::string& name) {
    KeepAsSeed(bytes);
    Loaded loaded;
    Shell shell;
    shell.messageBox = [&](const std::string& text, MessageKind) { loaded.boxes.push_back(text); };
    double height = 0, width = 0;
    LoadBitmapBytes(shell, loaded.picture, bytes, name, height, width);
    loaded.failed = shell.failuresReported > 0;
    return loaded;
}

Loaded LoadFile(const std::filesystem::path& path) {
    return Load(ReadBytes(path), path.filename().string());
}

void WithFullDisk(std::uint64_t bytes, const std::function<void()>& step) {
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    step();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
}

std::uint64_t PolygonsOfPart(const Picture& picture, const Quads& quads, PartFormat format) {
    if (format == PartFormat::Classic) return quads.size();
    Shell shell;
    const std::vector<FacePolygon> face = BuildStickerFace(quads);
    PartFileCounts counts;
    EmitStickerPart(shell, picture, face, BuildStickerBacking(face), picture.Height(),
                    {"Sticker", "s", "a", "d"}, "s.dat", [](std::string_view) {}, &counts);
    return counts.quadrilaterals + counts.triangles;
}

std::vector<ViewPolygon> PolygonsOfFile(const std::string& text, PartFormat format,
                                        const Picture& picture, double scale,
                                        const std::vector<ViewPolygon>* alignWith) {
    std::vector<ViewPolygon> polygons;
    std::istringstream lines(text);
    std::string line;
    const double w = picture.Width(), h = picture.Height();
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        int type = 0;
        std::string colour;
        if (!(fields >> type >> colour) || (type != 3 && type != 4)) continue;
        ViewPolygon polygon;
        polygon.count = type;
        polygon.Color = colour.rfind("0x", 0) == 0
                            ? static_cast<std::int32_t>(std::stol(colour.substr(2), nullptr, 16))
                            : std::stoi(colour);
        bool face = true;
        for (int i = 0; i < type; ++i) {
            double x = 0, y = 0, z = 0;
            fields >> x >> y >> z;
            const auto k =
                static_cast<std::size_t>(format == PartFormat::Classic ? i : type - 1 - i);
            if (format == PartFormat::Classic) {
                polygon.x[k] = x / scale, polygon.y[k] = y / scale;
            } else {
                face = face && y == -0.25;
                polygon.x[k] = x / scale + 1 + w / 2, polygon.y[k] = -z / scale + 1 + h / 2;
            }
        }
        if (face) polygons.push_back(polygon);
    }
    const auto leastCorner = [](const std::vector<ViewPolygon>& list) {
        double x = 1e300, y = 1e300;
        for (const ViewPolygon& p : list) {
            for (int k = 0; k < p.count; ++k) {
                x = std::min(x, p.x[static_cast<std::size_t>(k)]);
                y = std::min(y, p.y[static_cast<std::size_t>(k)]);
            }
        }
        return std::pair{x, y};
    };
    if (alignWith && format != PartFormat::Classic && !polygons.empty() && !alignWith->empty()) {
        const auto [fx, fy] = leastCorner(polygons);
        const auto [ax, ay] = leastCorner(*alignWith);
        for (ViewPolygon& p : polygons) {
            for (int k = 0; k < p.count; ++k) {
                p.x[static_cast<std::size_t>(k)] += ax - fx;
                p.y[static_cast<std::size_t>(k)] += ay - fy;
            }
        }
    }
    return polygons;
}

std::string FailureOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const Failure& failure) {
        return failure.what();
    }
    return "no failure";
}

bool Succeeds(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TempFolder::TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "mosaikon-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

RecordingShell::RecordingShell() {
    std::filesystem::create_directory(folder.path() / "Settings");
    OpenLog(shell.log, folder.path().string());
    shell.messages.MsgLargeImage = "large";
    shell.messages.MsgPaletteWarning = "palette";
    shell.messageBox = [this](const std::string& text, MessageKind kind) {
        boxes.push_back(text);
        kinds.push_back(kind);
    };
}

std::vector<std::string> RecordingShell::LogLines() {
    return LinesOf(folder.path() / "Settings" / "Log_File.txt");
}

std::vector<std::string> LinesOf(const std::filesystem::path& path) {
    const std::string text = ReadText(path);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const auto end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
}

}  // namespace mosaikon::test
