// The frei0r adapter's parameter and update path, as a host drives it:
// any operator's instance at a frame size of 1x1 up to 64x48 (odd sizes
// included), then a sequence of frei0r calls: set a parameter by any index
// to any value (every bit pattern of a double, NaN and the infinities among
// them; colours of any floats; positions; a string where a string is
// meant), read one back, render a frame at any time (negative, NaN, huge)
// from input frames of any bytes.
//
// Invariants beyond "no crash, no sanitizer report": a value read back is a
// number in 0..1 (In and Out: a whole frame number 0..2^31), a colour's
// components in 0..1; nothing is written past the output frame (its buffer
// is exactly the frame's size); an index out of range writes nothing.
#include <fuzzer/FuzzedDataProvider.h>

extern "C" {
#include <frei0r.h>
}

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fieldfx/runtime/module.h"
#include "instance.h"
#include "plugin_params.h"

namespace frei0r = fieldfx::frei0r;
namespace runtime = fieldfx::runtime;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

struct Size {
    int width, height;
};
constexpr Size kSizes[] = {{64, 48}, {17, 9}, {8, 6}, {1, 1}, {3, 2}, {40, 31}};

struct Operator {
    std::string name, path;
    std::unique_ptr<runtime::OperatorModule> module;  // for the parameters' description
    std::vector<frei0r::PluginParam> params;
};

std::vector<Operator>& operators() {
    static std::vector<Operator> all = [] {
        std::vector<Operator> ops;
        std::stringstream list(FIELDFX_FUZZ_OPERATORS);
        for (std::string name; std::getline(list, name, ',');) {
            Operator op;
            op.name = name;
            op.path = std::string(FIELDFX_FUZZ_OPS_DIR) + "/" + name + ".so";
            op.module = runtime::OperatorModule::loadFile(name, op.path);
            op.params = frei0r::pluginParams(*op.module);
            ops.push_back(std::move(op));
        }
        return ops;
    }();
    return all;
}

// Instances live as long as the process: libFuzzer keeps the coverage
// counters of every module copy it has seen, so none may be unloaded.
frei0r::Instance* instance(std::size_t op, std::size_t size) {
    static std::map<std::pair<std::size_t, std::size_t>, std::unique_ptr<frei0r::Instance>> made;
    auto& slot = made[{op, size}];
    if (!slot) {
        const Operator& o = operators()[op];
        slot = std::make_unique<frei0r::Instance>(o.name, o.path, o.params, kSizes[size].width,
                                                  kSizes[size].height);
    }
    return slot.get();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::size_t op = in.ConsumeIntegralInRange<std::size_t>(0, operators().size() - 1);
    const std::size_t sizeIndex = in.ConsumeIntegralInRange<std::size_t>(0, std::size(kSizes) - 1);
    const Operator& o = operators()[op];
    frei0r::Instance& inst = *instance(op, sizeIndex);
    const std::size_t pixels = std::size_t(kSizes[sizeIndex].width) * kSizes[sizeIndex].height;
    const int count = int(o.params.size());

    // Each case starts from the defaults a new instance has.
    for (int i = 0; i < count; ++i)
        if (o.params[i].type == F0R_PARAM_DOUBLE || o.params[i].type == F0R_PARAM_BOOL)
            inst.setParam(i, &o.params[i].defaultValue);

    std::vector<uint32_t> input[2] = {std::vector<uint32_t>(pixels), std::vector<uint32_t>(pixels)};
    for (int steps = 0; steps < 16 && in.remaining_bytes() > 0; ++steps) {
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {  // set, by any index, to any bits
            const int index = in.ConsumeIntegralInRange(-2, count + 1);
            const int type = index >= 0 && index < count ? o.params[index].type : F0R_PARAM_DOUBLE;
            if (type == F0R_PARAM_COLOR) {
                f0r_param_color_t c;
                for (float* f : {&c.r, &c.g, &c.b}) {
                    const uint32_t bits = in.ConsumeIntegral<uint32_t>();
                    std::memcpy(f, &bits, sizeof *f);
                }
                inst.setParam(index, &c);
            } else if (type == F0R_PARAM_POSITION) {
                f0r_param_position_t p;
                for (double* d : {&p.x, &p.y}) {
                    const uint64_t bits = in.ConsumeIntegral<uint64_t>();
                    std::memcpy(d, &bits, sizeof *d);
                }
                inst.setParam(index, &p);
            } else if (type == F0R_PARAM_STRING) {
                const std::string text = in.ConsumeRandomLengthString(64);
                const char* s = text.c_str();
                inst.setParam(index, &s);
            } else {
                double v;
                if (in.ConsumeBool()) {
                    const uint64_t bits = in.ConsumeIntegral<uint64_t>();
                    std::memcpy(&v, &bits, sizeof v);
                } else {
                    v = in.ConsumeFloatingPointInRange(-2.0, 3.0);
                }
                inst.setParam(index, &v);
            }
            break;
        }
        case 1: {  // read back
            const int index = in.ConsumeIntegralInRange(-2, count + 1);
            if (index < 0 || index >= count) {
                double untouched = 12345.0;
                inst.getParam(index, &untouched);
                check(untouched == 12345.0);
                break;
            }
            const frei0r::PluginParam& p = o.params[index];
            if (p.type == F0R_PARAM_COLOR) {
                f0r_param_color_t c{-1, -1, -1};
                inst.getParam(index, &c);
                for (float f : {c.r, c.g, c.b}) check(f >= 0.0f && f <= 1.0f);
            } else if (p.type == F0R_PARAM_DOUBLE || p.type == F0R_PARAM_BOOL) {
                double v = std::nan("");
                inst.getParam(index, &v);
                if (p.role == frei0r::Role::In || p.role == frei0r::Role::Out)
                    check(v >= 0.0 && v <= 2147483648.0 && v == std::floor(v));
                else
                    check(v >= 0.0 && v <= 1.0);
            }
            break;
        }
        case 2: {  // new input bytes
            auto& frame = input[in.ConsumeBool()];
            const uint32_t seed = in.ConsumeIntegral<uint32_t>();
            const uint32_t step = in.ConsumeIntegral<uint32_t>() | 1u;
            for (std::size_t i = 0; i < pixels; ++i) frame[i] = seed + uint32_t(i) * step;
            break;
        }
        default: {  // one frame
            double time;
            if (in.ConsumeBool()) {
                const uint64_t bits = in.ConsumeIntegral<uint64_t>();
                std::memcpy(&time, &bits, sizeof time);
            } else {
                time = in.ConsumeIntegralInRange(0, 200) / 25.0;
            }
            // Exactly the frame: ASan sees a byte written past it.
            std::unique_ptr<uint32_t[]> out(new uint32_t[pixels]);
            std::memset(out.get(), 0xA5, pixels * 4);
            const uint32_t* const inputs[2] = {input[0].data(), input[1].data()};
            inst.update(time, inputs, out.get());
            break;
        }
        }
    }
    return 0;
}
