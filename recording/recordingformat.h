#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>

// The recording text format, one line at a time.
//
// A recording is the sample count, then for position, velocity and current a header
// line followed by one line per sample, every line ended by a single line feed. A
// sample is written with exactly three decimals, as "%.3f" of the float widened to
// double. A run whose samples have receive times adds a fourth section, "[Time]", with
// one line of seconds per sample written as "%.6f". Reading takes the file in pieces of at most 19
// bytes (a piece ends after a line feed or after 19 bytes), so an over-long line counts as several
// lines.

namespace recording {

constexpr int sectionCount = 3;
constexpr int pieceLimit = 19;
constexpr int progressStep = 5000;
// Room formatSample needs: sign, 39 integer digits of FLT_MAX, point, 3 decimals.
constexpr int sampleTextMax = 64;
// Room formatTime needs: sign, 309 integer digits of DBL_MAX, point, 6 decimals.
constexpr int timeTextMax = 320;
// What headerSection gives for the time header.
constexpr int timeSection = sectionCount;
// Times from 0 to this many seconds can be read; anything else is no receive time.
constexpr double timeLimit = 1e9;

// "[Position]", "[Velocity]", "[Current]", in history order.
extern const char *const sectionHeaders[sectionCount];
extern const char *const timeHeader;

// The first line of a CSV export; each row after it is the sample index, its time
// (empty when the run has none) as formatTime writes it, and the position, velocity
// and current sample, written as formatSample writes them.
extern const char *const csvHeader;

// Writes value as printf("%.3f", double(value)) would, without a terminator;
// returns the number of characters written. `out` needs sampleTextMax bytes.
int formatSample(float value, char *out);

// Decodes one piece (at most pieceLimit bytes) as UTF-8 up to its first zero byte
// and converts it with the toolkit's float conversion, surrounding white space
// ignored. Text that is not a finite float ("nan", "inf", "1e39", an empty line)
// gives 0 and is counted in `notNumbers`.
float parseSampleText(const char *piece, std::size_t length, qint64 &notNumbers);

// The value of the shape every writer produces (optional minus, digits, optional
// point and digits, optional line feed), worked out without building a string, as the
// double nearest to it; false, with `value` untouched, for any other text.
inline bool parsePlainDecimal(const char *piece, std::size_t length, double &value)
{
    const char *p = piece;
    const char *end = piece + length;
    if (end != p && end[-1] == '\n')
        --end;
    const bool negative = p != end && *p == '-';
    if (negative)
        ++p;
    std::uint64_t digits = 0;
    int count = 0;
    int decimals = 0;
    const char *intStart = p;
    while (p != end && unsigned(*p - '0') < 10) {
        digits = digits * 10 + unsigned(*p - '0');
        ++p;
    }
    count = int(p - intStart);
    if (p != end && *p == '.') {
        const char *fracStart = ++p;
        while (p != end && unsigned(*p - '0') < 10) {
            digits = digits * 10 + unsigned(*p - '0');
            ++p;
        }
        decimals = int(p - fracStart);
        if (decimals == 0)
            return false;
        count += decimals;
    }
    // At most 15 digits keep the integer exact in a double, and one correctly
    // rounded division then gives the same double as a full decimal conversion.
    if (p != end || count == 0 || count > 15)
        return false;
    static constexpr double powersOfTen[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double magnitude = double(digits) / powersOfTen[decimals];
    value = negative ? -magnitude : magnitude;
    return true;
}

// The same conversion as parseSampleText, plain decimals taking the short way.
inline float parseSample(const char *piece, std::size_t length, qint64 &notNumbers)
{
    double value = 0;
    return parsePlainDecimal(piece, length, value) ? float(value)
                                                   : parseSampleText(piece, length, notNumbers);
}

// Writes `seconds` as printf("%.6f", seconds) would, without a terminator; returns the
// number of characters written. `out` needs timeTextMax bytes.
int formatTime(double seconds, char *out);

// Decodes one piece as parseSampleText does, but as a double: false for text that is
// not a finite number.
bool parseTimeText(const char *piece, std::size_t length, double &seconds);

inline bool parseTime(const char *piece, std::size_t length, double &seconds)
{
    return parsePlainDecimal(piece, length, seconds) || parseTimeText(piece, length, seconds);
}

// What parseCount gives for a count whose digits go beyond the 64-bit range.
constexpr qint64 countTooLarge = -2;

// Decodes the count line: a base-10 integer of 0 or more with surrounding white
// space ignored; digits beyond the 64-bit range give countTooLarge, anything else -1.
qint64 parseCount(const char *piece, std::size_t length);

// The section whose header the piece is (timeSection for the time header), surrounding
// white space ignored; -1 if none.
int headerSection(const char *piece, std::size_t length);

// The progress figure 33 * section + 33 * index / count, worked in single
// precision and written with at most six significant digits ("13.75", "66").
QString progressFigure(int section, qint64 index, qint64 count);

// The progress figure of a CSV export at row `index`: 100 * index / count, worked and
// written the same way.
QString rowProgressFigure(qint64 index, qint64 count);

} // namespace recording
