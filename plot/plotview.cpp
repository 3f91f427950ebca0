#include "plotview.h"

PlotGeometry PlotGeometry::forSize(int width, int height)
{
    PlotGeometry g;
    g.width = width;
    g.height = height;
    g.bandHalf = static_cast<float>(height / 22.0);
    g.bandHeight = static_cast<float>(height / 11.0);
    g.columnWidth = static_cast<float>(width / 11.0);
    return g;
}

void PlotView::setLimits(float min, float max)
{
    m_limitMin = min;
    m_limitMax = max;
}

void PlotView::setView(float min, float max)
{
    m_viewTop = std::min(m_limitMax, max);
    m_viewBottom = std::max(m_limitMin, min);
    updateY();
}

void PlotView::setViewTop(float v)
{
    m_viewTop = std::min(m_limitMax, v);
    updateY();
}

void PlotView::setViewBottom(float v)
{
    m_viewBottom = std::max(m_limitMin, v);
    updateY();
}

void PlotView::setXRange(float start, float end)
{
    m_xEnd = std::min(end, xCeiling());
    m_xStart = start > 0 ? start : 0;
    updateX();
}

void PlotView::setXStart(float v)
{
    m_xStart = std::max(v, 0.0f);
    updateX();
}

void PlotView::setXEnd(float v)
{
    m_xEnd = std::min(v, xCeiling());
    updateX();
}

bool PlotView::zoomX(int delta)
{
    float newStart = 0;
    float newEnd = 0;
    // Written as multiples of the step so that repeated notches land on the same indexes.
    if (delta > 0) {
        if (!(m_xEnd - m_xStart > narrowestZoomWidth))
            return false;
        newEnd = (m_xEnd / xZoomStep - 1) * xZoomStep;
        newStart = (m_xStart / xZoomStep + 1) * xZoomStep;
    } else if (delta < 0) {
        if (!(m_xEnd - m_xStart < widestZoomWidth))
            return false;
        newEnd = (m_xEnd / xZoomStep + 1) * xZoomStep;
        newStart = (m_xStart / xZoomStep - 1) * xZoomStep;
    } else {
        return false;
    }
    m_xEnd = std::min(newEnd, xCeiling());
    m_xStart = std::max(newStart, 0.0f);
    updateX();
    return true;
}

void PlotView::zoomY(int delta)
{
    const float span = m_limitMax - m_limitMin;
    const float narrowest = static_cast<float>(static_cast<double>(span) * 0.2);
    const float step = 0.25f * narrowest;
    if (delta > 0) {
        if (!(m_ySpan > narrowest))
            return;
        m_viewTop = std::min(m_limitMax, m_viewTop - step);
        m_viewBottom = std::max(m_limitMin, m_viewBottom + step);
    } else if (delta < 0) {
        if (!(span > m_ySpan))
            return;
        m_viewTop = std::min(m_limitMax, m_viewTop + step);
        m_viewBottom = std::max(m_limitMin, m_viewBottom - step);
    } else {
        return;
    }
    updateY();
}

void PlotView::drag(int dxPix, int dyPix, const PlotGeometry &g)
{
    // Before the first resize there is no pixel scale to move by.
    if (!(g.columnWidth > 0) || !(g.bandHeight > 0))
        return;
    const float width = m_xEnd - m_xStart;
    const float height = m_ySpan;
    const float dx = m_xStep / g.columnWidth * dxPix;
    const float dy = m_yStep / g.bandHeight * dyPix;

    m_xEnd = std::min(m_xEnd + dx, xCeiling());
    m_xStart = std::max(m_xStart + dx, 0.0f);
    updateX();
    m_viewTop = std::min(m_limitMax, m_viewTop + dy);
    m_viewBottom = std::max(m_limitMin, m_viewBottom + dy);
    updateY();

    if (dxPix > 0 && m_xStart + width > m_xEnd) {
        m_xStart = std::max(m_xEnd - width, 0.0f);
        updateX();
    }
    if (dxPix < 0 && m_xStart + width > m_xEnd) {
        m_xEnd = std::min(m_xStart + width, xCeiling());
        updateX();
    }
    if (dyPix < 0 && m_viewBottom + height > m_viewTop) {
        m_viewTop = std::min(m_limitMax, m_viewBottom + height);
        updateY();
    }
    if (dyPix > 0 && m_viewBottom + height > m_viewTop) {
        m_viewBottom = std::max(m_limitMin, m_viewTop - height);
        updateY();
    }
}

double PlotView::xPixel(double sample, const PlotGeometry &g) const
{
    // Double precision: sample indexes beyond 2^24 are not exact in a float.
    return (sample - m_xStart) * g.columnWidth / m_xStep;
}

double PlotView::yPixel(double value, const PlotGeometry &g) const
{
    return g.height -
           ((value - m_viewBottom) / m_ySpan * (g.height - double(g.bandHeight)) + g.bandHalf);
}

void PlotView::updateY()
{
    m_ySpan = m_viewTop - m_viewBottom;
    m_yStep = m_ySpan / 10;
}
