/*
 * Which instruction set the kernels run with, chosen once per process.
 *
 * Every hot loop with versions for several instruction sets is a kernel: a
 * function type, a plain reference that computes the arithmetic as it is
 * defined, and per-instruction-set versions that must give the same bytes.
 * An operator keeps them in a Kernels<F> table and calls chosen(); the
 * kernel test (tests/kernels) calls each entry with at() and compares it
 * with the reference.
 *
 * The level is the highest the processor runs, lowered by the environment:
 *   FIELDFX_ISA=ref|sse2|avx2|avx512   run at most that level (so the tests
 *                                      and the agreement check run every
 *                                      level on one machine);
 *   FIELDFX_NO_AVX512 (any value)      the same as FIELDFX_ISA=avx2.
 * A level above the processor's is lowered to it; an unknown name is ignored.
 * Off x86 every kernel is the reference.
 *
 * Header-only: each operator module holds its own copy and makes its own
 * choice, so modules depend on nothing but the standard library.
 */
#ifndef FIELDFX_HELPERS_LANES_CPU_H
#define FIELDFX_HELPERS_LANES_CPU_H

#include <cstdlib>
#include <cstring>

// A function compiled for one instruction set, with optional further
// attributes: FIELDFX_TARGET("avx2"), FIELDFX_TARGET("avx2", flatten) for a
// kernel that inlines every lane operation it calls, FIELDFX_TARGET("avx2",
// always_inline) for a small step of one.
#define FIELDFX_TARGET(isa, ...) __attribute__((target(isa) __VA_OPT__(, ) __VA_ARGS__))

namespace fieldfx {

enum class Isa : int { Ref = 0, Sse2 = 1, Avx2 = 2, Avx512 = 3 };

constexpr int kIsaCount = 4;
constexpr const char* kIsaNames[kIsaCount] = {"ref", "sse2", "avx2", "avx512"};

inline const char* isaName(Isa isa) { return kIsaNames[int(isa)]; }

// The level named `text`; false for a name that is none of kIsaNames.
inline bool parseIsa(const char* text, Isa& out) {
    for (int i = 0; i < kIsaCount; ++i)
        if (text != nullptr && std::strcmp(text, kIsaNames[i]) == 0) return out = Isa(i), true;
    return false;
}

// The highest level this processor runs.
inline Isa processorIsa() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx512f")) return Isa::Avx512;
    if (__builtin_cpu_supports("avx2")) return Isa::Avx2;
#endif
    if (__builtin_cpu_supports("sse2")) return Isa::Sse2;
#endif
    return Isa::Ref;
}

// The level for a processor running `have`, given the values of FIELDFX_ISA
// and FIELDFX_NO_AVX512 (null when unset).
inline Isa limitIsa(Isa have, const char* isaVariable, const char* noAvx512Variable) {
    Isa limit = Isa::Avx512;
    if (noAvx512Variable != nullptr) limit = Isa::Avx2;
    Isa named;
    if (parseIsa(isaVariable, named)) limit = named;
    return int(limit) < int(have) ? limit : have;
}

// The level of this process, worked out on the first call.
inline Isa chosenIsa() {
    static const Isa level =
        limitIsa(processorIsa(), std::getenv("FIELDFX_ISA"), std::getenv("FIELDFX_NO_AVX512"));
    return level;
}

inline bool haveAvx2() { return int(chosenIsa()) >= int(Isa::Avx2); }
inline bool haveAvx512() { return chosenIsa() == Isa::Avx512; }

// One kernel's versions, a null entry where this build has none. at(level)
// is the best version not above `level`; the reference always exists.
template <typename F>
struct Kernels {
    F ref = nullptr;
    F sse2 = nullptr;
    F avx2 = nullptr;
    F avx512 = nullptr;

    F exactly(Isa level) const {
        const F all[kIsaCount] = {ref, sse2, avx2, avx512};
        return all[int(level)];
    }
    F at(Isa level) const {
        for (int i = int(level); i > 0; --i)
            if (F f = exactly(Isa(i))) return f;
        return ref;
    }
    F chosen() const { return at(chosenIsa()); }
};

}  // namespace fieldfx

#endif
