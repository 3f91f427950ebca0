#include "recordingformat.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace recording {

const char *const sectionHeaders[sectionCount] = {"[Position]", "[Velocity]", "[Current]"};
const char *const csvHeader = "sample,position_rad,velocity_rad_s,current_a";

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
    return -1;
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
