#include "doublecanvas.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPen>

#include <cmath>

namespace {

// Each component is truncated toward zero and must land in 0..255. The check is made on
// the float, before any conversion: a non-finite or far out-of-range float has no integer
// value, and a side of zero span makes its components infinite or NaN.
bool runColour(float red, float green, float blue, QColor &colour)
{
    const auto inRange = [](float c) { return c > -1.0f && c < 256.0f; };
    if (!inRange(red) || !inRange(green) || !inRange(blue))
        return false;
    colour = QColor(static_cast<int>(red), static_cast<int>(green), static_cast<int>(blue));
    return true;
}

} // namespace

DoubleCanvas::DoubleCanvas(QWidget *parent) : QWidget(parent)
{
    // The white fill covers every pixel: nothing beneath the bar needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

float DoubleCanvas::markerFor(float u, bool upper) const
{
    const float half = static_cast<float>(width() / 2);
    const float offset = upper ? u - m_mid : m_mid - u;
    const float span = upper ? m_max - m_mid : m_mid - m_min;
    const float x =
        upper ? half + offset / span * width() * 0.5f : half - offset / span * width() * 0.5f;
    if (std::isfinite(x))
        return x;
    // A side of zero span: a value on the middle sits at the centre, one beyond it at the
    // end of that side.
    if (offset > 0)
        return upper ? static_cast<float>(width()) : 0.0f;
    return half;
}

void DoubleCanvas::setValue(float v)
{
    if (v > m_max)
        v = m_max;
    if (v < m_min)
        v = m_min;
    // A NaN sample has no place on the bar; show the middle instead.
    if (std::isnan(v))
        v = m_mid;
    m_value = v;
    m_markerX = markerFor(m_value, m_value >= m_mid);
}

void DoubleCanvas::setMax(float v)
{
    m_max = v < m_min ? m_min : v;
    updateUpperCoefficients();
    m_markerX = markerFor(m_value, m_value > m_mid);
}

void DoubleCanvas::setMin(float v)
{
    m_min = v > m_max ? m_max : v;
    updateLowerCoefficients();
    m_markerX = markerFor(m_value, m_value > m_mid);
}

void DoubleCanvas::setMid(float v)
{
    if (v >= m_max)
        v = m_max - 1;
    if (v <= m_min)
        v = m_min + 1;
    m_mid = v;
    updateUpperCoefficients();
    updateLowerCoefficients();
    m_markerX = markerFor(m_value, m_value > m_mid);
}

void DoubleCanvas::setAll(float max, float min, float mid, float value)
{
    m_max = max;
    m_min = min;
    m_markerX = static_cast<float>(width() / 2);
    setMid(mid);
    setValue(value);
}

void DoubleCanvas::setRange(float min, float max)
{
    // Both bounds at once: setting them one at a time clamps the first against the old
    // other one, so a new range wholly beside the old one would keep an old bound.
    m_min = min;
    m_max = max;
    // The run grows from 0 when the range holds it; a range beside 0 has no such point,
    // and its middle keeps both halves of the bar in use.
    m_mid = min < 0 && 0 < max ? 0.0f : min + (max - min) / 2;
    updateUpperCoefficients();
    updateLowerCoefficients();
    setValue(m_value);
}

void DoubleCanvas::updateUpperCoefficients()
{
    const float span = m_max - m_mid;
    m_upperRed = 255 / span;
    m_upperGreen = -255 / span;
    m_upperBlue = 0 / span;
}

void DoubleCanvas::updateLowerCoefficients()
{
    const float span = m_mid - m_min;
    m_lowerRed = 0 / span;
    m_lowerGreen = -255 / span;
    m_lowerBlue = 255 / span;
}

void DoubleCanvas::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    QPen pen = painter.pen();
    const int w = width();
    const int h = height();
    const int half = w / 2;

    pen.setColor(Qt::white);
    pen.setWidth(3 * h);
    painter.setPen(pen);
    painter.drawLine(0, 0, w, 0);
    pen.setWidth(1);

    // Columns beyond the edges are clipped anyway; bounding the marker first keeps its
    // conversion defined and the loop short when the value lies far outside new bounds.
    const int m = static_cast<int>(std::min(std::max(m_markerX, -1.0f), float(w)));
    const bool upper = m_markerX >= half;
    const float span = upper ? m_max - m_mid : m_mid - m_min;
    // The colour parameter reaches the full span, pure red or pure blue, at the bar's end.
    m_colourScale = half / span;
    const float red = upper ? m_upperRed : m_lowerRed;
    const float green = upper ? m_upperGreen : m_lowerGreen;
    const float blue = upper ? m_upperBlue : m_lowerBlue;
    const int first = upper ? half : std::max(m, 0);
    const int last = upper ? std::min(m, w - 1) : half;
    for (int x = first; x <= last; ++x) {
        const float t = std::abs(x - half) / m_colourScale;
        QColor colour;
        if (!runColour(red * t, green * t + 255, blue * t, colour))
            continue;
        pen.setColor(colour);
        painter.setPen(pen);
        painter.drawLine(x, 1, x, h - 2);
    }

    pen.setColor(Qt::black);
    pen.setWidth(1);
    painter.setPen(pen);
    painter.drawRect(QRect(QPoint(0, 0), QPoint(w - 2, h - 2)));
    event->accept();
}
