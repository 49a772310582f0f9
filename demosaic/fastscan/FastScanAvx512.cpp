// The fast scan body built for processors with AVX-512 F, BW, VL and DQ
// (x86-64 only; the build compiles this file for those extensions with
// 512-bit vectors and without FMA, and the dispatcher calls it only when the
// processor and the operating system support them).
#if defined(DIAGRAW_FAST_SCAN_X86)

#include "demosaic/fastscan/FastScanKernel.h"

bool ScanWindowRowsAvx512(const FastScanWork& work)
{
    return ScanRows(work);
}

#endif
