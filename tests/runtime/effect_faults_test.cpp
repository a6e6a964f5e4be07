// Faults inside the host's service calls: an allocation that fails or a
// field source that throws while an operator (built without exceptions) is
// in the call. The operator gets the contract's failure answer, the request
// fails with the reason, and the effect keeps working afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "fieldfx/runtime/effect.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/module.h"
#include "fieldfx/runtime/parameters.h"

// Allocation with a trap: the next allocation on this thread fails once armed.
namespace {
thread_local bool failNextAllocation = false;
}

void* operator new(std::size_t size) {
    if (failNextAllocation) {
        failNextAllocation = false;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace fieldfx;

namespace {

enum class Fault { None, AllocateInCall, ThrowOther };

// Serves one field; arms a fault for the host's work after it returns.
class Trapped : public runtime::FieldSource {
public:
    const io::Field* fieldAt(uint32_t) override {
        if (fault == Fault::ThrowOther) throw 42;
        failNextAllocation = fault == Fault::AllocateInCall;
        return missing ? nullptr : &f_;
    }
    Fault fault = Fault::None;
    bool missing = false;  // with a field missing the operator logs its failure

private:
    io::Field f_{8, 2};
};

struct Case {
    const char* what;
    Fault fault;
    bool missing;
    const char* reason;  // in the request's error
};

}  // namespace

TEST(EffectFaults, ServiceCallFaultsFailTheRequestNotTheProcess) {
    setenv("FIELDFX_OPS_PATH", FIELDFX_PROBE_DIR, 1);
    const Case cases[] = {
        {"pool image for a served field", Fault::AllocateInCall, false,
         "opGetField: std::bad_alloc"},
        {"log record", Fault::AllocateInCall, true, "loggerMessage: std::bad_alloc"},
        {"source throwing a non-standard exception", Fault::ThrowOther, false,
         "opGetField: an unknown exception"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto module = runtime::OperatorModule::load("Probe");
        Trapped input;
        runtime::Effect effect(*module);
        effect.setInput(0, &input);
        effect.open(runtime::EffectSettings{}, 8, 2);
        input.fault = c.fault;  // at the first field: the pool and the log grow then
        input.missing = c.missing;
        try {
            effect.process(0, false);
            ADD_FAILURE() << "no error";
        } catch (const runtime::Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
            // Memory that ran out is said as such, not as the operator's failure.
            EXPECT_EQ(e.kind(), c.fault == Fault::AllocateInCall ? runtime::ErrorKind::Memory
                                                                 : runtime::ErrorKind::Render);
        }
        input.fault = Fault::None;
        input.missing = false;
        EXPECT_EQ(effect.process(1, true).width, 8);
    }
}
