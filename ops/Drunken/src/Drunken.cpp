// Drunken: every output pixel is the mean of n input pixels at evenly spaced
// points of an ellipse around it; the ellipse turns a little from one field
// position to the next, so the copies circle over time.
#include <algorithm>
#include <cstddef>

#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/maths/opmath.h"
#include "fieldfx/helpers/pixel/rect.h"

#include "kernels.h"

namespace {

const char kIdent[] = "$Id: Vexo_Drunken,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Drunken", 0x0bb50000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 80;
constexpr int32_t kScratchLine = 86;

constexpr int32_t kMaxSamples = fieldfx::drunken::kMaxSamples;
SliderDescriptor sampleCount = fieldfx::makeSlider(410, 2, kMaxSamples, 3);
SliderDescriptor ellipseAmount = fieldfx::makeSlider(420, 10, 100, 25);  // % of a tenth of the field

const auto kTags = fieldfx::describeOperator(
    fieldfx::kFilter, kIdent, 2, &sampleCount, &ellipseAmount);

using fieldfx::drunken::Offset;

// The n points of the ellipse with semi-axes ax (columns) and ay (rows) at a
// field position, as whole-pixel offsets. The ellipse turns by 0.087266462
// (about 5 degrees) a field; point 0 of field 0 lies straight below.
void drunkenOffsets(uint32_t position, int32_t n, int32_t ax, int32_t ay, Offset* out) {
    const double phase = double(position) * 0.087266462;
    for (int32_t i = 0; i < n; ++i) {
        const double angle = double(i) * 6.283185307 / double(n) + phase;
        out[i].dy = int32_t(fieldfx::mathCos(angle) * double(ay));
        out[i].dx = int32_t(fieldfx::mathSin(angle) * double(ax));
    }
}

// Bytes 1 to 3 of every pixel of the first `held` rows of `dst` become the
// means of the n points around it. Byte 0 is left as the host's new image
// held it. The host may
// abort after every 32nd row; the field is finished regardless.
void averagePoints(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height, int32_t held,
                   const Offset* offsets, int32_t n) {
    const std::size_t rowBytes = std::size_t(width) * 4;
    // Columns inner..innerEnd - 1 have every point inside the row.
    int32_t inner = 0, innerEnd = width;
    for (int32_t i = 0; i < n; ++i) {
        inner = std::max(inner, -offsets[i].dx);
        innerEnd = std::min(innerEnd, width - offsets[i].dx);
    }
    const fieldfx::drunken::AverageRow averageRow = fieldfx::drunken::kAverageRow.chosen();
    const uint8_t* rows[fieldfx::drunken::kMaxSamples];
    for (int32_t y = 0; y < held; ++y) {
        for (int32_t i = 0; i < n; ++i)
            rows[i] = src + std::size_t(std::clamp(y + offsets[i].dy, 0, height - 1)) * rowBytes;
        averageRow(rows, offsets, n, width, inner, innerEnd, dst + std::size_t(y) * rowBytes);
        if ((y & 31) == 31) opChkAbort();
    }
}

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *dst;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, dst)) return -1;

    // The new image is indexed with the field's geometry; a negative size
    // counts as 0.
    const int32_t width = std::max<int32_t>(src->width, 0);
    const int32_t height = std::max<int32_t>(src->height, 0);
    const int32_t amount = fieldfx::sliderValue(ellipseAmount);
    const int32_t ax = (width / 10) * amount / 100;
    const int32_t ay = (height / 10) * amount / 100;
    // The host changes no value during a request, so the count read once
    // serves every pixel; clamped to 2..6 it never divides by zero.
    const int32_t n = fieldfx::sliderValue(sampleCount);
    Offset offsets[kMaxSamples];
    drunkenOffsets(msg->position, n, ax, ay, offsets);

    // A new image smaller than the field gets the rows it holds.
    averagePoints(static_cast<const uint8_t*>(src->pixels), static_cast<uint8_t*>(dst->pixels),
                  width, height, fieldfx::rowsHeld(dst, width, height), offsets, n);

    return images.deliver(dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
