#include "curvelines.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Far enough outside any plot that the visible part of a clamped line keeps its slope to
// well within a pixel, near enough that the float-to-int conversion is always defined.
constexpr double pixelBound = 65536;

bool toPixel(double v, int &pixel)
{
    if (std::isnan(v))
        return false;
    pixel = static_cast<int>(std::min(std::max(v, -pixelBound), pixelBound));
    return true;
}

} // namespace

SampleSpan visibleSamples(const PlotView &view, qint64 sampleCount)
{
    SampleSpan span;
    const double start = view.xStart();
    // For a whole i, i < x holds exactly when i < ceil(x).
    const double stop = std::min(
        {double(sampleCount), std::ceil(double(view.xEnd())), std::ceil(double(view.xLimit()))});
    // Compared before converting, so that no out-of-range or NaN bound becomes an integer.
    if (!(start >= 0) || !(std::trunc(start) < stop - 1))
        return span;
    span.first = static_cast<qint64>(start);
    span.last = static_cast<qint64>(stop) - 1;
    return span;
}

bool curvePoint(const float *samples, qint64 i, const PlotView &view, const PlotGeometry &g,
                QPoint &point)
{
    const float span = view.ySpan();
    const float step = view.xStep();
    if (!std::isfinite(span) || span == 0 || !std::isfinite(step) || !(step > 0))
        return false;
    int x = 0;
    int y = 0;
    if (!toPixel(view.xPixel(double(i), g), x) || !toPixel(view.yPixel(samples[i], g), y))
        return false;
    point = QPoint(x, y);
    return true;
}

void buildCurveLines(const float *samples, SampleSpan span, const PlotView &view,
                     const PlotGeometry &g, QVector<QLine> &lines)
{
    lines.clear();
    if (!span.drawable())
        return;
    bool inRun = false;
    QPoint last;
    int low = 0;
    int high = 0;
    const auto closeRun = [&] {
        if (inRun && high > low)
            lines.append(QLine(last.x(), low, last.x(), high));
    };
    for (qint64 i = span.first; i <= span.last; ++i) {
        QPoint p;
        if (!curvePoint(samples, i, view, g, p)) {
            // A sample without a pixel breaks the curve, like a missing segment.
            closeRun();
            inRun = false;
            continue;
        }
        if (inRun && p.x() == last.x()) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
            last = p;
            continue;
        }
        closeRun();
        if (inRun)
            lines.append(QLine(last, p));
        low = high = p.y();
        last = p;
        inRun = true;
    }
    closeRun();
}

void strokeColumns(const QVector<QLine> &lines, double penWidth, QVector<ColumnSpan> &spans)
{
    const int columns = spans.size();
    for (ColumnSpan &s : spans)
        s = ColumnSpan();
    const double half = penWidth / 2;
    for (const QLine &line : lines) {
        const QPointF p = line.p1();
        const QPointF q = line.p2();
        const QPointF delta = q - p;
        const double length = std::hypot(delta.x(), delta.y());
        // A point is drawn as a square, like a line of no length with square ends.
        const QPointF along = length > 0 ? delta * (half / length) : QPointF(half, 0);
        const QPointF across(-along.y(), along.x());
        const QPointF corner[4] = {p - along + across, q + along + across, q + along - across,
                                   p - along - across};
        double minX = corner[0].x();
        double maxX = corner[0].x();
        for (const QPointF &c : corner) {
            minX = std::min(minX, c.x());
            maxX = std::max(maxX, c.x());
        }
        // Columns whose centre c + 0.5 lies inside the stroke.
        const int first = std::max(0, static_cast<int>(std::ceil(minX - 0.5)));
        const int last = std::min(columns - 1, static_cast<int>(std::floor(maxX - 0.5)));
        for (int c = first; c <= last; ++c) {
            const double x = c + 0.5;
            double top = std::numeric_limits<double>::infinity();
            double bottom = -top;
            for (int e = 0; e < 4; ++e) {
                const QPointF &a = corner[e];
                const QPointF &b = corner[(e + 1) % 4];
                if (x < std::min(a.x(), b.x()) || x > std::max(a.x(), b.x()))
                    continue;
                if (a.x() == b.x()) {
                    top = std::min({top, a.y(), b.y()});
                    bottom = std::max({bottom, a.y(), b.y()});
                    continue;
                }
                const double y = a.y() + (x - a.x()) * (b.y() - a.y()) / (b.x() - a.x());
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
            if (!(bottom > top))
                continue;
            ColumnSpan &s = spans[c];
            if (s.empty()) {
                s.top = top;
                s.bottom = bottom;
            } else {
                s.top = std::min(s.top, top);
                s.bottom = std::max(s.bottom, bottom);
            }
        }
    }
}

void visitCoverage(const QVector<ColumnSpan> &spans, int height,
                   const std::function<void(int column, int row, int rows, int level)> &cover)
{
    const auto coverPart = [&](int column, int row, double coverage) {
        const int level =
            std::min(static_cast<int>(coverage * coverageLevels + 0.5), coverageLevels);
        if (level > 0)
            cover(column, row, 1, level);
    };
    for (int c = 0; c < spans.size(); ++c) {
        const ColumnSpan &s = spans[c];
        if (s.empty())
            continue;
        const double top = std::max(s.top, 0.0);
        const double bottom = std::min(s.bottom, double(height));
        if (!(bottom > top))
            continue;
        const int firstRow = static_cast<int>(std::floor(top));
        const int lastRow = static_cast<int>(std::ceil(bottom)) - 1;
        if (firstRow == lastRow) {
            coverPart(c, firstRow, bottom - top);
            continue;
        }
        coverPart(c, firstRow, firstRow + 1 - top);
        if (lastRow - firstRow > 1)
            cover(c, firstRow + 1, lastRow - firstRow - 1, coverageLevels);
        coverPart(c, lastRow, bottom - lastRow);
    }
}

void coverageRects(const QVector<ColumnSpan> &spans, int height, QVector<QRect> &solid,
                   QVector<QRect> (&partial)[coverageLevels])
{
    solid.clear();
    for (QVector<QRect> &p : partial)
        p.clear();
    visitCoverage(spans, height, [&](int column, int row, int rows, int level) {
        (level == coverageLevels ? solid : partial[level]).append(QRect(column, row, 1, rows));
    });
}

namespace {

// Each byte of x times a / 255, rounded as the raster engine's source-over rounds it.
inline quint32 byteMul(quint32 x, quint32 a)
{
    quint32 t = (x & 0xff00ffu) * a;
    t = ((t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
    x = ((x >> 8) & 0xff00ffu) * a;
    x = (x + ((x >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
    return x | t;
}

} // namespace

void blendCoverage(QImage &image, const QVector<ColumnSpan> &spans,
                   const quint32 (&colours)[coverageLevels + 1])
{
    const int columns = std::min(int(spans.size()), image.width());
    const qsizetype stride = image.bytesPerLine() / qsizetype(sizeof(quint32));
    quint32 *const pixels = reinterpret_cast<quint32 *>(image.bits());
    visitCoverage(spans, image.height(), [&](int column, int row, int rows, int level) {
        if (column >= columns)
            return;
        const quint32 colour = colours[level];
        const quint32 keep = 255 - (colour >> 24);
        quint32 *p = pixels + row * stride + column;
        for (int r = 0; r < rows; ++r, p += stride)
            *p = keep == 0 ? colour : colour + byteMul(*p, keep);
    });
}
