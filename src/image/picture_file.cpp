#include "image/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <webp/decode.h>

#include <algorithm>
#include <cerrno>

#include "image/rgba_picture.h"
#include "shell/failure.h"

namespace mosaikon {

namespace {

// Room for what a picture file may hold besides its pixels: colour profiles, EXIF data with a
// thumbnail, text.
constexpr std::uint64_t kMetadataRoom = 16ull << 20;
// The first bytes, which hold every format's header (a JPEG's frame header may come later).
constexpr std::size_t kStartBytes = 64 << 10;

std::uint32_t Little32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint32_t Big32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
           static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

PictureFileNeed BitmapBytes(std::span<const std::uint8_t> b) {
    if (b.size() < 30) return {};
    const std::uint32_t offBits = Little32(b, 10), infoSize = Little32(b, 14);
    std::uint64_t width = 0, height = 0, bitCount = 0, compression = 0;
    if (infoSize == 12) {
        width = static_cast<std::uint64_t>(b[18] | b[19] << 8);
        height = static_cast<std::uint64_t>(b[20] | b[21] << 8);
        bitCount = static_cast<std::uint64_t>(b[24] | b[25] << 8);
    } else if (infoSize >= 40 && b.size() >= 54) {
        const auto w = static_cast<std::int32_t>(Little32(b, 18));
        const auto h = static_cast<std::int32_t>(Little32(b, 22));
        width = static_cast<std::uint64_t>(std::max(w, 0));
        height = static_cast<std::uint64_t>(h < 0 ? -static_cast<std::int64_t>(h) : h);
        bitCount = static_cast<std::uint64_t>(b[28] | b[29] << 8);
        compression = Little32(b, 30);
    } else {
        return {};
    }
    if (width == 0 || height == 0 || bitCount == 0 || bitCount > 32) return {};
    const std::uint64_t stride = (width * bitCount + 31) / 32 * 4;
    // Run-length data at its longest: a two-byte run for every pixel and an end of every row.
    const bool runLength = compression == 1 || compression == 2;
    const std::uint64_t pixels = runLength ? 2 * width * height + 2 * height + 2 : stride * height;
    const std::uint64_t headers = 14 + std::uint64_t{infoSize} + 16 + 4 * 256;
    return {std::max<std::uint64_t>(offBits, headers) + pixels + kMetadataRoom, width, height,
            runLength};
}

PictureFileNeed PngBytes(std::span<const std::uint8_t> b) {
    if (b.size() < 29 || std::string(b.begin() + 12, b.begin() + 16) != "IHDR") return {};
    const std::uint64_t width = Big32(b, 16), height = Big32(b, 20);
    const std::uint64_t depth = b[24], colourType = b[25];
    const std::uint64_t channels = colourType == 2   ? 3
                                   : colourType == 4 ? 2
                                   : colourType == 6 ? 4
                                                     : 1;
    // Interlacing adds a filter byte to each row of each pass; deflate and small IDAT chunks add
    // little: twice the filtered rows covers them.
    const std::uint64_t rows = (width * channels * depth + 7) / 8 + 1;
    return {2 * (rows * height + 7 * height) + kMetadataRoom, width, height};
}

// A JPEG's segments are walked up to its frame header (SOF), which gives the size.
PictureFileNeed JpegBytes(std::uint64_t fileSize, const ReadAt& readAt) {
    std::uint64_t at = 2;
    while (at < fileSize && at <= kMetadataRoom) {
        const std::vector<std::uint8_t> head = readAt(at, 10);
        if (head.size() < 4 || head[0] != 0xFF) return {};
        const std::uint8_t marker = head[1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (head.size() < 10) return {};
            const std::uint64_t height = static_cast<std::uint64_t>(head[5] << 8 | head[6]);
            const std::uint64_t width = static_cast<std::uint64_t>(head[7] << 8 | head[8]);
            const std::uint64_t components = std::max<std::uint64_t>(head[9], 1);
            // Entropy-coded data at its least compact takes about 3.2 bytes a sample.
            return {at + width * height * components * 8 + kMetadataRoom, width, height};
        }
        at += 2 + static_cast<std::uint64_t>(head[2] << 8 | head[3]);
    }
    return {};
}

PictureFileNeed GifBytes(std::span<const std::uint8_t> b) {
    if (b.size() < 13) return {};
    const std::uint64_t width = static_cast<std::uint64_t>(b[6] | b[7] << 8);
    const std::uint64_t height = static_cast<std::uint64_t>(b[8] | b[9] << 8);
    // Codes of at most 12 bits a pixel, in blocks of 255 bytes.
    return {13 + 768 + 2 * width * height + kMetadataRoom, width, height};
}

PictureFileNeed WebPBytes(std::span<const std::uint8_t> b) {
    int width = 0, height = 0;
    if (!WebPGetInfo(b.data(), b.size(), &width, &height)) return {};
    const auto w = static_cast<std::uint64_t>(width), h = static_cast<std::uint64_t>(height);
    return {w * h * 8 + kMetadataRoom, w, h};
}

}  // namespace

PictureFileNeed MostPictureFileBytes(std::span<const std::uint8_t> start, std::uint64_t fileSize,
                                     const ReadAt& readAt) {
    switch (SniffFormat(start)) {
        case PictureFormat::Bitmap:
            return BitmapBytes(start);
        case PictureFormat::Png:
            return PngBytes(start);
        case PictureFormat::Jpeg:
            return JpegBytes(fileSize, readAt);
        case PictureFormat::Gif:
            return GifBytes(start);
        case PictureFormat::WebP:
            return WebPBytes(start);
        default:
            return {};
    }
}

namespace {

// A picture file open for reading at any position, without blocking on a FIFO or device.
class PictureFile {
public:
    explicit PictureFile(const std::string& path)
        : descriptor_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        if (descriptor_ < 0) FailWithSystemError(errno);
        struct stat status {};
        if (::fstat(descriptor_, &status) != 0) FailWithSystemError(errno);
        if (S_ISDIR(status.st_mode)) FailWithSystemError(EISDIR);
        if (!S_ISREG(status.st_mode)) Fail("Not a regular file");
        size_ = static_cast<std::uint64_t>(status.st_size);
    }
    ~PictureFile() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    std::uint64_t Size() const { return size_; }

