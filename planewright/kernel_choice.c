/* Which row-pair kernel runs: the widest one this CPU supports. Decided per call from the
 * CPU feature bits, so the library keeps no state. */

#include <string.h>

#include "planewright/kernels.h"

typedef struct {
    const char* name;
    TRowPairKernel kernel;
    int (*supported)(void);
} TKernelEntry;

static int Always(void) { return 1; }

#if defined(__x86_64__) || defined(__i386__)
static int HasAvx2(void) {
    /* also safe before the runtime's own constructors have run */
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

/* fastest first */
static const TKernelEntry kKernels[] = {
#if defined(__x86_64__) || defined(__i386__)
    {"avx2", PlanewrightRowPairAvx2, HasAvx2},
    {"sse2", PlanewrightRowPairSse2, Always},
#endif
    {"tables", 0, Always},
};

enum { kKernelCount = sizeof kKernels / sizeof kKernels[0] };

int PlanewrightKernelByName(const char* name, TRowPairKernel* kernel) {
    for (int i = 0; i < kKernelCount; ++i) {
        if (strcmp(kKernels[i].name, name) == 0 && kKernels[i].supported()) {
            *kernel = kKernels[i].kernel;
            return 1;
        }
    }
    return 0;
}

TRowPairKernel PlanewrightBestKernel(void) {
    for (int i = 0; i < kKernelCount; ++i) {
        if (kKernels[i].supported()) {
            return kKernels[i].kernel;
        }
    }
    return 0;
}
