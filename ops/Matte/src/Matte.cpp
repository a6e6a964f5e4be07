// Matte: blackens everything outside the field's active rectangle, in place.
#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/request.h"

namespace {

const char kIdent[] = "$Id: Vexo_Matte,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Matte", 0x0b820000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 77;

const auto kTags = fieldfx::describeOperator(fieldfx::kFilter, kIdent, 2);

// Rows outside the rectangle are blackened whole; inside it, the columns left
// and right of it. The loops run over the field only, so a rectangle reaching
// outside the field never leads to a write outside it.
void blackenOutside(FieldImage* f) {
    const int32_t width = f->width, height = f->height;
    const int32_t ax = f->activeX, ay = f->activeY;
    const int32_t ax1 = ax + int32_t(f->activeWidth), ay1 = ay + int32_t(f->activeHeight);
    auto* pixels = static_cast<uint32_t*>(f->pixels);
    for (int32_t y = 0; y < height; ++y) {
        uint32_t* row = pixels + std::size_t(y) * std::size_t(width);
        const bool rowOutside = y < ay || y >= ay1;
        for (int32_t x = 0; x < width; ++x) {
            if (rowOutside || x < ax || x >= ax1) row[x] = BLACK_PIXEL;
        }
    }
}

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage* field = images.field(0, msg->position, kInputLine);
    if (field == nullptr) return -1;
    blackenOutside(field);
    return images.deliver(field);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
