/* Which row-pair kernels run: the widest this CPU supports, then the narrower ones for what
 * is left of a row. Decided per call from the CPU feature bits, so the library keeps no state. */

#include <string.h>

#include "planewright/kernels.h"

typedef struct {
    const char* name;
    TRowPairKernel kernel;
    int (*supported)(void);
} TKernelEntry;

static int Always(void) {
    return 1;
}

#if defined(__x86_64__) || defined(__i386__)
/* __builtin_cpu_init makes these safe even before the runtime's constructors have run; the
 * feature bits include the operating system's support for the wider registers. */
static int HasAvx512(void) {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512bw");
}

static int HasAvx2(void) {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

/* widest first; the table version has no kernel of its own */
static const TKernelEntry kKernels[] = {
#if defined(__x86_64__) || defined(__i386__)
    {"avx512", PlanewrightRowPairAvx512, HasAvx512},
    {"avx2", PlanewrightRowPairAvx2, HasAvx2},
    {"sse2", PlanewrightRowPairSse2, Always},
#endif
    {"tables", 0, Always},
};

enum { kKernelCount = sizeof kKernels / sizeof kKernels[0] };

static void ChainFrom(int first, TKernelChain* chain) {
    chain->count = 0;
    for (int i = first; i < kKernelCount && chain->count < kMaxKernels; ++i) {
        if (kKernels[i].kernel && kKernels[i].supported()) {
            chain->kernels[chain->count++] = kKernels[i].kernel;
        }
    }
}

int PlanewrightChainByName(const char* name, TKernelChain* chain) {
    for (int i = 0; i < kKernelCount; ++i) {
        if (strcmp(kKernels[i].name, name) == 0) {
            if (!kKernels[i].supported()) {
                return 0;
            }
            ChainFrom(i, chain);
            return 1;
        }
    }
    return 0;
}

void PlanewrightBestChain(TKernelChain* chain) {
    for (int i = 0; i < kKernelCount; ++i) {
        if (kKernels[i].supported()) {
            ChainFrom(i, chain);
            return;
        }
    }
    chain->count = 0;
}
