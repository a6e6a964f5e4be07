// What the video library knows about a clip: its frame geometry, timing,
// field order, pixel shape and colour tags, and the frames it delivers as
// pairs of fields of 4-byte pixels (opacity, Cb, Cr, luma; limited-range
// Y'CbCr in the clip's own matrix).
#ifndef FIELDFX_VIDEO_CLIP_H
#define FIELDFX_VIDEO_CLIP_H

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>

#include "fieldfx/fieldio/field.h"
#include "fieldfx/fieldio/frames.h"
#include "fieldfx/fieldio/scan.h"

namespace fieldfx::video {

using io::Field;

// A failure of the video library; the message names the file and the fault.
class VideoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Rational {
    int num = 0;
    int den = 1;
    double value() const { return den == 0 ? 0.0 : double(num) / den; }
};

// How the two fields of a frame follow each other in time (fieldio/scan.h).
using io::Scan;
using io::scanName;

// Field `index` in time (0 or 1 within its frame) holds the frame's odd
// lines: the second field of top-first and progressive frames, the first of
// bottom-first frames.
inline bool fieldHoldsOddLines(Scan scan, int64_t index) {
    return io::holdsOddLines(scan == Scan::BottomFirst ? io::FieldOrder::BottomFirst
                                                       : io::FieldOrder::TopFirst,
                             unsigned(index & 1));
}

// Colour description, in the numbering of the ITU-T H.273 code points that
// FFmpeg uses (matrix 1 = BT.709, 5/6 = BT.601, 9 = BT.2020; range 1 =
// limited, 2 = full; 2 = unspecified for matrix, primaries and transfer).
struct ColourTags {
    int matrix = 2;
    int range = 0;
    int primaries = 2;
    int transfer = 2;
};

// BT.709 for high-definition frames (io::isHighDefinition), BT.601 below: the
// matrix assumed for a clip that does not name its own.
int defaultMatrix(int frameHeight);
// The tagged matrix, or the default one for the size when it is unspecified.
int effectiveMatrix(const ColourTags& tags, int frameHeight);

struct ClipInfo {
    std::string name;
    int width = 0;   // frame size
    int height = 0;
    Rational frameRate{25, 1};  // frames per second
    Rational timeBase{1, 25};   // unit of the frame timestamps
    Scan scan = Scan::Progressive;
    Rational sampleAspect{0, 1};  // 0:1 when the stream does not say
    ColourTags colour;            // as the source is tagged
    bool alpha = false;           // the source has an alpha channel (opacity)
    bool audio = false;           // the source has an audio stream
    int64_t frames = 0;           // number of frames
    std::map<std::string, std::string> tags;  // the container's metadata, by key

    // Both fields of a frame have this many rows; for an odd frame height
    // the odd-line field repeats its last line.
    int fieldHeight() const { return (height + 1) / 2; }
    int64_t fieldCount() const { return frames * 2; }
};

// The pixelAspect of the operators' requests for a sample aspect ratio:
// 1000 / (num / den) rounded half up, 1000 when the ratio is unknown (0 or
// negative), kept within 1 .. 32767.
int pixelAspectOf(Rational sampleAspect);

// One frame as its two fields in time order, with its timestamp.
struct Frame {
    Field first, second;
    int64_t pts = 0;  // in the clip's time base
};

}  // namespace fieldfx::video

#endif
