#pragma once

#include "curvelines.h"
#include "plotview.h"

#include <QtGlobal>

// Arithmetic over the samples in a plot's x window: the y view that fits them and the
// sample under a pixel column. Both use the samples the curve is drawn through.

// A range of values, low <= high unless empty.
struct ValueRange
{
    float low = 0;
    float high = 0;
    bool empty = true;
};

// The lowest and highest finite sample of `span`, first to last inclusive; empty when it
// holds none. One pass: about 20 ms over a whole 32,000,000-sample history.
ValueRange finiteRange(const float *samples, SampleSpan span);

// The y view that shows `range` with 5 % of its span to spare at each end, inside the
// limits. A range of one value gets a tenth of the limit span (1 if the limits have none)
// around it. Empty when nothing of the range lies inside the limits.
ValueRange fittedView(ValueRange range, float limitMin, float limitMax);

// The visible sample nearest to pixel column `x` (fractional), or -1 where no sample the
// curve is drawn through lies within half a sample: beside the curve's ends, in the label
// column, before the first resize, or with fewer than two samples to draw.
qint64 nearestSample(const PlotView &view, const PlotGeometry &g, double x, qint64 sampleCount);
