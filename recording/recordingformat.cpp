#include "recordingformat.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace recording {

const char *const sectionHeaders[sectionCount] = {"[Position]", "[Velocity]", "[Current]"};
const char *const timeHeader = "[Time]";
const char *const csvHeader = "sample,time_s,position_rad,velocity_rad_s,current_a";

namespace {

// Writes `value` in decimal, most significant digit first.
char *writeUnsigned(char *out, std::uint64_t value)
{
    char digits[20];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        *out++ = digits[--n];
    return out;
}

// "00", "01", ... "99", run together.
const char digitPairs[] = "0001020304050607080910111213141516171819202122232425262728293031323334"
                          "3536373839404142434445464748495051525354555657585960616263646566676869"
                          "707172737475767778798081828384858687888990919293949596979899";

QString pieceText(const char *piece, std::size_t length)
{
    const void *zero = std::memchr(piece, 0, length);
    if (zero)
        length = std::size_t(static_cast<const char *>(zero) - piece);
    return QString::fromUtf8(piece, int(length));
}

} // namespace

int formatSample(float value, char *out)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 31) != 0;
    const int biased = int((bits >> 23) & 0xFF);
    const std::uint64_t fraction = bits & 0x7FFFFF;
    // The float is mantissa * 2^exponent exactly; scaling by 1000 in integers and
    // rounding half to even reproduces printf's exact decimal rounding.
    const std::uint64_t mantissa = biased == 0 ? fraction : (fraction | 0x800000);
    const int exponent = (biased == 0 ? 1 : biased) - 150;
    if (biased == 0xFF || exponent > 29) {
        // Infinity, NaN and values of 2^53 and above: too wide for the integer route.
        const auto result =
            std::to_chars(out, out + sampleTextMax, double(value), std::chars_format::fixed, 3);
        return int(result.ptr - out);
    }
    const std::uint64_t scaled = mantissa * 1000; // below 2^34
    std::uint64_t thousandths = 0;
    if (exponent >= 0) {
        thousandths = scaled << exponent;
    } else if (exponent > -64) {
        const int shift = -exponent;
        thousandths = scaled >> shift;
        const std::uint64_t rest = scaled & ((std::uint64_t(1) << shift) - 1);
        const std::uint64_t half = std::uint64_t(1) << (shift - 1);
        if (rest > half || (rest == half && (thousandths & 1)))
            ++thousandths;
    }
    char *p = out;
    if (negative)
        *p++ = '-';
    p = writeUnsigned(p, thousandths / 1000);
    const unsigned decimals = unsigned(thousandths % 1000);
    p[0] = '.';
    p[1] = char('0' + decimals / 100);
    p[2] = char('0' + decimals / 10 % 10);
    p[3] = char('0' + decimals % 10);
    return int(p + 4 - out);
}

int formatTime(double seconds, char *out)
{
    const double magnitude = std::fabs(seconds);
    // Below 2^52 millionths every step of the arithmetic below is exact.
    if (!(magnitude < 4e9)) {
        const auto result =
            std::to_chars(out, out + timeTextMax, seconds, std::chars_format::fixed, 6);
        return int(result.ptr - out);
    }
    // The exact product is scaled + error (Dekker's product, 1e6 needing no split); it
    // rounds half to even, as printf does.
    const double scaled = magnitude * 1e6;
    const double split = magnitude * 134217729.0; // 2^27 + 1
    const double high = split - (split - magnitude);
    const double error = (high * 1e6 - scaled) + (magnitude - high) * 1e6;
    std::uint64_t millionths = std::uint64_t(scaled);
    const double aboveHalf = (scaled - double(millionths) - 0.5) + error;
    if (aboveHalf > 0 || (aboveHalf == 0 && (millionths & 1) != 0))
        ++millionths;
    char *p = out;
    if (std::signbit(seconds))
        *p++ = '-';
    p = writeUnsigned(p, millionths / 1000000);
    *p++ = '.';
    const unsigned fraction = unsigned(millionths % 1000000);
    std::memcpy(p, digitPairs + 2 * (fraction / 10000), 2);
    std::memcpy(p + 2, digitPairs + 2 * (fraction / 100 % 100), 2);
    std::memcpy(p + 4, digitPairs + 2 * (fraction % 100), 2);
    return int(p + 6 - out);
}

bool parseTimeText(const char *piece, std::size_t length, double &seconds)
{
    bool ok = false;
    const double value = pieceText(piece, length).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return false;
    seconds = value;
    return true;
}

float parseSampleText(const char *piece, std::size_t length, qint64 &notNumbers)
{
    bool ok = false;
    const float value = pieceText(piece, length).toFloat(&ok);
    if (!ok || !std::isfinite(value)) {
        ++notNumbers;
        return 0;
    }
    return value;
}

qint64 parseCount(const char *piece, std::size_t length)
{
    bool ok = false;
    const QString text = pieceText(piece, length).trimmed();
    const qint64 value = text.toLongLong(&ok, 10);
    if (ok)
        return value >= 0 ? value : -1;
    const bool digits = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    return digits ? countTooLarge : -1;
}

int headerSection(const char *piece, std::size_t length)
{
    const QString text = pieceText(piece, length).trimmed();
    for (int section = 0; section < sectionCount; ++section) {
        if (text == QLatin1String(sectionHeaders[section]))
            return section;
    }
    return text == QLatin1String(timeHeader) ? timeSection : -1;
}

QString progressFigure(int section, qint64 index, qint64 count)
{
    const float figure = 33.0f * float(section) + 33.0f * float(index) / float(count);
    return QString::number(double(figure), 'g', 6);
}

QString rowProgressFigure(qint64 index, qint64 count)
{
    const float figure = 100.0f * float(index) / float(count);
    return QString::number(double(figure), 'g', 6);
}

} // namespace recording
