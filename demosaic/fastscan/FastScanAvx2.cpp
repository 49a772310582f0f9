// The fast scan body built for processors with AVX2 (x86-64 only; the build
// compiles this file with -mavx2 and without FMA, and the dispatcher calls
// it only when the processor has AVX2).
#if defined(DIAGRAW_FAST_SCAN_X86)

#include "demosaic/fastscan/FastScanKernel.h"

bool ScanWindowRowsAvx2(const FastScanWork& work)
{
    return ScanRows(work);
}

#endif
