#include "conversion/conversion_method.h"

namespace mosaikon {

std::uint64_t MemoryNeedPerPixel(ConversionMethod method, PartFormat format) {
    // Peaks measured on the worst pictures of 1024 x 1024 (no two neighbouring pixels alike, and
    // noise of four colours with half its pixels left out), in bytes a pixel, reading and writing
    // included: classic quick 80, exact 88, full 118, vector (every region kept) 364; in the
    // library sticker form quick 337, exact 332, full 436, vector 364; textured quick 342, exact
    // 337, full 441, vector 369. The figures have a quarter more.
    const bool textured = format == PartFormat::LdrawTexture;
    if (format == PartFormat::Classic) {
        switch (method) {
            case ConversionMethod::Quick:
                return 100;
            case ConversionMethod::Exact:
                return 112;
            case ConversionMethod::Vector:
                return 455;
            case ConversionMethod::Full:
                break;
        }
        return 150;
    }
    switch (method) {
        case ConversionMethod::Quick:
        case ConversionMethod::Exact:
            return textured ? 430 : 425;
        case ConversionMethod::Vector:
            return textured ? 465 : 455;
        case ConversionMethod::Full:
            break;
    }
    return textured ? 555 : 550;
}

}  // namespace mosaikon
