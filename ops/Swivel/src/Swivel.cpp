// Swivel: turns the picture about the centre of the field by up to 45 degrees
// either way. Every output pixel is read at its rotated position with the
// bilinear sampler; corners brought in from outside show the stretched edge
// of the active rectangle or the Background colour.
#include <cstring>

#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/pixel/rect.h"
#include "fieldfx/helpers/pixel/sampler.h"
#include "kernels.h"
#include "rotation.h"

namespace {

const char kIdent[] = "$Id: Vexo_Rotate,v 1.0 2014/11/19 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Swivel", 0x0bb60000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 90;
constexpr int32_t kScratchLine = 96;

int32_t formatAngle(int32_t value, char16_t* buffer);

// Angle in tenths of a degree, shown through formatAngle.
SliderDescriptor angleSlider = fieldfx::makeSlider(510, -450, 450, 0, 2, &formatAngle);
const uint32_t kEdgesLabels[] = {521, 522, 0};
ChoiceDescriptor edgesChoice = fieldfx::makeChoice(520, kEdgesLabels, 0);
ColourDescriptor backgroundColour = fieldfx::makeColour(530, BLACK_PIXEL);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kFilter, kIdent, 2, &angleSlider, &edgesChoice, &backgroundColour);

// Degrees with one decimal: "%ld.%1ld°" of v / 10 and |v % 10|. From -9 to -1
// v / 10 is 0 and carries no sign, so the minus goes into the first character
// and the number after it.
int32_t formatAngle(int32_t value, char16_t* buffer) {
    static const char16_t kFormat[] = u"%ld.%1ld\u00B0";
    const int32_t whole = value / 10;
    const int32_t tenth = value % 10 < 0 ? -(value % 10) : value % 10;
    if (value < 0 && whole == 0 && buffer != nullptr) {
        buffer[0] = u'-';
        const int32_t written = sxprintf(buffer + 1, kFormat, whole, tenth);
        // No room after the minus (a one-character buffer): an empty text
        // rather than a lone, unterminated sign.
        if (written < 0) buffer[0] = u'\0';
        return written;
    }
    return sxprintf(buffer, kFormat, whole, tenth);
}

namespace swivel = fieldfx::swivel;

// Fills n pixels with one pixel's 4 bytes.
void fillPixels(uint8_t* out, int32_t n, const uint8_t pixel[4]) {
    for (int32_t i = 0; i < n; ++i, out += 4) std::memcpy(out, pixel, 4);
}

// Angle 0: sin 0 = 0 and cos 0 = 1 put every sample exactly on its own pixel
// (c - cx + cx and (r - cy) * 2 * 0.5 + cy are exact, the centre being whole
// or half), and a whole position reads its pixel unblended. So each row is the
// active rectangle's part of its row, with the clamped pixel or the border
// colour either side; the clamp variant's rows above and below the rectangle
// repeat its first and last.
void copyRow(const fieldfx::SampleSource& source, int32_t r, int32_t width, bool useBorder,
             const uint8_t border[4], uint8_t* out) {
    const fieldfx::PixelRect& b = source.bounds;
    if (useBorder && (b.empty() || r < b.y0 || r >= b.y1)) {
        fillPixels(out, width, border);
        return;
    }
    const int32_t sr = fieldfx::detail::clampTo(r, b.y0, b.y1);
    const uint8_t* in = source.pixels + std::size_t(sr) * std::size_t(source.rowLength) * 4;
    fillPixels(out, b.x0, useBorder ? border : in + std::size_t(b.x0) * 4);
    std::memcpy(out + std::size_t(b.x0) * 4, in + std::size_t(b.x0) * 4,
                std::size_t(b.x1 - b.x0) * 4);
    fillPixels(out + std::size_t(b.x1) * 4, width - b.x1,
               useBorder ? border : in + std::size_t(b.x1 - 1) * 4);
}

// How a row's runs of columns are sampled: `inside` only where every
// neighbour lies inside the bounds.
struct RowSamplers {
    swivel::ColumnSampler clamped, inside;
};

RowSamplers rowSamplers() {
    return RowSamplers{swivel::kClampedColumns.chosen(), swivel::kInsideColumns.chosen()};
}

