/* The library's one export. */

#include "planewright/kernels.h"
#include "planewright/planewright.h"

__attribute__((visibility("default"))) void RGB2YUV(const uint8_t* source, int32_t width,
                                                    int32_t height, uint8_t* yPlane,
                                                    uint8_t* cbPlane, uint8_t* crPlane,
                                                    int32_t sourcePitch, int32_t yPitch) {
    TKernelChain chain;
    PlanewrightBestChain(&chain);
    PlanewrightConvertFrame(&chain, source, width, height, yPlane, cbPlane, crPlane, sourcePitch,
                            yPitch);
}
