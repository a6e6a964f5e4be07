// Drives every operator module of this build with the same reproducible
// random requests and prints one digest per request: of every return value,
// host call, log record and output byte. The x86-64, -m32 and Windows builds
// must print the same lines (tests/agreement/compare-builds diffs them).
//
//   agreement_driver [REQUESTS [parts]]   (default 300 a module; with parts,
//   each line also gives the digests of the request's parts)
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "../maths/splitmix.h"
#include "testhost.h"
#include "transhost_double.h"

using namespace testhost;

namespace {

// The same sequence on every platform.
struct Rng {
    fieldfx::maths_test::Rng bits;
    uint32_t next() { return uint32_t(bits.next() >> 32); }
    int32_t range(int32_t lo, int32_t hi) { return lo + int32_t(next() % uint32_t(hi - lo + 1)); }
    bool chance(int percent) { return next() % 100 < uint32_t(percent); }
};

struct Digest {
    uint64_t h = 1469598103934665603ull;
    void bytes(const void* p, std::size_t n)
    {
        for (std::size_t i = 0; i < n; i++) h = (h ^ static_cast<const uint8_t*>(p)[i]) * 1099511628211ull;
    }
    void word(int64_t v) { bytes(&v, sizeof v); }  // little-endian everywhere we build
    void text(const std::string& s)
    {
        word(int64_t(s.size()));
        bytes(s.data(), s.size());
    }
};

// Every parameter at a random value: sliders mostly inside their range,
// sometimes outside it, choices past their last entry, positions anywhere.
void randomParameters(const Module& m, Rng& rng, int width, int height)
{
    for (uint32_t tag = OPE_PARAM1; tag <= OPE_PARAM4; tag++) {
        bool present = false;
        for (const OperatorTag& t : m.tags()) present = present || t.tag == tag;
        if (!present) continue;
        ParamDescriptor* p = m.param(int(tag - OPE_PARAM1 + 1));
        switch (p->kind) {
        case PARAM_SLIDER: {
            SliderDescriptor& s = *reinterpret_cast<SliderDescriptor*>(p);
            s.value = rng.chance(5) ? rng.range(s.minimum - 100, s.maximum + 100) : rng.range(s.minimum, s.maximum);
            break;
        }
        case PARAM_CHOICE:
            reinterpret_cast<ChoiceDescriptor*>(p)->value = uint32_t(rng.range(0, 6));
            break;
        case PARAM_COLOUR:
            reinterpret_cast<ColourDescriptor*>(p)->value = rng.next();
            break;
        case PARAM_POSITION: {
            PositionDescriptor& q = *reinterpret_cast<PositionDescriptor*>(p);
            q.posX = int16_t(rng.range(-40, width + 40));
            q.posY = int16_t(rng.range(-40, height + 40));
            q.areaWidth = int16_t(rng.range(0, 2 * width + 2));
            q.areaHeight = int16_t(rng.range(0, 2 * height + 2));
            break;
        }
        default:
            break;
        }
    }
}

FieldSpec randomField(Rng& rng, int width, int height)
{
    FieldSpec f = patternField(width, height, rng.range(0, 255));
    if (rng.chance(20)) {  // an active rectangle, sometimes reaching outside the image
        f.activeX = int16_t(rng.range(-4, width));
        f.activeY = int16_t(rng.range(-4, height));
        f.activeWidth = int16_t(rng.range(0, width + 4));
        f.activeHeight = int16_t(rng.range(0, height + 4));
    }
    return f;
}

// With parts, the digests of the request's parts (return values, host calls,
// log records, output bytes) are written to it, to show which part differs.
uint64_t request(const Module& m, Rng& rng, std::string* parts)
{
    const bool large = rng.chance(10);
    const int width = large ? rng.range(1, 360) : rng.range(1, 48);
    const int height = large ? rng.range(1, 144) : rng.range(1, 32);
    Host host;
    TransHostDouble tx(host);
    // The generator is called in statements of their own: the order in which
    // a call's arguments are evaluated differs between compilers (GCC's
    // right to left is kept, so the requests stay what they were).
    const uint8_t maskValue = uint8_t(rng.next());
    const int32_t maskHeight = rng.range(1, 32);
    const int32_t maskWidth = rng.range(1, 64);
    tx.setMask(maskWidth, maskHeight, maskValue);
    host.setInput(0, randomField(rng, width, height));
    host.setInput(1, randomField(rng, width, height));
    if (rng.chance(10)) {
        const int32_t nth = rng.range(1, 3);
        host.failCall(rng.chance(50) ? Service::GetField : Service::AllocImage, nth);
    }
    if (rng.chance(5)) tx.failGetOpImage();
    randomParameters(m, rng, width, height);

    OperatorMessage msg = message(OP_PROCESS);
    msg.duration = rng.chance(10) ? rng.next() : uint32_t(rng.range(0, 3000));
    msg.position = rng.chance(20) ? rng.next() : uint32_t(rng.range(0, int32_t(msg.duration % 3001)));
    msg.flags = uint32_t(rng.range(0, 3));  // OPF_SCALE, OPF_ODD_FIELD
    msg.scaleNum = int16_t(rng.range(-10, 1000));
    msg.scaleDen = int16_t(rng.range(0, 1000));
    msg.pixelAspect = int16_t(rng.chance(10) ? 0 : rng.range(500, 1500));

    // Each value goes into the request's digest and into its part's.
    Digest d, returns, calls, logs, pixels;
    auto word = [&d](Digest& part, int64_t v) { d.word(v), part.word(v); };
    auto text = [&d](Digest& part, const std::string& t) { d.text(t), part.text(t); };
    word(returns, m.open());
    word(returns, m.action(msg));
    if (rng.chance(30)) {  // a second field of the same instance
        msg.position ^= 1;
        msg.flags ^= 2;
        word(returns, m.action(msg));
    }
    word(returns, m.close());
    for (const std::string& c : host.calls()) text(calls, c);
    for (const LogRecord& l : host.logs()) {
        word(logs, l.level);
        word(logs, l.line);
        word(logs, l.code);
        text(logs, l.text);
    }
    if (host.putImage() != nullptr) {
        const std::vector<uint8_t> px = host.putPixels();
        d.bytes(px.data(), px.size());
        pixels.bytes(px.data(), px.size());
    }
    word(calls, host.outstanding());
    if (parts != nullptr) {
        char line[128];
        std::snprintf(line, sizeof line, " returns %016llx calls %016llx logs %016llx pixels %016llx",
                      static_cast<unsigned long long>(returns.h), static_cast<unsigned long long>(calls.h),
                      static_cast<unsigned long long>(logs.h), static_cast<unsigned long long>(pixels.h));
        *parts = line;
    }
    return d.h;
}

}  // namespace

int main(int argc, char** argv)
{
    const int requests = argc > 1 ? std::atoi(argv[1]) : 300;
    const bool showParts = argc > 2 && std::string(argv[2]) == "parts";
    try {
#if defined(FIELDFX_AGREEMENT_OPERATOR)
        // A WebAssembly program holds one operator (tests/agreement/CMakeLists.txt).
        const std::vector<std::string> operators{FIELDFX_AGREEMENT_OPERATOR};
#else
        const std::vector<std::string> operators = builtOperators();
#endif
        for (const std::string& name : operators) {
            Module m(name);
            Rng rng{{0x5EEDull + name.size() * 977u + uint64_t(uint8_t(name[0])) * 131u}};
            std::string parts;
            for (int r = 0; r < requests; r++) {
                const uint64_t h = request(m, rng, showParts ? &parts : nullptr);
                std::printf("%s %d %016llx%s\n", name.c_str(), r, static_cast<unsigned long long>(h),
                            parts.c_str());
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "agreement_driver: %s\n", e.what());
        return 1;
    }
    return 0;
}
