#pragma once

#include <QtGlobal>

// The motor protocol's arithmetic: the frames' byte-sum checksum and the
// conversions between physical values and unsigned fixed-point codes.
// Stateless and safe to call from any thread.

// Sum of `count` bytes taken as unsigned; 0 when count < 1. Frames store its low 8 bits.
// Inline, like fixedToFloat, because the decoder runs them for every frame.
inline quint32 byteSum(const quint8 *bytes, qint32 count)
{
    quint32 sum = 0;
    for (qint32 i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}
inline quint32 byteSum(const char *bytes, qint32 count)
{
    return byteSum(reinterpret_cast<const quint8 *>(bytes), count);
}

// Code of x over [min, max] with `bits` bits, truncated toward zero, not clamped.
// A NaN x or span, a zero span, or bits outside 1..31 give 0; a scaled value outside
// the 32-bit range saturates at the nearer end of that range.
qint32 floatToFixed(float x, float min, float max, qint32 bits);

// Value of `code` over [min, max] with `bits` bits. A zero span gives min; bits
// outside 1..31 give min.
inline float fixedToFloat(qint32 code, float min, float max, qint32 bits)
{
    // 2^bits - 1 as the protocol forms it: an integer shift, then a float.
    if (bits < 1 || bits > 31)
        return min;
    const float k = static_cast<float>((qint64(1) << bits) - 1);
    return ((max - min) * static_cast<float>(code)) / k + min;
}

// Widens [low, high] to include a decoded sample.
inline void widen(float value, float &low, float &high)
{
    // Comparisons with NaN are false, so a NaN sample leaves the range alone.
    if (value > high)
        high = value;
    if (value < low)
        low = value;
}
