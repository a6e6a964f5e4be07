// NoOpTransition: a transition that fetches both inputs, releases the
// incoming field and hands the outgoing one back untouched: the host's share
// of one transition request (two fields served, one released, one taken back).
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/request.h"

namespace {

const char kIdent[] = "$Id: fieldfx_NoOpTransition,v 1.0 2026/12/08 00:00:00 bench $";
const fieldfx::OperatorIdentity kId{"src\\NoOpTransition", 0x0bf10000u};

const auto kTags = fieldfx::describeOperator(fieldfx::kTransition, kIdent, 2);

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage* outgoing = images.field(0, msg->position, __LINE__);
    if (outgoing == nullptr) return -1;
    FieldImage* incoming = images.field(1, msg->position, __LINE__);
    if (incoming == nullptr) return -1;
    opFreeImage(incoming);
    return opPutField(outgoing);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) {
    switch (msg->action) {
        case OP_PROCESS: return process(msg);
        default: return 0;
    }
}

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
