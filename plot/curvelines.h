#pragma once

#include "plotview.h"

#include <QLine>
#include <QPoint>
#include <QRect>
#include <QVector>
#include <QtGlobal>

#include <functional>

class QImage;

// The samples a curve runs through, first to last inclusive: from the sample at or just
// left of xStart to the last one below xEnd, below xLimit and below the sample count.
struct SampleSpan
{
    qint64 first = 0;
    qint64 last = -1;
    bool drawable() const { return last > first; }
};

SampleSpan visibleSamples(const PlotView &view, qint64 sampleCount);

// The whole-pixel point of sample i, each coordinate truncated toward zero. False when it
// has none: a NaN sample, or a view of zero height or width.
bool curvePoint(const float *samples, qint64 i, const PlotView &view, const PlotGeometry &g,
                QPoint &point);

// The lines that draw the curve through the samples of `span`, replacing `lines`.
//
// Samples that land on the same pixel column are merged into one vertical line from the
// column's lowest to its highest point, and each column is joined to the next by the line
// from its last sample to the next column's first. With at most one sample per column these
// are exactly the lines from each sample to the next; with many samples per column they are
// at most two lines per column and cover the same pixels.
void buildCurveLines(const float *samples, SampleSpan span, const PlotView &view,
                     const PlotGeometry &g, QVector<QLine> &lines);

// The rows a stroke covers in one pixel column, from top to bottom in pixel coordinates;
// the rows at both ends may be covered in part. Empty unless bottom > top.
struct ColumnSpan
{
    double top = 0;
    double bottom = 0;
    bool empty() const { return !(bottom > top); }
};

// Strokes `lines` with a pen `penWidth` wide and square ends into one span per pixel
// column, for the columns 0 .. spans.size() - 1. Each column is sampled along its centre
// and its span is the union of what the lines cover there: exact in y, so the ends keep
// their anti-aliasing, and exact in x for vertical and horizontal lines.
void strokeColumns(const QVector<QLine> &lines, double penWidth, QVector<ColumnSpan> &spans);

// Rectangles that paint the spans on a surface `height` rows tall: `solid` for the fully
// covered rows, and partial[k] for end rows covered about k / coverageLevels.
constexpr int coverageLevels = 16;
// Calls cover(column, row, rows, level) for each run of rows the spans cover on a surface
// `height` rows tall: level coverageLevels for rows covered wholly, 1 .. coverageLevels - 1
// for an end row covered in part; end rows covered less than half a level are left out.
void visitCoverage(const QVector<ColumnSpan> &spans, int height,
                   const std::function<void(int column, int row, int rows, int level)> &cover);
void coverageRects(const QVector<ColumnSpan> &spans, int height, QVector<QRect> &solid,
                   QVector<QRect> (&partial)[coverageLevels]);

// Paints the spans straight into a 32-bit premultiplied (or opaque) image, source over:
// colours[level] is the premultiplied colour of the rows at that level and
// colours[coverageLevels] the opaque one. The pixels equal those of filling the rectangles
// of coverageRects with the same colours.
void blendCoverage(QImage &image, const QVector<ColumnSpan> &spans,
                   const quint32 (&colours)[coverageLevels + 1]);
