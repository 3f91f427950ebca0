#include "framemath.h"

#include <cmath>
#include <cstdint>

namespace {
// 2^bits - 1 as the protocol forms it (integer shift, then float). Only 1..31 bits
// are meaningful; anything else would shift out of range.
bool validBits(qint32 bits)
{
    return bits >= 1 && bits <= 31;
}

float largestCode(qint32 bits)
{
    return static_cast<float>((std::int64_t(1) << bits) - 1);
}
} // namespace

qint32 floatToFixed(float x, float min, float max, qint32 bits)
{
    if (!validBits(bits))
        return 0;
    const float d = x - min;
    const float s = max - min;
    const float k = largestCode(bits);
    if (s == 0.0f)
        return 0;
    const float r = (k * d) / s;
    // Converting NaN or a value outside the int range to an integer is undefined.
    if (std::isnan(r))
        return 0;
    if (r >= 2147483648.0f)
        return INT32_MAX;
    if (r < -2147483648.0f)
        return INT32_MIN;
    return static_cast<qint32>(r);
}
