// Glide: a pattern wipe whose soft band cross-fades the incoming field with
// a shifted copy of the outgoing one, so the outgoing picture slides away in
// one of eight directions as it dissolves.
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/message.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/effects/pattern_wipe.h"
#include "shift.h"

namespace {

const char kIdent[] = "$Id: Vexo_Glide,v 1.0 2014/12/15 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Glide", 0x0bbb0000u};

// The failure points and the source line each one logs.
constexpr int32_t kInput0Line = 106;
constexpr int32_t kInput1Line = 112;
constexpr int32_t kScratchLine = 118;

fieldfx::PatternWipe wipe{};
PrefsBlockRef prefsRef{wipe.prefs, TRANSITION_PREFS_SIZE, 0};

// The direction entries are shown as the numbers 1 to 8 (style 1).
const uint32_t kDirectionLabels[] = {1, 2, 3, 4, 5, 6, 7, 8, 0};
GroupDescriptor heading = fieldfx::makeGroup(1840);
SliderDescriptor softness = fieldfx::makeSlider(1810, 0, 100, 50);
SliderDescriptor distance = fieldfx::makeSlider(1820, 0, 100, 50);
ChoiceDescriptor direction = fieldfx::makeChoice(1830, kDirectionLabels, 0, 1);

const auto kTags = fieldfx::describeOperatorWithPrefs(
    fieldfx::kTransition, kIdent, 2, &prefsRef, &heading, &softness, &distance, &direction);

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    const fieldfx::WipeImages im = fieldfx::wipeImages(wipe, images, msg->position, kInput0Line,
                                                       kInput1Line, kScratchLine);
    if (im.dst == nullptr) return -1;
    const FieldImage* src0 = im.src0;

    const int32_t ax = src0->activeX, ay = src0->activeY;
    const fieldfx::glide::Shift shift = fieldfx::glide::shiftVector(
        direction.value,
        fieldfx::glide::shiftLength(fieldfx::sliderValue(distance), src0->activeHeight));
    // A duration of 0 is taken as 1.
    const fieldfx::WipeLevels lv =
        fieldfx::wipeLevels(fieldfx::wipeBandWidth(fieldfx::sliderValue(softness)),
                            msg->position, fieldfx::durationOf(msg));

    fieldfx::glide::ShiftPositions positions(shift, ax, ay, lv.S);
    fieldfx::paintPatternWipe(src0, im.src1, im.dst, wipe.mask, lv, positions);

    return images.deliver(im.dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::wipeAction(wipe, msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
