#include "fieldfx/video/clip.h"

#include "fieldfx/fieldio/ycbcr.h"

namespace fieldfx::video {

int defaultMatrix(int frameHeight) { return io::isHighDefinition(frameHeight) ? 1 : 5; }

int effectiveMatrix(const ColourTags& tags, int frameHeight) {
    // 0 (R'G'B') and 2 (unspecified) name no Y'CbCr matrix.
    return tags.matrix == 0 || tags.matrix == 2 ? defaultMatrix(frameHeight) : tags.matrix;
}

int pixelAspectOf(Rational sar) {
    if (sar.num <= 0 || sar.den <= 0) return 1000;
    // 1000 * den / num, rounded half up, in integers.
    const int64_t value = (2000 * int64_t(sar.den) + sar.num) / (2 * int64_t(sar.num));
    return int(value < 1 ? 1 : value > 32767 ? 32767 : value);
}

}  // namespace fieldfx::video