// The clamp variant's row.
void clampRow(const swivel::Rotation& rot, const swivel::RowTerms& row,
              const fieldfx::SampleSource& source, int32_t width, RowSamplers samplers,
              swivel::BoxColumns& inside, uint8_t* out) {
    const swivel::ColumnRun in = inside.along(rot, row, width);
    samplers.clamped(rot, row, source, 0, in.begin, out);
    samplers.inside(rot, row, source, in.begin, in.end, out + std::size_t(in.begin) * 4);
    samplers.clamped(rot, row, source, in.end, width, out + std::size_t(in.end) * 4);
}

// The border variant's row. Columns whose four neighbours all lie outside the
// active rectangle blend four border pixels, which gives the border colour
// exactly; columns whose four neighbours all lie inside read what the clamp
// variant reads; only the columns in between need the border sampler's
// checks.
void borderRow(const swivel::Rotation& rot, const swivel::RowTerms& row,
               const fieldfx::SampleSource& source, int32_t width, const uint8_t border[4],
               RowSamplers samplers, swivel::BoxColumns& touching, swivel::BoxColumns& inside,
               uint8_t* out) {
    const swivel::ColumnRun near = touching.along(rot, row, width);
    swivel::ColumnRun in = inside.along(rot, row, width);
    if (in.begin == in.end) in = swivel::ColumnRun{near.end, near.end};
    const auto checked = [&](int32_t begin, int32_t end) {
        for (int32_t c = begin; c < end; ++c) {
            const swivel::SamplePoint p = swivel::samplePoint(rot, row, c);
            fieldfx::sampleBilinearBorder(source, p.x, p.y, border, out + std::size_t(c) * 4);
        }
    };
    fillPixels(out, near.begin, border);
    checked(near.begin, in.begin);
    samplers.inside(rot, row, source, in.begin, in.end, out + std::size_t(in.begin) * 4);
    checked(in.end, near.end);
    fillPixels(out + std::size_t(near.end) * 4, width - near.end, border);
}

// dst gets src's geometry: H rows of W pixels, every one sampled (a scratch
// image smaller than the field only as far as it reaches). The border variant
// reads `border` (4 bytes in memory order) outside the active rectangle, the
// clamp variant the rectangle's nearest pixel; both keep their reads inside
// the image whatever the rectangle.
void rotateField(const FieldImage* src, FieldImage* dst, int32_t tenths, bool useBorder,
                 const uint8_t border[4]) {
    const int32_t width = src->width, height = src->height;
    const swivel::Rotation rot = swivel::rotationOf(tenths, width, height);
    const fieldfx::SampleSource source =
        useBorder ? fieldfx::borderSource(src) : fieldfx::clampSource(src);
    const RowSamplers samplers = rowSamplers();
    const bool unturned = rot.sn == 0.0 && rot.cs == 1.0;
    const fieldfx::PixelRect& b = source.bounds;
    // The columns whose four neighbours all lie inside the bounds, and those
    // with at least one there.
    swivel::BoxColumns inside(b.x0, b.x1 - 2, b.y0, b.y1 - 2);
    swivel::BoxColumns touching(b.x0 - 1, b.x1 - 1, b.y0 - 1, b.y1 - 1);
    auto* out = static_cast<uint8_t*>(dst->pixels);
    const int32_t rows = fieldfx::rowsHeld(dst, width, height);
    for (int32_t r = 0; r < rows; ++r) {
        const swivel::RowTerms row = swivel::rowTerms(rot, r);
        uint8_t* o = out + std::size_t(r) * std::size_t(width) * 4;
        if (unturned)
            copyRow(source, r, width, useBorder, border, o);
        else if (useBorder)
            borderRow(rot, row, source, width, border, samplers, touching, inside, o);
        else
            clampRow(rot, row, source, width, samplers, inside, o);
        opChkAbort();  // polled once a row; the field is always finished
    }
}

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *dst;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, dst)) return -1;
    uint8_t border[4];
    std::memcpy(border, &backgroundColour.value, sizeof border);
    rotateField(src, dst, fieldfx::sliderValue(angleSlider), edgesChoice.value != 0, border);
    return images.deliver(dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
