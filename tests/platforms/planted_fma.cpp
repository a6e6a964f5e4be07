// A module with a multiply-add the compiler is told it may fuse (built with
// -ffp-contract=fast, and on x86 for processors with FMA): the generated-code
// check (scripts/check-fused-maths) must reject it.
#if defined(__x86_64__) || defined(__i386__)
#define FIELDFX_PLANTED_TARGET __attribute__((target("fma")))
#else
#define FIELDFX_PLANTED_TARGET
#endif

extern "C" FIELDFX_PLANTED_TARGET double plantedMultiplyAdd(double a, double b, double c) {
    return a * b + c;
}
