#include "canvas.h"

#include "curvelines.h"
#include "motorstate.h"

#include <QMouseEvent>
#include <QMutexLocker>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr int gridLineCount = 11;
constexpr double curvePenWidth = 2;

// A one-pixel line centred at `centre` covers the two pixel rows (or columns) it straddles,
// each by the part of it that falls there.
void addGridLine(double centre, bool horizontal, int length, QVector<QRect> &rects,
                 QVector<QColor> &colours)
{
    const double near = centre - 0.5;
    const int first = static_cast<int>(std::floor(near));
    const double coverage[2] = {first + 1 - near, near - first};
    for (int k = 0; k < 2; ++k) {
        const int alpha = static_cast<int>(std::lround(coverage[k] * 255));
        if (alpha <= 0)
            continue;
        rects.append(horizontal ? QRect(0, first + k, length, 1) : QRect(first + k, 0, 1, length));
        colours.append(QColor(200, 200, 200, alpha));
    }
}

// The classic single-axis delta: the larger of the two wheel axes.
int wheelDelta(const QWheelEvent *event)
{
    const QPoint a = event->angleDelta();
    return std::abs(a.x()) > std::abs(a.y()) ? a.x() : a.y();
}

QColor curveColour(int channel)
{
    switch (channel) {
    case PositionChannel:
        return QColor(255, 0, 0);
    case VelocityChannel:
        return QColor(0, 255, 0);
    default:
        return QColor(0, 0, 255);
    }
}

} // namespace

Canvas::Canvas(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
}

void Canvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        m_rightHeld = true;
    } else if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_lastPos = event->pos();
    }
    event->accept();
}

void Canvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        m_rightHeld = false;
    else if (event->button() == Qt::LeftButton)
        m_dragging = false;
    event->accept();
}

void Canvas::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    if (!m_dragging)
        return;
    const QPoint pos = event->pos();
    const int dxPix = static_cast<int>(m_lastPos.x() - pos.x());
    const int dyPix = static_cast<int>(pos.y() - m_lastPos.y());
    m_view.drag(dxPix, dyPix, m_geometry);
    update();
    emit reCalculateHScroll();
    m_lastPos = pos;
}

void Canvas::wheelEvent(QWheelEvent *event)
{
    const int delta = wheelDelta(event);
    if (m_rightHeld) {
        m_view.zoomY(delta);
    } else if (m_view.zoomX(delta)) {
        emit reCalculateHScroll();
    }
    m_yZoomed = m_view.viewNarrowed() ? 1 : 0;
    update();
    event->accept();
}

void Canvas::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const PlotGeometry &g = m_geometry;

    drawGrid(painter);

    QPen pen(QColor(100, 100, 100));
    pen.setWidth(1);
    painter.setPen(pen);
    QFont labelFont = font();
    labelFont.setPixelSize(18);
    painter.setFont(labelFont);
    const int labelX = static_cast<int>(g.width - g.columnWidth + 2);
    for (int i = 0; i < gridLineCount; ++i) {
        const float value = m_view.viewTop() - i * m_view.yStep();
        painter.drawText(labelX, static_cast<int>(g.gridY(i)), QString::number(value, 'f', 3));
    }
    for (int i = 0; i < gridLineCount; ++i) {
        const float sample = m_view.xStart() + i * m_view.xStep();
        painter.drawText(static_cast<int>(g.gridX(i)), g.height - 2,
                         QString::number(sample, 'f', 0));
    }

    if (m_showRef) {
        const double y = m_view.yPixel(m_refValue, g);
        // A view of no height or a non-finite value has no row to draw on.
        if (std::isfinite(y)) {
            pen.setWidth(3);
            pen.setStyle(Qt::DashLine);
            pen.setColor(Qt::black);
            painter.setPen(pen);
            const int row = static_cast<int>(std::min(std::max(y, -65536.0), 65536.0));
            painter.drawLine(0, row, g.width, row);
            pen.setStyle(Qt::SolidLine);
        }
    }

    drawCurve(painter);
    event->accept();
}

void Canvas::drawGrid(QPainter &painter)
{
    // The same pixels an anti-aliased one-pixel pen gives the grid lines, at a fraction of
    // the cost.
    for (int i = 0; i < m_gridRects.size(); ++i)
        painter.fillRect(m_gridRects[i], m_gridColours[i]);
}

void Canvas::drawCurve(QPainter &painter)
{
    // An unknown channel has no history to draw.
    if (m_channel < PositionChannel || m_channel > CurrentChannel)
        return;
    const float *samples = nullptr;
    qint64 count = 0;
    {
        // Other threads append while we paint; entries below the count copied here are
        // complete and the storage never moves, so the lock is not held while drawing.
        QMutexLocker lock(&stateMutex);
        const History &history = motorState.histories[m_channel];
        samples = history.data();
        count = std::min<qint64>(std::max(motorState.sampleCount, 0), qint64(history.size()));
    }
    QVector<QLine> lines;
    buildCurveLines(samples, visibleSamples(m_view, count), m_view, m_geometry, lines);
    if (lines.isEmpty())
        return;

    // A two-pixel pen, anti-aliased: each column's covered rows are filled, the partly
    // covered end rows with the matching opacity. Stroking every line on its own costs
    // several microseconds a line.
    QVector<ColumnSpan> spans(width());
    strokeColumns(lines, curvePenWidth, spans);
    QVector<QRect> solid;
    QVector<QRect> partial[coverageLevels];
    coverageRects(spans, height(), solid, partial);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    QColor colour = curveColour(m_channel);
    painter.setBrush(colour);
    painter.drawRects(solid);
    for (int level = 1; level < coverageLevels; ++level) {
        if (partial[level].isEmpty())
            continue;
        colour.setAlpha(level * 255 / coverageLevels);
        painter.setBrush(colour);
        painter.drawRects(partial[level]);
    }
    painter.restore();
}

void Canvas::resizeEvent(QResizeEvent *event)
{
    m_hGridLines.clear();
    m_vGridLines.clear();
    m_geometry = PlotGeometry::forSize(width(), height());
    m_gridRects.clear();
    m_gridColours.clear();
    for (int i = 0; i < gridLineCount; ++i) {
        const double y = m_geometry.gridY(i);
        const double x = m_geometry.gridX(i);
        m_hGridLines.append(QLineF(0, y, width(), y));
        m_vGridLines.append(QLineF(x, 0, x, height()));
    }
    for (const QLineF &line : qAsConst(m_hGridLines))
        addGridLine(line.y1(), true, width(), m_gridRects, m_gridColours);
    for (const QLineF &line : qAsConst(m_vGridLines))
        addGridLine(line.x1(), false, height(), m_gridRects, m_gridColours);
    event->accept();
}
