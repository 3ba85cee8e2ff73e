#include "ldraw/part_checker.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <system_error>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

namespace mosaikon {

bool KnownLdrawCode(std::int64_t code);  // ldraw_codes.cpp

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLeastAngle = 0.025, kMostAngle = 179.9;       // degrees
constexpr double kBentWarning = 1.0, kBentError = 3.0;          // degrees between halves
constexpr double kSame = 1e-6;     // LDU: coordinates this close are one
constexpr double kOnEdge = 2e-4;   // LDU: a corner this near an edge lies on it (4-decimal text)
constexpr double kFaceY = -0.25;
constexpr std::size_t kLongestLine = 1 << 16;

struct V3 {
    double x = 0, y = 0, z = 0;
    V3 operator-(const V3& b) const { return {x - b.x, y - b.y, z - b.z}; }
    V3 operator+(const V3& b) const { return {x + b.x, y + b.y, z + b.z}; }
    V3 operator*(double s) const { return {x * s, y * s, z * s}; }
    double Dot(const V3& b) const { return x * b.x + y * b.y + z * b.z; }
    V3 Cross(const V3& b) const { return {y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x}; }
    double Length() const { return std::sqrt(Dot(*this)); }
};

double Degrees(const V3& a, const V3& b) {
    return std::atan2(a.Cross(b).Length(), a.Dot(b)) * 180 / kPi;
}

struct CheckedPolygon {
    std::uint64_t line = 0;
    bool backing = false;  // colour 16
    int count = 0;
    std::array<V3, 4> corners{};
    V3 Normal() const {
        V3 n;
        for (int i = 0; i < count; ++i) {
            const V3& a = corners[static_cast<std::size_t>(i)];
            const V3& b = corners[static_cast<std::size_t>((i + 1) % count)];
            n = n + a.Cross(b);
        }
        return n;
    }
};

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::string Text(double value) {
    char text[48];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 4);
    std::string s(text, end.ptr);
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string Point(const V3& p) { return Text(p.x) + " " + Text(p.y) + " " + Text(p.z); }

class Checker {
public:
    explicit Checker(const std::string& fileName) : fileName_(fileName) {}

    CheckReport Run(std::string_view text) {
        std::uint64_t number = 0;
        std::size_t at = 0;
        // In a multi-part document, the first block (0 FILE) is the part; 0 !DATA blocks hold
        // base64 lines only; other blocks are not checked.
        enum class Block { Part, Data, Other } block = Block::Part;
        bool multiPart = false, firstLine = true, anyLine = false;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(at, end - at);
            at = end + 1;
            ++number;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            const std::vector<std::string_view> words = line.size() <= kLongestLine ? Words(line) : std::vector<std::string_view>{};
            anyLine = anyLine || !words.empty() || line.size() > kLongestLine;
            if (words.size() >= 2 && words[0] == "0" && (words[1] == "FILE" || words[1] == "!DATA")) {
                if (firstLine && words[1] == "FILE") {
                    multiPart = true;
                    if (words.size() >= 3) fileName_ = std::string(line.substr(line.find("FILE") + 5));
                    firstLine = false;
                    continue;
                }
                if (multiPart) {
                    EndData();
                    block = words[1] == "!DATA" ? Block::Data : Block::Other;
                    if (block == Block::Other) Add(number, false, "the block " + std::string(words.size() > 2 ? words[2] : "") + " is not checked");
                    if (block == Block::Data) data_ = {number, std::string(words.size() > 2 ? words[2] : ""), {}, false};
                    continue;
                }
            }
            if (!words.empty()) firstLine = false;
            if (block == Block::Data) {
                DataLine(number, line, words);
                continue;
            }
            if (block == Block::Other) continue;
            Line(number, line);
        }
        EndData();
        // (A file that could not be read has said so already.)
        if (!anyLine && report_.errors == 0) Add(0, true, "the file is empty: it holds no line");
        Finish();
        std::stable_sort(report_.findings.begin(), report_.findings.end(),
                         [](const CheckFinding& a, const CheckFinding& b) { return a.line < b.line; });
        report_.polygons = polygons_.size();
        return report_;
    }

