// The fast scan body built for the baseline instruction set of the target.
#include "demosaic/fastscan/FastScanKernel.h"

bool ScanWindowRowsBaseline(const FastScanWork& work)
{
    return ScanRows(work);
}
