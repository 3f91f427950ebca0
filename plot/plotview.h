#pragma once

#include <algorithm>

// Pixel layout of a plot: 11 bands of equal height and 11 columns of equal width. The
// horizontal grid lines run through the band centres, the vertical ones along the column
// left edges; the left ten columns hold the data and the eleventh the value labels.
struct PlotGeometry
{
    int width = 0;
    int height = 0;
    float bandHalf = 0;
    float bandHeight = 0;
    float columnWidth = 0;

    static PlotGeometry forSize(int width, int height);
    double gridY(int i) const { return double(bandHeight) * i + bandHalf; }
    double gridX(int i) const { return double(i) * columnWidth; }
};

// The part of a history a plot shows: an x window of sample indexes and a y view of values.
// Every operation that moves the window keeps 0 <= xStart and xEnd <= max(xLimit, 2000);
// every one that moves the view keeps limitMin <= viewBottom and viewTop <= limitMax.
// setLimits and setXLimit only move the bounds, never the window or the view.
class PlotView
{
public:
    static constexpr float minimumXLimit = 2000;
    static constexpr float xZoomStep = 62;
    static constexpr float narrowestZoomWidth = 250;
    static constexpr float widestZoomWidth = 16000;

    void setLimits(float min, float max);
    void setLimitMax(float v) { m_limitMax = v; }
    void setLimitMin(float v) { m_limitMin = v; }
    void setView(float min, float max);
    void setViewTop(float v);
    void setViewBottom(float v);
    void setXLimit(float v) { m_xLimit = v > minimumXLimit ? v : minimumXLimit; }
    void setXRange(float start, float end);
    void setXStart(float v);
    void setXEnd(float v);

    // One wheel notch on the x window, inward for a positive delta. Returns whether a
    // step was taken (the window was wide or narrow enough to take it).
    bool zoomX(int delta);
    // One wheel notch on the y view, by 5 % of the limit span at each end.
    void zoomY(int delta);
    // Moves the content with the pointer: dxPix > 0 (pointer moved left) shows later
    // samples, dyPix > 0 (pointer moved down) shows higher values. Where a bound stops
    // one end, the other end is pulled back so the width stays the same.
    void drag(int dxPix, int dyPix, const PlotGeometry &g);
    // The y view lies inside the limits on at least one side.
    bool viewNarrowed() const { return m_viewBottom > m_limitMin || m_viewTop < m_limitMax; }

    // Unrounded pixel of a sample index and of a value.
    double xPixel(double sample, const PlotGeometry &g) const;
    double yPixel(double value, const PlotGeometry &g) const;

    float limitMax() const { return m_limitMax; }
    float limitMin() const { return m_limitMin; }
    float viewTop() const { return m_viewTop; }
    float viewBottom() const { return m_viewBottom; }
    float ySpan() const { return m_ySpan; }
    float yStep() const { return m_yStep; }
    float xStart() const { return m_xStart; }
    float xEnd() const { return m_xEnd; }
    float xLimit() const { return m_xLimit; }
    float xStep() const { return m_xStep; }

private:
    float xCeiling() const { return std::max(m_xLimit, minimumXLimit); }
    void updateY();
    void updateX() { m_xStep = (m_xEnd - m_xStart) / 10; }

    float m_limitMax = 0;
    float m_limitMin = 0;
    float m_viewTop = 0;
    float m_viewBottom = 0;
    float m_yStep = 0;
    float m_ySpan = 0;
    float m_xStart = 0;
    float m_xEnd = 2000;
    float m_xLimit = 2000;
    float m_xStep = 200;
};
