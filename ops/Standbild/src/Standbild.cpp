// Standbild: shakes the whole picture along eased random targets, with
// optional random noise on the luma byte. The targets, the noise amplitude
// and the easing table live from one OP_OPEN to the next.
#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/message.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/pixel/colour_blend.h"
#include "fieldfx/helpers/pixel/rect.h"
#include "fieldfx/helpers/pixel/table.h"
#include "kernels.h"
#include "shake.h"

namespace {

const char kIdent[] = "$Id: Vexo_Standbild,v 1.0 2014/11/19 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Standbild", 0x0bb90000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 125;
constexpr int32_t kScratchLine = 131;

SliderDescriptor horizontal = fieldfx::makeSlider(1610, 0, 10, 2);
SliderDescriptor vertical = fieldfx::makeSlider(1620, 0, 10, 2);
SliderDescriptor speed = fieldfx::makeSlider(1630, 1, 100, 10);
SliderDescriptor noise = fieldfx::makeSlider(1640, 0, 10, 2);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kFilter, kIdent, 2, &horizontal, &vertical, &speed, &noise);

fieldfx::standbild::Shake shake;

int32_t open() {
    fieldfx::standbild::openShake(shake, fieldfx::sliderValue(horizontal), fieldfx::sliderValue(vertical),
                         fieldfx::sliderValue(noise));
    return 0;
}

fieldfx::TableStore<fieldfx::standbild::Tap> columnTaps;

void paintShaken(const FieldImage* src, uint8_t* dst, int32_t rows, fieldfx::standbild::Offset o) {
    const int32_t width = src->width;
    const int32_t amp = shake.noiseAmp;
    fieldfx::standbild::ShakeJob job{fieldfx::imageClampSource(src), nullptr, dst, rows, o,
                                     fieldfx::sliderValue(noise) != 0, amp,
                                     fieldfx::standbild::noiseDivisor(amp), &shake.random};
    fieldfx::standbild::Tap* taps = width > 0 ? columnTaps.reserve(std::size_t(width)) : nullptr;
    if (taps != nullptr)
        for (int32_t c = 0; c < width; ++c) taps[c] = fieldfx::standbild::axisTap(job.source, double(c) + o.x, 0);
    job.taps = taps;
    fieldfx::standbild::kShakeRows.chosen()(job);
}

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *dst;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, dst)) return -1;

    // The host counts positions in a signed 32-bit field number.
    const int32_t p = int32_t(msg->position);
    const int32_t period = 101 - fieldfx::sliderValue(speed);
    const fieldfx::standbild::Ease ease = fieldfx::standbild::easeAt(shake.easeTable, p, period);
    fieldfx::standbild::switchIfDue(shake, p, period, fieldfx::sliderValue(horizontal),
                           fieldfx::sliderValue(vertical));
    fieldfx::standbild::Offset o = fieldfx::standbild::displacement(shake, ease.g, period);
    // Under OPF_SCALE a zero denominator leaves the displacement unscaled.
    if (fieldfx::scalesSizes(msg)) {
        o.x = o.x * msg->scaleNum / msg->scaleDen;
        o.y = o.y * msg->scaleNum / msg->scaleDen;
    }

    const int32_t rows = fieldfx::rowsHeld(dst, src->width, src->height);
    paintShaken(src, static_cast<uint8_t*>(dst->pixels), rows, o);

    return images.deliver(dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process, open); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
