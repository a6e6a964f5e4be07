// Telescope: a pattern wipe whose soft band cross-fades the incoming field
// with a magnified copy of the outgoing one, so the outgoing picture grows
// towards the viewer as it dissolves.
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/message.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/effects/pattern_wipe.h"
#include "zoom.h"

namespace {

const char kIdent[] = "$Id: Vexo_Telescope,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Telescope", 0x0bbc0000u};

// The failure points and the source line each one logs.
constexpr int32_t kInput0Line = 102;
constexpr int32_t kInput1Line = 108;
constexpr int32_t kScratchLine = 114;

fieldfx::PatternWipe wipe{};
PrefsBlockRef prefsRef{wipe.prefs, TRANSITION_PREFS_SIZE, 0};

GroupDescriptor heading = fieldfx::makeGroup(1930);
SliderDescriptor softness = fieldfx::makeSlider(1910, 0, 100, 50);
SliderDescriptor zoom = fieldfx::makeSlider(1920, 0, 100, 50);

const auto kTags = fieldfx::describeOperatorWithPrefs(
    fieldfx::kTransition, kIdent, 2, &prefsRef, &heading, &softness, &zoom);

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    const fieldfx::WipeImages im = fieldfx::wipeImages(wipe, images, msg->position, kInput0Line,
                                                       kInput1Line, kScratchLine);
    if (im.dst == nullptr) return -1;
    const FieldImage* src0 = im.src0;

    const int32_t aW = src0->activeWidth, aH = src0->activeHeight;
    const int32_t halfW = aW / 2, halfH = aH / 2;
    const int32_t ax = src0->activeX, ay = src0->activeY;
    // A duration of 0 is taken as 1.
    const fieldfx::WipeLevels lv =
        fieldfx::wipeLevels(fieldfx::wipeBandWidth(fieldfx::sliderValue(softness)),
                            msg->position, fieldfx::durationOf(msg));
    const double Z = fieldfx::telescope::zoomStrength(fieldfx::sliderValue(zoom), aH);

    fieldfx::telescope::ZoomPositions positions(halfW, halfH, ax, ay, lv, Z);
    fieldfx::paintPatternWipe(src0, im.src1, im.dst, wipe.mask, lv, positions);

    return images.deliver(im.dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::wipeAction(wipe, msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
