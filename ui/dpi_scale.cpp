#include "ui/dpi_scale.h"

#include <climits>

int ScaleToDpi(int size, int dpi) {
    if (dpi <= 0) return size;
    const long long product = static_cast<long long>(size) * dpi;
    const long long magnitude = ((product < 0 ? -product : product) + kDesignDpi / 2) / kDesignDpi;
    const long long scaled = product < 0 ? -magnitude : magnitude;
    if (scaled > INT_MAX) return INT_MAX;
    if (scaled < INT_MIN) return INT_MIN;
    return static_cast<int>(scaled);
}
