#include "samplewindow.h"

#include <cfloat>
#include <cmath>

ValueRange finiteRange(const float *samples, SampleSpan span)
{
    ValueRange range;
    float low = FLT_MAX;
    float high = -FLT_MAX;
    for (qint64 i = span.first; i <= span.last; ++i) {
        const float v = samples[i];
        // False for NaN and both infinities, which have no place on the axis.
        if (std::fabs(v) <= FLT_MAX) {
            low = v < low ? v : low;
            high = v > high ? v : high;
        }
    }
    if (low <= high) {
        range.low = low;
        range.high = high;
        range.empty = false;
    }
    return range;
}

ValueRange fittedView(ValueRange range, float limitMin, float limitMax)
{
    ValueRange view;
    if (range.empty)
        return view;
    // In double: the span of two finite floats may overflow a float.
    const double span = double(range.high) - double(range.low);
    double margin = 0.05 * span;
    if (!(span > 0)) {
        const double limitSpan = double(limitMax) - double(limitMin);
        margin = limitSpan > 0 && std::isfinite(limitSpan) ? 0.05 * limitSpan : 0.5;
    }
    const double bottom = std::max(double(limitMin), double(range.low) - margin);
    const double top = std::min(double(limitMax), double(range.high) + margin);
    // Within the float range: infinite limits do not bound a margin around the largest floats.
    view.low = float(std::max(bottom, -double(FLT_MAX)));
    view.high = float(std::min(top, double(FLT_MAX)));
    // Nothing inside the limits, or NaN limits.
    view.empty = !(view.high > view.low);
    return view;
}

qint64 nearestSample(const PlotView &view, const PlotGeometry &g, double x, qint64 sampleCount)
{
    const SampleSpan span = visibleSamples(view, sampleCount);
    // The inverse of PlotView::xPixel, in double: indexes beyond 2^24 are not exact in a float.
    const double sample =
        std::floor(view.xStart() + x * double(view.xStep()) / g.columnWidth + 0.5);
    // Compared before converting, so that no NaN or far-off value becomes an integer. A plot
    // before its first resize gives no finite index, and a window of no width or fewer than
    // two samples to draw an empty span.
    if (!(sample >= double(span.first) && sample <= double(span.last)))
        return -1;
    return static_cast<qint64>(sample);
}