    std::vector<std::uint8_t> Read(std::uint64_t position, std::size_t count) const {
        std::vector<std::uint8_t> bytes(count);
        std::size_t got = 0;
        while (got < count) {
            const ssize_t n = ::pread(descriptor_, bytes.data() + got, count - got,
                                      static_cast<off_t>(position + got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) FailWithSystemError(errno);
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

    ReadAt Reader() const {
        return [this](std::uint64_t position, std::size_t count) { return Read(position, count); };
    }

    std::vector<std::uint8_t> Start() const {
        return Read(0, static_cast<std::size_t>(std::min<std::uint64_t>(size_, kStartBytes)));
    }

private:
    int descriptor_;
    std::uint64_t size_ = 0;
};

}  // namespace

PictureFileNeed InspectPictureFile(const std::string& path) {
    try {
        const PictureFile file(path);
        return MostPictureFileBytes(file.Start(), file.Size(), file.Reader());
    } catch (const Failure&) {
        return {};
    }
}

std::vector<std::uint8_t> ReadPictureFile(const std::string& path, const std::string& name,
                                          const DecodeRules& rules) {
    const PictureFile file(path);
    const std::uint64_t fileSize = file.Size();
    std::vector<std::uint8_t> bytes = file.Start();
    const PictureFormat format = SniffFormat(bytes);
    const PictureFileNeed need = MostPictureFileBytes(bytes, fileSize, file.Reader());
    const std::uint64_t most = need.bytes;
    const auto side = static_cast<std::uint64_t>(kMaxPictureSide);
    const bool sized = most > 0 && need.width >= 1 && need.height >= 1 && need.width <= side &&
                       need.height <= side;
    if (sized) {
        DecodeRules checked = rules;
        if (need.compressed) checked.mostPixels = MostPixelsForFile(fileSize, rules.mostPixels);
        CheckPictureSize(need.width, need.height, name, checked);
    }
    std::uint64_t wanted = fileSize;
    if (most > 0 && !sized) {
        // A size the reader refuses from the header alone.
        wanted = std::min<std::uint64_t>(fileSize, kStartBytes);
    } else if (format == PictureFormat::Gif && most > 0) {
        wanted = std::min(fileSize, most);
    } else if (most == 0) {
        // Nothing known of the picture: its first bytes decide the reader's answer, unless the
        // file is larger than any picture's metadata (it cannot be one the reader takes).
        wanted = std::min<std::uint64_t>(
            fileSize, format == PictureFormat::Unknown || format == PictureFormat::Tiff
                          ? kStartBytes
                          : kMetadataRoom);
    } else if (fileSize > most) {
        Fail(name + " is damaged: the file has " + std::to_string(fileSize) +
             " bytes, more than its picture can need (" + std::to_string(most) + ")");
    }
    if (wanted > bytes.size()) {
        const std::vector<std::uint8_t> rest =
            file.Read(bytes.size(), static_cast<std::size_t>(wanted - bytes.size()));
        bytes.insert(bytes.end(), rest.begin(), rest.end());
    }
    return bytes;
}

}  // namespace mosaikon
