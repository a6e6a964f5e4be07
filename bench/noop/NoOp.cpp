// NoOp: a filter that hands its input field back untouched. Driven through the
// runtime it costs exactly what the host spends on one filter request (serving
// the field, taking the output back), which the benchmarks subtract from
// every filter's figure.
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/request.h"

namespace {

const char kIdent[] = "$Id: fieldfx_NoOp,v 1.0 2026/12/08 00:00:00 bench $";
const fieldfx::OperatorIdentity kId{"src\\NoOp", 0x0bf00000u};

const auto kTags = fieldfx::describeOperator(fieldfx::kFilter, kIdent, 2);

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage* field = images.field(0, msg->position, __LINE__);
    if (field == nullptr) return -1;
    return opPutField(field);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) {
    switch (msg->action) {
        case OP_PROCESS: return process(msg);
        default: return 0;
    }
}

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
