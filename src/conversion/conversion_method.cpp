#include "conversion/conversion_method.h"

namespace mosaikon {

std::uint64_t MemoryNeedPerPixel(ConversionMethod method, PartFormat format) {
    // Peaks measured (bytes a pixel): quick 80, exact 88, full 118; with the sticker layout, which
    // keeps the face's polygons and splits their edges, 254, 254 and 280.
    // The textured form converts a picture of fewer colours and keeps the texture besides: the
    // full conversion's overlapping polygons are traced again, peaking at 525 bytes a pixel.
    if (format == PartFormat::LdrawTexture) return method == ConversionMethod::Full ? 660 : 360;
    const bool sticker = format == PartFormat::LdrawSticker;
    switch (method) {
        case ConversionMethod::Quick:
            return sticker ? 320 : 100;
        case ConversionMethod::Exact:
            return sticker ? 320 : 112;
        case ConversionMethod::Vector:
            return sticker ? 320 : 150;
        case ConversionMethod::Full:
            break;
    }
    return sticker ? 360 : 150;
}

}  // namespace mosaikon
