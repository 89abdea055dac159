/* Built only into libplanewright_testing.so, never shipped: starts the conversion at one named
 * kernel, so the tests can hold every kernel against the formulas on this machine. */

#include "planewright/kernels.h"

/* Returns 0 without touching anything when the name is unknown or the CPU lacks the kernel. */
__attribute__((visibility("default"))) int PlanewrightConvertWithKernel(
    const char* kernelName, const uint8_t* source, int32_t width, int32_t height, uint8_t* yPlane,
    uint8_t* cbPlane, uint8_t* crPlane, int32_t sourcePitch, int32_t yPitch) {
    TKernelChain chain;
    if (!PlanewrightChainByName(kernelName, &chain)) {
        return 0;
    }
    PlanewrightConvertFrame(&chain, source, width, height, yPlane, cbPlane, crPlane, sourcePitch,
                            yPitch);
    return 1;
}
