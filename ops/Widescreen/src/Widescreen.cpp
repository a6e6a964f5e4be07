// Widescreen: converts between a full-height field and a letterbox band three
// quarters of its height, centred. Squeeze compresses the whole field into the
// band between bars of BarColour; stretch expands the band to the full height.
// Only rows are resampled (nearest row below the position, or a blend of two
// rows), over the whole field.
#include <algorithm>
#include <cstring>

#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/pixel/rect.h"

#include "kernels.h"

namespace {

const char kIdent[] = "$Id: Vexo_Widescreen,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Widescreen", 0x0bb40000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 90;
constexpr int32_t kScratchLine = 96;

const uint32_t kConversionLabels[] = {311, 312, 0};
const uint32_t kSmoothingLabels[] = {321, 322, 0};
ChoiceDescriptor conversionChoice = fieldfx::makeChoice(310, kConversionLabels, 1);  // 0: squeeze
ChoiceDescriptor smoothingChoice = fieldfx::makeChoice(320, kSmoothingLabels, 1);    // 0: nearest
ColourDescriptor barColour = fieldfx::makeColour(330, BLACK_PIXEL);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kFilter, kIdent, 2, &conversionChoice, &smoothingChoice, &barColour);

// Which output rows are written and where their source position starts and
// how far it moves per row (single precision, accumulated).
struct RowPlan {
    int32_t first, count;
    float start, step;
};

// Band height B = 3/4 of H rounded down, band top T = (H - B) / 2.
RowPlan planRows(int32_t height, bool squeeze) {
    const int32_t band = height * 216 / 288;
    const int32_t top = (height - band) / 2;
    if (squeeze) {
        if (band <= 0) return RowPlan{top, 0, 0.0f, 0.0f};
        return RowPlan{top, band, 0.0f, float(height) / float(band)};
    }
    if (height <= 0) return RowPlan{0, 0, 0.0f, 0.0f};
    return RowPlan{0, height, float(top), float(band) / float(height)};
}

// Rows first .. last - 1 of the image, every pixel `word`.
void fillRows(FieldImage* image, int32_t width, int32_t first, int32_t last, uint32_t word) {
    if (width <= 0 || last <= first) return;
    auto* p = static_cast<uint32_t*>(image->pixels) + std::size_t(first) * std::size_t(width);
    std::fill(p, p + std::size_t(width) * std::size_t(last - first), word);
}

// Output rows at `rows` and below lie outside a scratch image smaller than
// the field and are not written. Rows the band does not cover take `bar`.
void resample(const FieldImage* src, FieldImage* dst, int32_t rows, bool squeeze, bool blend,
              uint32_t bar) {
    const int32_t width = src->width, height = src->height;
    const RowPlan plan = planRows(height, squeeze);
    const int32_t count = std::min(plan.count, rows - plan.first);
    fillRows(dst, width, 0, std::min(plan.first, rows), bar);
    fillRows(dst, width, plan.first + std::max(count, 0), rows, bar);
    const std::size_t rowBytes = width > 0 ? std::size_t(width) * 4 : 0;
    const auto* in = static_cast<const uint8_t*>(src->pixels);
    auto* out = static_cast<uint8_t*>(dst->pixels);
    const fieldfx::widescreen::BlendRows blendRows = fieldfx::widescreen::kBlendRows.chosen();
    float f = plan.start;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t i = int32_t(f);
        // Both rows read are kept inside the field: at H = 1 the stretch
        // blend's second row would be row 1, and in very tall fields (squeeze
        // from H = 6911 on) the accumulated position reaches the last row or
        // beyond. For every other size nothing changes.
        const int32_t row0 = std::min(i, height - 1);
        const int32_t row1 = std::min(i + 1, height - 1);
        uint8_t* o = out + std::size_t(plan.first + k) * rowBytes;
        if (rowBytes != 0) {
            if (blend)
                blendRows(in + std::size_t(row0) * rowBytes, in + std::size_t(row1) * rowBytes,
                          f - float(i), o, rowBytes);
            else
                std::memcpy(o, in + std::size_t(row0) * rowBytes, rowBytes);
        }
        f = f + plan.step;
    }
}

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *dst;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, dst)) return -1;
    const int32_t rows = fieldfx::rowsHeld(dst, src->width, src->height);
    resample(src, dst, rows, conversionChoice.value == 0, smoothingChoice.value != 0,
             barColour.value);
    return images.deliver(dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
