// Flicker: a transition that hands back whole fields of one clip or the other;
// in the middle of the span the clips alternate in blocks of S frames.
#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/message.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"

namespace {

const char kIdent[] = "$Id: Vexo_Flicker,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Flicker", 0x0bb30000u};

// The failure points and the source line each one logs.
constexpr int32_t kInput0Line = 105;
constexpr int32_t kInput1Line = 96;

const uint32_t kStartLabels[] = {211, 212, 0};
ChoiceDescriptor startChoice = fieldfx::makeChoice(210, kStartLabels, 1);
SliderDescriptor blockLength = fieldfx::makeSlider(220, 1, 100, 25, 1);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kTransition, kIdent, 1, &startChoice, &blockLength);

// Which input field P of a span of D fields shows, all unsigned 32-bit:
// m fields of input 0 lead in and m of input 1 lead out, where m is half of
// what is left of D after whole blocks of 4S; between them blocks of 2S fields
// alternate, starting with input 1 when C is 1. A C other than 0 or 1 never
// gives 1 after the XOR, so every middle block then shows input 0.
int32_t flickerInput(uint32_t duration, uint32_t position, uint32_t start, uint32_t block) {
    const uint32_t m = (duration % (4u * block)) >> 1;
    if (position < m) return 0;
    if (position >= duration - m) return 1;
    const uint32_t k = ((position - m) / (2u * block)) & 1u;
    return (k ^ start) == 1u ? 1 : 0;
}

int32_t process(const OperatorMessage* msg) {
    // The block length is clamped to 1..100 (so 4S never wraps to 0), and a
    // duration of 0 is taken as 1.
    const uint32_t block = uint32_t(fieldfx::sliderValue(blockLength));
    const int32_t input =
        flickerInput(fieldfx::durationOf(msg), msg->position, startChoice.value, block);
    fieldfx::RequestImages images(kId);
    FieldImage* field = images.field(input, msg->position, input == 1 ? kInput1Line : kInput0Line);
    if (field == nullptr) return -1;
    return images.deliver(field);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
