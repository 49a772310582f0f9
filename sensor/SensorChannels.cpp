#include "sensor/SensorChannels.h"

double VarianceOfSums(int64_t n, WideSum sum, WideSum squares, int64_t ddof)
{
    if (n <= ddof)
        return 0.0;
    const WideSum numerator = WideSum{n} * squares - sum * sum;
    return static_cast<double>(numerator) / (static_cast<double>(n) * static_cast<double>(n - ddof));
}
