#include "parametercheck.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace {
// Limits in messages read like printf's "%g": six significant digits, no trailing zeros.
QString limitText(double v)
{
    return QString::asprintf("%g", v);
}

float parseParameter(const QString &text)
{
    bool ok = false;
    const double parsed = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || std::isnan(parsed))
        return 0;
    if (std::fabs(parsed) > std::numeric_limits<float>::max())
        return parsed > 0 ? std::numeric_limits<float>::infinity()
                          : -std::numeric_limits<float>::infinity();
    return static_cast<float>(parsed);
}
} // namespace

ParameterCheck checkParameter(const QString &text, double min, double max, const QString &name)
{
    ParameterCheck check;
    check.value = parseParameter(text);
    check.accepted =
        static_cast<double>(check.value) >= min && static_cast<double>(check.value) <= max;
    if (!check.accepted) {
        check.value = 0;
        check.message = QStringLiteral("Invalid data : %1 should be within [%2,%3]")
                            .arg(name, limitText(min), limitText(max));
    }
    return check;
}

bool rememberedParameterFits(const QString &text, double min, double max)
{
    // A field's text is short; anything longer is not one of ours.
    constexpr int longestText = 32;
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    // NaN fails both comparisons.
    return ok && text.size() <= longestText && value >= min && value <= max;
}
