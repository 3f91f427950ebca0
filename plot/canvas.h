#pragma once

#include "curvelines.h"
#include "plotview.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QLineF>
#include <QPointF>
#include <QRect>
#include <QRegion>
#include <QStaticText>
#include <QVector>
#include <QWidget>

class QAction;
class QMenu;

// Plots one feedback history of the shared motor state over a grid with value labels.
// The owner sets the channel, limits, view and x window; the user zooms with the wheel
// (x, or y while the right button is held), pans by dragging with the left button, and
// double-clicks to fit the y view to the visible samples or, when the view is y-zoomed
// either way, to return it to the limits. Hovering shows a line at the pointer with the
// index, receive time and value of the sample under it; the plot's menu switches the
// x axis between sample numbers and seconds. A one-line hint in the top-left corner names
// the gestures until the user closes it with its "×", for every plot at once.
// None of the setters repaints: the owner repaints after changing a plot.
class Canvas : public QWidget
{
    Q_OBJECT
public:
    explicit Canvas(QWidget *parent = nullptr);

    void setChannel(int k) { m_channel = k; }
    void setLimits(float min, float max) { m_view.setLimits(min, max); }
    void setLimitMax(float v) { m_view.setLimitMax(v); }
    void setLimitMin(float v) { m_view.setLimitMin(v); }
    void setView(float min, float max) { m_view.setView(min, max); }
    void setViewTop(float v) { m_view.setViewTop(v); }
    void setViewBottom(float v) { m_view.setViewBottom(v); }
    void setRefValue(float v) { m_refValue = v; }
    void setShowRef(bool on) { m_showRef = on; }
    void setXLimit(float v) { m_view.setXLimit(v); }
    void setXRange(float start, float end) { m_view.setXRange(start, end); }
    void setXStart(float v) { m_view.setXStart(v); }
    void setXEnd(float v) { m_view.setXEnd(v); }
    void setHold(int h) { m_hold = h; }
    void setYZoomed(int z) { m_yZoomed = z; }

    int channel() const { return m_channel; }
    float limitMax() const { return m_view.limitMax(); }
    float limitMin() const { return m_view.limitMin(); }
    float viewTop() const { return m_view.viewTop(); }
    float viewBottom() const { return m_view.viewBottom(); }
    float refValue() const { return m_refValue; }
    bool showRef() const { return m_showRef; }
    float xStart() const { return m_view.xStart(); }
    float xEnd() const { return m_view.xEnd(); }
    float xLimit() const { return m_view.xLimit(); }
    float xStep() const { return m_view.xStep(); }
    int hold() const { return m_hold; }
    int yZoomed() const { return m_yZoomed; }

    // Whether the plots show the gesture hint; shared by all plots, shown at start.
    static void setHintVisible(bool on);
    static bool hintVisible();
    // Whether the plots label their x axis with the samples' receive times in seconds
    // rather than with sample numbers; shared by all plots. Zoom, drag and the scroll
    // bar still work on samples. A run without times is labelled with sample numbers.
    static void setSecondsAxis(bool on);
    static bool secondsAxis();

    // Repaints the plot after the owner moved its window or new samples arrived. A shown
    // plot composes its frame at once and asks to repaint only the areas that may differ
    // from the last frame, so that little is copied out to the window each time.
    void refresh();

    // Renders the plot as it is shown, without the hint and the cursor readout, with its
    // top-left corner at `targetOffset` in the painter's coordinates.
    void renderPlot(QPainter *painter, const QPoint &targetOffset);

signals:
    void setMainStatuBar(QString text);
    void setHScrollValues(int min, int max, int cur);
    // The user zoomed or dragged the x window.
    void reCalculateHScroll();
    // The user closed the hint; it is now hidden on every plot.
    void hintDismissed();
    // The user chose seconds or sample numbers from the plot's menu, for every plot.
    void secondsAxisChanged(bool on);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void drawGrid(QPainter &painter);
    void scheduleGridImage();
    void makeGridImage();
    void dropGridImage();
    // Adds the areas it may have drawn on to `drawn`, when given.
    void drawLabels(QPainter &painter, QVector<QRect> *drawn = nullptr);
    // The columns the curve covers; false when there is no curve to draw.
    bool curveSpans(const float *samples, qint64 count, QVector<ColumnSpan> &spans) const;
    void drawCurve(QPainter &painter, const float *samples, qint64 count);
    // The grid's image with the labels and the curve over it, in m_frame.
    void composeFrame(const float *samples, qint64 count);
    void copyFromGrid(const QRect &r);
    // Whether a paint can copy out a composed frame: the grid's image is ready at this size.
    bool composable() const;
    bool frameContinues() const;
    // Where the labels and the curve of m_frame drew over the grid.
    QRegion frameDrawnRegion() const;
    void drawHint(QPainter &painter);
    void drawReadout(QPainter &painter, const float *samples, qint64 count);
    void fitOrUnfit();
    void showAxisMenu(const QPoint &at);
    // Where the hint's text box and its close button are.
    QRect hintBox() const;
    QRect hintCloseBox() const;

    int m_channel = 0;
    QVector<QLineF> m_hGridLines;
    QVector<QLineF> m_vGridLines;
    // The grid lines as the pixel rows and columns they cover, each with its coverage.
    QVector<QRect> m_gridRects;
    QVector<QColor> m_gridColours;
    // The axis labels laid out once: the value labels are the same from one refresh to
    // the next until the view moves, and laying text out costs more than drawing it.
    QHash<QString, QStaticText> m_labelTexts;
    QFont m_labelTextsFont;
    mutable QRect m_hintBox;
    mutable QFont m_hintBoxFont;
    // The window's background beneath the plot with the grid drawn over it, made once
    // per size and drawn at each paint; null until made.
    QImage m_gridImage;
    bool m_gridImageDue = false;
    // What a paint shows beneath the readout and the hint, composed in place.
    QImage m_frame;
    qint64 m_frameGridKey = 0;
    // What the labels and the curve drew over the grid in m_frame.
    QVector<QRect> m_frameDrawn;
    QVector<ColumnSpan> m_frameSpans;
    // Set by refresh: m_frame shows the plot as it is, and m_freshRegion holds what it
    // changed since the last paint; a paint of only that region need not compose again.
    bool m_frameFresh = false;
    QRegion m_freshRegion;
    // The curve's premultiplied colour at each coverage level, for m_curveColoursChannel.
    quint32 m_curveColours[coverageLevels + 1] = {};
    int m_curveColoursChannel = -1;
    QPointF m_lastPos;
    float m_refValue = 0;
    PlotGeometry m_geometry;
    PlotView m_view;
    int m_hold = 0;
    int m_yZoomed = 0;
    bool m_rightHeld = false;
    bool m_rightWheeled = false; // the wheel turned while the right button was held
    QPoint m_rightPressedAt;
    QMenu *m_axisMenu = nullptr;
    QAction *m_secondsAction = nullptr;
    bool m_showRef = false;
    bool m_dragging = false;
    bool m_hovered = false;
    // Off while rendering for an image.
    bool m_overlays = true;
    QPointF m_pointer;
};