    void Add(std::uint64_t line, bool error, std::string text) {
        (error ? report_.errors : report_.warnings) += 1;
        if (report_.findings.size() < kMostListedFindings) {
            report_.findings.push_back({line, error, std::move(text)});
        }
    }

private:
    void Line(std::uint64_t number, std::string_view line) {
        if (line.size() > kLongestLine) {
            Add(number, true, "the line is longer than 65536 characters");
            return;
        }
        for (const char c : line) {
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
                Add(number, true, "the line holds control characters");
                return;
            }
        }
        std::vector<std::string_view> words = Words(line);
        if (words.empty()) return;
        const auto textureGeometry = [&] {
            return words.size() >= 2 && words[0] == "0" && words[1] == "!:";
        };
        bool textured = false;
        if (textureGeometry()) {
            // Geometry that programs showing textures draw: checked, but not one with the rest.
            if (texmap_ != Texmap::Textured) {
                Add(number, true, "a \"0 !:\" line outside a !TEXMAP block's textured part");
            }
            line = line.substr(line.find("!:") + 2);
            words = Words(line);
            textured = true;
            if (textureGeometry()) {
                Add(number, true, "a \"0 !:\" line holds another \"0 !:\" line");
                return;
            }
            if (words.empty()) return;
        }
        const std::string_view type = words[0];
        if (type == "0") {
            if (words.size() >= 2 && words[1] == "!TEXMAP" && !textured) {
                Texture(number, words);
                return;
            }
            if (!textured) Meta(number, line, words);
            return;
        }
        if (type != "1" && type != "2" && type != "3" && type != "4" && type != "5") {
            Add(number, true, "unknown line type \"" + std::string(type.substr(0, 20)) + "\"");
            return;
        }
        seenGeometry_ = true;
        const int kind = type[0] - '0';
        const std::size_t numbers[] = {0, 12, 6, 9, 12, 12};
        const std::size_t wanted = 2 + numbers[kind] + (kind == 1 ? 1 : 0);
        if (words.size() != wanted && !(kind == 1 && words.size() > wanted)) {
            Add(number, true, "a line of type " + std::string(type) + " needs " +
                                  std::to_string(wanted - 1) + " values after its type, not " +
                                  std::to_string(words.size() - 1));
            return;
        }
        if (!Colour(number, words[1], kind)) return;
        std::array<double, 13> values{};
        for (std::size_t i = 0; i < numbers[kind]; ++i) {
            if (!Number(number, words[2 + i], values[i])) return;
        }
        if (kind == 1) {
            Add(number, false, "the subfile " + std::string(words[14 - 1]) + " is not checked");
            if (sticker_) Add(number, true, "a sticker holds no subfiles");
            return;
        }
        if (kind == 2 || kind == 5) {
            if (sticker_) Add(number, true, "a sticker has no edge lines (line types 2 and 5)");
            return;
        }
        CheckedPolygon polygon;
        polygon.line = number;
        polygon.backing = words[1] == "16";
        polygon.count = kind;
        for (int i = 0; i < kind; ++i) {
            polygon.corners[static_cast<std::size_t>(i)] = {values[static_cast<std::size_t>(3 * i)],
                                                           values[static_cast<std::size_t>(3 * i + 1)],
                                                           values[static_cast<std::size_t>(3 * i + 2)]};
        }
        if (Shape(polygon) && !textured) polygons_.push_back(polygon);
    }

    // A line of a !DATA block: "0 !: " and base64 digits.
    void DataLine(std::uint64_t number, std::string_view line, const std::vector<std::string_view>& words) {
        if (line.size() > kLongestLine) {
            Add(number, true, "a !DATA block's line is longer than 65536 characters");
            data_.broken = true;
            return;
        }
        if (words.empty()) return;
        const bool base64 = words.size() == 3 && words[0] == "0" && words[1] == "!:" &&
                            std::all_of(words[2].begin(), words[2].end(), [](char c) {
                                return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=';
                            });
        if (!base64) {
            Add(number, true, "a !DATA block holds only \"0 !: <base64>\" lines");
            data_.broken = true;
            return;
        }
        data_.digits.append(words[2]);
    }

    // The end of a !DATA block: its base64 decoded, and the PNG it holds checked as far as its
    // header and its chunks' lengths go.
    void EndData() {
        if (data_.line == 0) return;
        const DataBlock block = std::move(data_);
        data_ = {};
        if (block.broken) return;
        const std::string name = "the !DATA block " + block.name;
        std::vector<std::uint8_t> bytes;
        if (!DecodeBase64(block.digits, bytes)) {
            Add(block.line, true, name + " is not base64 (RFC 4648): its digits are cut short or padded wrongly");
            return;
        }
        static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        if (bytes.size() < 8 || !std::equal(std::begin(kSignature), std::end(kSignature), bytes.begin())) {
            Add(block.line, true, name + " holds no PNG picture");
            return;
        }
        const auto be32 = [&](std::size_t at) {
            return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
                   std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
        };
        std::size_t at = 8;
        bool first = true, ended = false;
        while (!ended) {
            if (bytes.size() - at < 12) {
                Add(block.line, true, name + "'s PNG is cut short: it ends before its IEND chunk");
                return;
            }
            const std::uint32_t length = be32(at);
            const std::string type(bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                                   bytes.begin() + static_cast<std::ptrdiff_t>(at) + 8);
            if (length > bytes.size() - at - 12) {
                Add(block.line, true, name + "'s PNG is cut short: its " + Printable(type) +
                                          " chunk claims " + std::to_string(length) +
                                          " bytes, more than the block holds");
                return;
            }
            if (first && (type != "IHDR" || length != 13 || be32(at + 8) == 0 || be32(at + 12) == 0)) {
                Add(block.line, true, name + "'s PNG has no valid header (IHDR chunk)");
                return;
            }
            first = false;
            ended = type == "IEND";
            at += 12 + length;
        }
    }

    static bool DecodeBase64(const std::string& digits, std::vector<std::uint8_t>& bytes) {
        if (digits.size() % 4 != 0) return false;
        std::uint32_t bits = 0;
        int count = 0;
        std::size_t padding = 0;
        for (std::size_t i = 0; i < digits.size(); ++i) {
            const char c = digits[i];
            if (c == '=') {
                if (i + 2 < digits.size()) return false;
                ++padding;
                continue;
            }
            if (padding > 0) return false;
            const int value = c >= 'A' && c <= 'Z'   ? c - 'A'
                              : c >= 'a' && c <= 'z' ? c - 'a' + 26
                              : c >= '0' && c <= '9' ? c - '0' + 52
                              : c == '+'             ? 62
                                                     : 63;
            bits = bits << 6 | static_cast<std::uint32_t>(value);
            if ((count += 6) >= 8) bytes.push_back(static_cast<std::uint8_t>(bits >> (count -= 8)));
        }
        return true;
    }

    // A chunk type as it can be shown: its letters, or hexadecimal.
    static std::string Printable(const std::string& type) {
        if (std::all_of(type.begin(), type.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; })) return type;
        std::string hex = "0x";
        for (const char c : type) {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            hex += kDigits[static_cast<unsigned char>(c) >> 4];
            hex += kDigits[static_cast<unsigned char>(c) & 15];
        }
        return hex;
    }

    void Texture(std::uint64_t number, const std::vector<std::string_view>& words) {
        const std::string_view command = words.size() >= 3 ? words[2] : std::string_view();
        if (command == "START" || command == "NEXT") {
            if (texmap_ != Texmap::None) Add(number, true, "a !TEXMAP block starts inside another");
            if (words.size() != 14 || words[3] != "PLANAR") {
                Add(number, true, "a planar !TEXMAP START needs PLANAR, three points and the PNG's name");
            } else {
                double value = 0;
                for (std::size_t i = 4; i < 13; ++i) Number(number, words[i], value);
            }
            texmap_ = Texmap::Textured;
        } else if (command == "FALLBACK") {
            if (texmap_ != Texmap::Textured) Add(number, true, "!TEXMAP FALLBACK without a START");
            texmap_ = Texmap::Fallback;
        } else if (command == "END") {
            if (texmap_ == Texmap::None) Add(number, true, "!TEXMAP END without a START");
            texmap_ = Texmap::None;
        } else {
            Add(number, true, "unknown !TEXMAP command");
        }
    }

    void Meta(std::uint64_t number, std::string_view line, const std::vector<std::string_view>& words) {
        if (seenGeometry_) {
            if (words.size() >= 2 && words[1] == "BFC" && line.find("CERTIFY") != std::string_view::npos) {
                Add(number, true, "BFC CERTIFY comes after the first polygon");
            }
            return;
        }
        header_.push_back({number, std::string(line)});
        if (line.find("BFC CERTIFY CCW") != std::string_view::npos) certified_ = true;
        // The library's sticker parts are described "Sticker W x D ..."; a part of the program's
        // own classic layout has no library header at all.
        if (header_.size() == 1) stickerTitle_ = words.size() >= 2 && words[1] == "Sticker";
        if (words.size() >= 2 && (words[1] == "!LDRAW_ORG" || words[1] == "!LICENSE" || words[1] == "BFC")) {
            library_ = true;
        }
        sticker_ = library_ && stickerTitle_;
    }

    bool Colour(std::uint64_t number, std::string_view word, int kind) {
        if (word.size() == 9 && (word.substr(0, 3) == "0x2" || word.substr(0, 3) == "0X2")) {
            const bool hex = std::all_of(word.begin() + 3, word.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) != 0;
            });
            if (hex) return true;
        }
        std::int64_t code = -1;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), code);
        if (error != std::errc{} || end != word.data() + word.size() || code < 0) {
            Add(number, true, "the colour \"" + std::string(word.substr(0, 20)) +
                                  "\" is neither a colour code nor a direct colour 0x2RRGGBB");
            return false;
        }
        if (!KnownLdrawCode(code)) {
            Add(number, true, "the colour code " + std::to_string(code) +
                                  " is not defined in LDraw's colour definitions (LDConfig.ldr)");
        } else if (code == 24 && (kind == 3 || kind == 4)) {
            Add(number, true, "colour 24 (the edge colour) is for lines, not polygons");
        } else if (code == 24 && sticker_) {
            Add(number, true, "a sticker does not use colour 24");
        }
        return true;
    }

    bool Number(std::uint64_t number, std::string_view word, double& value) {
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value,
                                                  std::chars_format::fixed);
        const bool plain = std::all_of(word.begin(), word.end(), [](char c) {
            return (c >= '0' && c <= '9') || c == '.' || c == '-';
        });
        if (error != std::errc{} || end != word.data() + word.size() || !std::isfinite(value) ||
            !plain || std::fabs(value) > 1e9) {
            Add(number, true, "\"" + std::string(word.substr(0, 30)) + "\" is not a number");
            return false;
        }
        const std::size_t point = word.find('.');
        if (point != std::string_view::npos) {
            const std::size_t decimals = word.size() - point - 1;
            if (decimals > 4) {
                Add(number, true, std::string(word) + " has more than 4 decimals");
            } else if (decimals == 0 || word.back() == '0') {
                Add(number, false, std::string(word) + " ends in a needless zero or point");
            }
        }
        const std::string_view digits = word.substr(word[0] == '-' ? 1 : 0);
        if (digits.size() > 1 && digits[0] == '0' && digits[1] != '.') {
            Add(number, false, std::string(word) + " has a needless leading zero");
        } else if (word[0] == '-' && value == 0) {
            Add(number, false, std::string(word) + " is written with a minus sign");
        }
        return true;
    }

    // The polygon's own rules; whether it is kept for the rules between polygons.
    bool Shape(const CheckedPolygon& p) {
        const int n = p.count;
        for (int i = 0; i < n; ++i) {
            for (int j = i + 1; j < n; ++j) {
                if ((p.corners[static_cast<std::size_t>(i)] - p.corners[static_cast<std::size_t>(j)]).Length() < kSame) {
                    Add(p.line, true, "corners " + std::to_string(i + 1) + " and " +
                                          std::to_string(j + 1) + " are the same point");
                    return false;
                }
            }
        }
        const V3 normal = p.Normal();
        if (n == 4) {
            const auto& c = p.corners;
            const double bent = std::max(Degrees((c[1] - c[0]).Cross(c[2] - c[0]), (c[2] - c[0]).Cross(c[3] - c[0])),
                                         Degrees((c[2] - c[1]).Cross(c[3] - c[1]), (c[3] - c[1]).Cross(c[0] - c[1])));
            if (bent > kBentError) {
                Add(p.line, true, "the quadrilateral is not flat: its halves meet at " + Text(bent) + " degrees");
            } else if (bent > kBentWarning) {
                Add(p.line, false, "the quadrilateral is not quite flat: its halves meet at " + Text(bent) + " degrees");
            }
            for (int i = 0; i < n; ++i) {
                const V3 turn = (c[static_cast<std::size_t>((i + 1) % n)] - c[static_cast<std::size_t>(i)])
                                    .Cross(c[static_cast<std::size_t>((i + 2) % n)] - c[static_cast<std::size_t>((i + 1) % n)]);
                if (turn.Dot(normal) <= 0) {
                    Add(p.line, true, "the quadrilateral is concave or crossed (a bow tie)");
                    return false;
                }
            }
        }
        for (int i = 0; i < n; ++i) {
            const V3& corner = p.corners[static_cast<std::size_t>(i)];
            const V3 a = p.corners[static_cast<std::size_t>((i + n - 1) % n)] - corner;
            const V3 b = p.corners[static_cast<std::size_t>((i + 1) % n)] - corner;
            const double angle = Degrees(a, b);
            if (angle < kLeastAngle) {
                Add(p.line, true, "the angle at corner " + std::to_string(i + 1) + " is " +
                                      Text(angle) + " degrees, below 0.025");
                return false;
            }
            if (angle > kMostAngle) {
                Add(p.line, true, "the angle at corner " + std::to_string(i + 1) + " is " +
                                      Text(angle) + " degrees, above 179.9");
                return false;
            }
        }
        return true;
    }

    void Finish() {
        if (texmap_ != Texmap::None) Add(0, true, "a !TEXMAP block has no END");
        if (library_) Header();
        TJunctions();
        if (sticker_) Sticker();
    }

    void Header() {
        const auto line = [&](std::size_t i) { return i < header_.size() ? header_[i].number : 0; };
        const auto text = [&](std::size_t i) { return i < header_.size() ? header_[i].text : std::string(); };
        const auto startsWith = [](const std::string& s, std::string_view lead) { return s.rfind(lead, 0) == 0; };
        if (header_.empty() || startsWith(text(0), "0 Name:") || startsWith(text(0), "0 !")) {
            Add(line(0), true, "the first line must be the part's description");
        }
        if (!startsWith(text(1), "0 Name: ")) {
            Add(line(1), true, "the second header line must be \"0 Name: <file name>\"");
        } else {
            const std::string name = text(1).substr(8);
            if (name.size() < 5 || name.substr(name.size() - 4) != ".dat") {
                Add(line(1), true, "the part's name must end in .dat");
            } else if (!fileName_.empty() && name != fileName_) {
                Add(line(1), true, "the Name line says " + name + ", the file is " + fileName_);
            }
        }
        if (!startsWith(text(2), "0 Author: ")) {
            Add(line(2), true, "the third header line must be \"0 Author: Real Name [username]\"");
        } else {
            const std::string author = text(2).substr(10);
            const std::size_t open = author.rfind(" [");
            const bool named = open != std::string::npos && open > 0 && author.back() == ']' &&
                               author.size() > open + 3 &&
                               author.find_first_of(" []", open + 2) == author.size() - 1;
            if (!named) {
                Add(line(2), false, "the author \"" + author +
                                        "\" is not in the library's form Real Name [username]");
            }
        }
        if (!startsWith(text(3), "0 !LDRAW_ORG ")) {
            Add(line(3), true, "the fourth header line must be \"0 !LDRAW_ORG <type>\"");
        }
        if (!startsWith(text(4), "0 !LICENSE ")) {
            Add(line(4), true, "the fifth header line must be \"0 !LICENSE ...\"");
        }
        if (!certified_) Add(0, true, "no \"0 BFC CERTIFY CCW\" before the first polygon");
    }

    // A corner strictly inside another polygon's edge: the two do not meet corner to corner.
    // Corners are kept in a grid of cells; each edge looks at the cells along it. The cells are
    // the size of the usual edge, but never so small that the edges together pass more cells
    // than a few for each edge: the search takes time and memory in proportion to the polygons,
    // whatever their sizes.
    void TJunctions() {
        if (polygons_.empty()) return;
        std::vector<double> lengths;
        double total = 0;
        std::size_t edges = 0;
        for (std::size_t i = 0; i < polygons_.size(); ++i) {
            const CheckedPolygon& p = polygons_[i];
            for (int k = 0; k < p.count; ++k) {
                const double length = (p.corners[static_cast<std::size_t>((k + 1) % p.count)] -
                                       p.corners[static_cast<std::size_t>(k)]).Length();
                total += length;
                ++edges;
                if (k == 0 && i % std::max<std::size_t>(1, polygons_.size() / 4096) == 0) lengths.push_back(length);
            }
        }
        std::nth_element(lengths.begin(), lengths.begin() + static_cast<std::ptrdiff_t>(lengths.size() / 2), lengths.end());
        cell_ = std::max({lengths[lengths.size() / 2], total / (4.0 * static_cast<double>(edges)), 1e-3});
        std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> grid;
        std::vector<V3> corners;
        std::vector<std::uint64_t> cornerLine;
        {
            std::unordered_set<std::uint64_t> seen;
            for (const CheckedPolygon& p : polygons_) {
                for (int i = 0; i < p.count; ++i) {
                    const V3& c = p.corners[static_cast<std::size_t>(i)];
                    const std::uint64_t key = Key(std::llround(c.x * 1e4), std::llround(c.y * 1e4), std::llround(c.z * 1e4));
                    if (!seen.insert(key).second) continue;
                    grid[CellKey(c)].push_back(static_cast<std::uint32_t>(corners.size()));
                    corners.push_back(c);
                    cornerLine.push_back(p.line);
                }
            }
        }
        const auto visit = [&](const CheckedPolygon& p, const V3& a, const V3& b, std::int64_t cx, std::int64_t cy, std::int64_t cz) {
            const auto found = grid.find(Key(cx, cy, cz));
            if (found == grid.end()) return;
            const V3 ab = b - a;
            const double length2 = ab.Dot(ab);
            for (const std::uint32_t index : found->second) {
                const V3& c = corners[index];
                const double t = (c - a).Dot(ab) / length2;
                if (t <= 0 || t >= 1) continue;
                if ((c - a).Length() < kOnEdge || (c - b).Length() < kOnEdge) continue;
                if ((c - (a + ab * t)).Length() >= kOnEdge) continue;
                Add(p.line, true, "the corner " + Point(c) + " of line " + std::to_string(cornerLine[index]) +
                                      " lies on this polygon's edge (a T-junction)");
            }
        };
        // The cells last looked at along a long edge, so that neighbouring steps do not look
        // again.
        std::array<std::uint64_t, 64> recent{};
        std::size_t recentCount = 0;
        // Every corner on every edge is one finding.
        for (const CheckedPolygon& p : polygons_) {
            for (int i = 0; i < p.count; ++i) {
                const V3& a = p.corners[static_cast<std::size_t>(i)];
                const V3& b = p.corners[static_cast<std::size_t>((i + 1) % p.count)];
                const std::int64_t x0 = Cell(std::min(a.x, b.x) - kOnEdge), x1 = Cell(std::max(a.x, b.x) + kOnEdge);
                const std::int64_t y0 = Cell(std::min(a.y, b.y) - kOnEdge), y1 = Cell(std::max(a.y, b.y) + kOnEdge);
                const std::int64_t z0 = Cell(std::min(a.z, b.z) - kOnEdge), z1 = Cell(std::max(a.z, b.z) + kOnEdge);
                if ((x1 - x0 + 1) * (y1 - y0 + 1) * (z1 - z0 + 1) <= 64) {
                    for (std::int64_t x = x0; x <= x1; ++x)
                        for (std::int64_t y = y0; y <= y1; ++y)
                            for (std::int64_t z = z0; z <= z1; ++z) visit(p, a, b, x, y, z);
                    continue;
                }
                // A long edge: the cells around points along it, a cell apart.
                const double steps = std::ceil((b - a).Length() / cell_);
                recentCount = 0;
                for (double s = 0; s <= steps; ++s) {
                    const V3 q = a + (b - a) * (s / steps);
                    for (int dx = -1; dx <= 1; ++dx)
                        for (int dy = -1; dy <= 1; ++dy)
                            for (int dz = -1; dz <= 1; ++dz) {
                                const std::int64_t x = Cell(q.x) + dx, y = Cell(q.y) + dy, z = Cell(q.z) + dz;
                                const std::uint64_t key = Key(x, y, z);
                                const auto end = recent.begin() + static_cast<std::ptrdiff_t>(std::min(recentCount, recent.size()));
                                if (std::find(recent.begin(), end, key) != end) continue;
                                recent[recentCount++ % recent.size()] = key;
                                visit(p, a, b, x, y, z);
                            }
                }
            }
        }
    }

    void Sticker() {
        double left = 0, right = 0, near = 0, far = 0, faceArea = 0, bottomArea = 0;
        bool first = true, sides = false;
        std::vector<std::pair<std::array<std::int64_t, 4>, std::uint64_t>> faceEdges;
        std::unordered_set<std::uint64_t> sideTops;
        std::size_t bad = 0;
        for (const CheckedPolygon& p : polygons_) {
            bool atFace = true, atBottom = true;
            for (int i = 0; i < p.count; ++i) {
                const V3& c = p.corners[static_cast<std::size_t>(i)];
                if (first) left = right = c.x, near = far = c.z, first = false;
                left = std::min(left, c.x), right = std::max(right, c.x);
                near = std::min(near, c.z), far = std::max(far, c.z);
                atFace = atFace && std::fabs(c.y - kFaceY) < kSame;
                atBottom = atBottom && std::fabs(c.y) < kSame;
                if ((c.y < kFaceY - kSame || c.y > kSame) && bad++ < 20) {
                    Add(p.line, true, "the corner " + Point(c) + " lies outside the sticker's 0.25 LDU between Y = -0.25 and Y = 0");
                }
            }
            const V3 normal = p.Normal();
            const double area = normal.Length() / 2;
            if (!p.backing && !atFace && bad++ < 20) {
                Add(p.line, true, "a polygon of the picture lies off the face at Y = -0.25");
            }
            if (atFace) {
                if (normal.y >= 0 && bad++ < 20) Add(p.line, true, "a polygon of the face faces down");
                faceArea += area;
                for (int i = 0; i < p.count; ++i) {
                    const V3& a = p.corners[static_cast<std::size_t>(i)];
                    const V3& b = p.corners[static_cast<std::size_t>((i + 1) % p.count)];
                    faceEdges.push_back({{std::llround(a.x * 1e4), std::llround(a.z * 1e4), std::llround(b.x * 1e4), std::llround(b.z * 1e4)}, p.line});
                }
            } else if (atBottom) {
                if (normal.y <= 0) {
                    if (bad++ < 20) Add(p.line, true, "the polygon faces up at Y = 0, where the sticker meets the surface it lies on");
                } else {
                    bottomArea += area;
                }
            } else if (p.backing) {
                sides = true;
                // A side's top edge: its two corners at the face.
                for (int i = 0; i < p.count; ++i) {
                    const V3& a = p.corners[static_cast<std::size_t>(i)];
                    const V3& b = p.corners[static_cast<std::size_t>((i + 1) % p.count)];
                    if (std::fabs(a.y - kFaceY) < kSame && std::fabs(b.y - kFaceY) < kSame) {
                        sideTops.insert(EdgeKey(std::llround(a.x * 1e4), std::llround(a.z * 1e4), std::llround(b.x * 1e4), std::llround(b.z * 1e4)));
                        sideTops.insert(EdgeKey(std::llround(b.x * 1e4), std::llround(b.z * 1e4), std::llround(a.x * 1e4), std::llround(a.z * 1e4)));
                    }
                }
            }
        }
        if (first) {
            Add(0, true, "the sticker has no polygons");
            return;
        }
        if (std::fabs(left + right) > kOnEdge || std::fabs(near + far) > kOnEdge) {
            Add(0, true, "the sticker is not centred on the origin: its middle is at X " +
                             Text((left + right) / 2) + ", Z " + Text((near + far) / 2));
        }
        if (std::fabs(faceArea - bottomArea) > 1e-3 * faceArea + 1e-6) {
            Add(0, true, "the backing's bottom (" + Text(bottomArea) +
                             " square LDU at Y = 0, facing down) does not cover the face (" +
                             Text(faceArea) + " square LDU)");
        }
        if (!sides) {
            Add(0, true, "the backing has no sides");
            return;
        }
        // Every outer edge of the face (no other face polygon has it) has a side beneath it.
        std::unordered_set<std::uint64_t> edges;
        for (const auto& [e, line] : faceEdges) edges.insert(EdgeKey(e[0], e[1], e[2], e[3]));
        std::size_t open = 0;
        for (const auto& [e, line] : faceEdges) {
            if (edges.count(EdgeKey(e[2], e[3], e[0], e[1]))) continue;
            if (sideTops.count(EdgeKey(e[0], e[1], e[2], e[3]))) continue;
            if (open++ < 20) Add(line, true, "an outer edge of the face has no side of the backing beneath it");
        }
    }

    std::int64_t Cell(double v) const { return static_cast<std::int64_t>(std::floor(v / cell_)); }
    std::uint64_t CellKey(const V3& c) const { return Key(Cell(c.x), Cell(c.y), Cell(c.z)); }
    static std::uint64_t Key(std::int64_t x, std::int64_t y, std::int64_t z) {
        std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull;
        h ^= static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
        h ^= static_cast<std::uint64_t>(z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
        return h;
    }
    static std::uint64_t EdgeKey(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
        return Key(a, b, Key(c, d, 1) & 0x7FFFFFFFFFFFFFFF);
    }

    struct HeaderLine {
        std::uint64_t number;
        std::string text;
    };
    std::string fileName_;
    CheckReport report_;
    std::vector<HeaderLine> header_;
    std::vector<CheckedPolygon> polygons_;
    enum class Texmap { None, Textured, Fallback } texmap_ = Texmap::None;
    bool seenGeometry_ = false, library_ = false, sticker_ = false, stickerTitle_ = false,
         certified_ = false;
    struct DataBlock {
        std::uint64_t line = 0;
        std::string name, digits;
        bool broken = false;
    } data_;
    double cell_ = 1;
};

}  // namespace

CheckReport CheckPartText(std::string_view text, const std::string& fileName) {
    return Checker(fileName).Run(text);
}

CheckReport CheckPartFile(const std::string& path) {
    Checker failed("");
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || std::filesystem::is_directory(path)) {
        failed.Add(0, true, "the file cannot be read");
        return failed.Run("");
    }
    if (size > kMostCheckedBytes) {
        failed.Add(0, true, "the file is larger than 256 MB: no part file is that large");
        return failed.Run("");
    }
    std::ifstream file(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!file.read(text.data(), static_cast<std::streamsize>(size))) {
        failed.Add(0, true, "the file cannot be read");
        return failed.Run("");
    }
    return CheckPartText(text, std::filesystem::path(path).filename().string());
}

std::string FindingLine(const CheckFinding& finding) {
    std::string line = finding.line > 0 ? "line " + std::to_string(finding.line) + ": " : "";
    return line + (finding.error ? "error: " : "warning: ") + finding.text;
}

}  // namespace mosaikon
