// Swivel: turns the picture about the centre of the field by up to 45 degrees
// either way. Every output pixel is read at its rotated position with the
// bilinear sampler; corners brought in from outside show the stretched edge
// of the active rectangle or the Background colour.
#include <cstring>

#include "fieldfx/helpers/action.h"
#include "fieldfx/helpers/describe.h"
#include "fieldfx/helpers/params.h"
#include "fieldfx/helpers/rect.h"
#include "fieldfx/helpers/request.h"
#include "fieldfx/helpers/sampler.h"
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

// dst gets src's geometry: H rows of W pixels, every one sampled (a scratch
// image smaller than the field only as far as it reaches). The border variant
// reads `border` (4 bytes in memory order) outside the active rectangle, the
// clamp variant the rectangle's nearest pixel; both keep their reads inside
// the image whatever the rectangle.
void rotateField(const FieldImage* src, FieldImage* dst, int32_t tenths, bool useBorder,
                 const uint8_t border[4]) {
    const int32_t width = src->width, height = src->height;
    const fieldfx::swivel::Rotation rot = fieldfx::swivel::rotationOf(tenths, width, height);
    const fieldfx::SampleSource source =
        useBorder ? fieldfx::borderSource(src) : fieldfx::clampSource(src);
    auto* out = static_cast<uint8_t*>(dst->pixels);
    const int32_t rows = fieldfx::rowsHeld(dst, width, height);
    for (int32_t r = 0; r < rows; ++r) {
        const fieldfx::swivel::RowTerms row = fieldfx::swivel::rowTerms(rot, r);
        uint8_t* o = out + std::size_t(r) * std::size_t(width) * 4;
        if (useBorder) {
            for (int32_t c = 0; c < width; ++c, o += 4) {
                const fieldfx::swivel::SamplePoint p = fieldfx::swivel::samplePoint(rot, row, c);
                fieldfx::sampleBilinearBorder(source, p.x, p.y, border, o);
            }
        } else {
            for (int32_t c = 0; c < width; ++c, o += 4) {
                const fieldfx::swivel::SamplePoint p = fieldfx::swivel::samplePoint(rot, row, c);
                fieldfx::sampleBilinear(source, p.x, p.y, o);
            }
        }
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
