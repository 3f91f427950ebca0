#include "canvas.h"

#include "backdrop.h"
#include "curvelines.h"
#include "motorstate.h"
#include "samplewindow.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr int gridLineCount = 11;
constexpr double curvePenWidth = 2;
constexpr int overlayFontPixels = 11;
constexpr int hintMargin = 4;
constexpr int hintPadding = 3;
// The close button's click target is at least this wide and high.
constexpr int closeTarget = 16;
// Qt 6's raster engine hands a translucent fill of 96 rows or more to its thread pool,
// waking its threads; in bands of fewer rows it blends them itself, to the same pixels.
constexpr int fillBandRows = 64;

// Shared so that closing it on one plot closes it on all.
bool hintShown = true;
// Shared so that the three plots' axes read alike.
bool secondsShown = false;

QFont overlayFont(const QFont &base)
{
    QFont f = base;
    f.setPixelSize(overlayFontPixels);
    return f;
}

QString hintText()
{
    return QStringLiteral("double-click: fit \u00b7 right button + wheel: y zoom");
}

QString closeMark()
{
    return QStringLiteral("\u00d7");
}

// Points `samples` at the channel's history and returns how many of its entries are
// complete; 0 for an unknown channel, which has no history.
qint64 channelSamples(int channel, const float *&samples)
{
    samples = nullptr;
    if (channel < PositionChannel || channel > CurrentChannel)
        return 0;
    // Other threads append while we read; entries below the count copied here are
    // complete and the storage never moves, so the lock is not held while reading them.
    QMutexLocker lock(&stateMutex);
    const History &history = motorState.histories[channel];
    samples = history.data();
    return std::min<qint64>(std::max(motorState.sampleCount, 0), qint64(history.size()));
}

// Points `times` at the receive times and returns how many samples have one: 0 for a
// run without times, whose plots can only count samples.
qint64 sampleTimes(const double *&times)
{
    QMutexLocker lock(&stateMutex);
    times = motorState.timeHistory.data();
    if (!motorState.hasTimes || !times)
        return 0;
    return std::min<qint64>(std::max(motorState.sampleCount, 0),
                            qint64(motorState.timeHistory.size()));
}

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

void Canvas::setHintVisible(bool on)
{
    hintShown = on;
}

void Canvas::setSecondsAxis(bool on)
{
    secondsShown = on;
}

bool Canvas::secondsAxis()
{
    return secondsShown;
}

void Canvas::contextMenuEvent(QContextMenuEvent *event)
{
    // The right button also zooms y while held with the wheel: its menu opens when it is
    // released without a turn of the wheel (mouseReleaseEvent), not when it is pressed.
    if (event->reason() != QContextMenuEvent::Mouse)
        showAxisMenu(event->globalPos());
    event->accept();
}

void Canvas::showAxisMenu(const QPoint &at)
{
    if (!m_axisMenu) {
        m_axisMenu = new QMenu(this);
        m_secondsAction = m_axisMenu->addAction(QStringLiteral("X axis in seconds"));
        m_secondsAction->setCheckable(true);
        connect(m_secondsAction, &QAction::triggered, this, [this](bool on) {
            secondsShown = on;
            emit secondsAxisChanged(on);
        });
    }
    m_secondsAction->setChecked(secondsShown);
    // A run read from a file without times can only count its samples.
    const double *times = nullptr;
    m_secondsAction->setEnabled(sampleTimes(times) > 0 || secondsShown);
    // Not exec(): the refresh and the workers' signals go on while the menu is open.
    m_axisMenu->popup(at);
}

bool Canvas::hintVisible()
{
    return hintShown;
}

void Canvas::renderPlot(QPainter *painter, const QPoint &targetOffset)
{
    // Drawn over the plot's own background, which an opaque plot would leave out.
    const bool opaque = testAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_overlays = false;
    render(painter, targetOffset, QRegion(), QWidget::DrawWindowBackground);
    m_overlays = true;
    setAttribute(Qt::WA_OpaquePaintEvent, opaque);
}

QRect Canvas::hintBox() const
{
    // Measured once per font: each paint asks for it.
    if (m_hintBox.isNull() || m_hintBoxFont != font()) {
        const QFontMetrics metrics(overlayFont(font()));
        const int textWidth =
            metrics.horizontalAdvance(hintText() + QLatin1Char(' ') + closeMark());
        m_hintBox = QRect(hintMargin, hintMargin, textWidth + 2 * hintPadding,
                          metrics.height() + 2 * hintPadding);
        m_hintBoxFont = font();
    }
    return m_hintBox;
}

QRect Canvas::hintCloseBox() const
{
    const QRect box = hintBox();
    const QFontMetrics metrics(overlayFont(font()));
    const int markWidth = metrics.horizontalAdvance(closeMark()) + 2 * hintPadding;
    QRect close(box.right() + 1 - markWidth, box.top(), markWidth, box.height());
    // A glyph a few pixels wide is a hard target; the click area grows around it.
    const int dx = std::max(0, closeTarget - close.width()) / 2;
    const int dy = std::max(0, closeTarget - close.height()) / 2;
    return close.adjusted(-dx, -dy, dx, dy);
}

void Canvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && hintShown && hintCloseBox().contains(event->pos())) {
        hintShown = false;
        update();
        emit hintDismissed();
    } else if (event->button() == Qt::RightButton) {
        m_rightHeld = true;
        m_rightWheeled = false;
        m_rightPressedAt = event->pos();
    } else if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_lastPos = event->pos();
    }
    event->accept();
}

void Canvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        m_rightHeld = false;
        // A right click, not the end of a y zoom or of a move.
        const bool moved = (event->pos() - m_rightPressedAt).manhattanLength() >=
                           QApplication::startDragDistance();
        if (!std::exchange(m_rightWheeled, false) && !moved)
            showAxisMenu(mapToGlobal(event->pos()));
    } else if (event->button() == Qt::LeftButton)
        m_dragging = false;
    event->accept();
}

void Canvas::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    m_pointer = event->pos();
    m_hovered = true;
    if (!m_dragging) {
        update();
        return;
    }
    const QPoint pos = event->pos();
    const int dxPix = static_cast<int>(m_lastPos.x() - pos.x());
    const int dyPix = static_cast<int>(pos.y() - m_lastPos.y());
    m_view.drag(dxPix, dyPix, m_geometry);
    update();
    emit reCalculateHScroll();
    m_lastPos = pos;
}

void Canvas::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    fitOrUnfit();
    update();
}

void Canvas::fitOrUnfit()
{
    if (m_yZoomed != 0) {
        m_view.setView(m_view.limitMin(), m_view.limitMax());
        m_yZoomed = 0;
        return;
    }
    const float *samples = nullptr;
    const qint64 count = channelSamples(m_channel, samples);
    const ValueRange view = fittedView(finiteRange(samples, visibleSamples(m_view, count)),
                                       m_view.limitMin(), m_view.limitMax());
    if (view.empty)
        return;
    m_view.setView(view.low, view.high);
    // Marked as zoomed whatever the view, so that the periodic refresh keeps it.
    m_yZoomed = 1;
}

void Canvas::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QWidget::leaveEvent(event);
}

void Canvas::wheelEvent(QWheelEvent *event)
{
    const int delta = wheelDelta(event);
    if (m_rightHeld) {
        m_rightWheeled = true;
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
    const float *samples = nullptr;
    const qint64 count = channelSamples(m_channel, samples);

    // An image rendered for a file has the plot's own background, not the window's.
    const qreal ratio = painter.device()->devicePixelRatioF();
    const bool gridReady = m_overlays && !m_gridImage.isNull() &&
                           m_gridImage.devicePixelRatioF() == ratio &&
                           m_gridImage.size() == size() * ratio;
    if (gridReady && ratio == 1) {
        // The grid, the labels and the curve are composed in one image and copied out: the
        // curve's pixels are blended in place instead of as a thousand small fills.
        const bool fresh = m_frameFresh && (event->region() - m_freshRegion).isEmpty();
        if (!fresh)
            composeFrame(samples, count);
        m_frameFresh = false;
        m_freshRegion = QRegion();
        // Each rectangle on its own, each with its own clip: under a clip of many
        // rectangles the raster engine no longer copies rows but blends spans.
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect &r : event->region()) {
            painter.setClipRect(r);
            painter.drawImage(r.topLeft(), m_frame, r);
        }
        painter.setClipping(false);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        painter.setRenderHint(QPainter::Antialiasing);
        if (gridReady) {
            painter.drawImage(0, 0, m_gridImage);
        } else {
            // Nothing is painted beneath an opaque plot: the grid's image stood for it.
            if (testAttribute(Qt::WA_OpaquePaintEvent)) {
                setAttribute(Qt::WA_OpaquePaintEvent, false);
                painter.fillRect(rect(), palette().window());
            }
            drawGrid(painter);
            if (m_overlays)
                scheduleGridImage();
        }
        drawLabels(painter);
        drawCurve(painter, samples, count);
    }
    if (m_overlays && m_hovered)
        drawReadout(painter, samples, count);
    // Where the paint leaves the hint's pixels as they are, they still show it.
    if (m_overlays && hintShown && event->region().intersects(hintBox()))
        drawHint(painter);
    event->accept();
}

bool Canvas::composable() const
{
    return m_overlays && !m_gridImage.isNull() && devicePixelRatioF() == 1 &&
           m_gridImage.devicePixelRatioF() == 1 && m_gridImage.size() == size();
}

bool Canvas::frameContinues() const
{
    return m_frame.size() == m_gridImage.size() && m_frame.format() == m_gridImage.format() &&
           m_frameGridKey == m_gridImage.cacheKey();
}

QRegion Canvas::frameDrawnRegion() const
{
    QRegion region;
    for (const QRect &r : m_frameDrawn)
        region += r;
    // The curve's columns in strips, each as tall as what it covers in them: a flat
    // curve repaints a few rows, and the region stays a few dozen rectangles.
    const int strip = std::max(32, width() / 16);
    for (int c0 = 0; c0 < m_frameSpans.size(); c0 += strip) {
        double top = height(), bottom = 0;
        const int end = std::min<int>(c0 + strip, m_frameSpans.size());
        for (int c = c0; c < end; ++c) {
            const ColumnSpan &s = m_frameSpans[c];
            if (s.empty())
                continue;
            top = std::min(top, s.top);
            bottom = std::max(bottom, s.bottom);
        }
        if (bottom > top) {
            const int y0 = static_cast<int>(std::floor(std::max(top, 0.0)));
            const int y1 = static_cast<int>(std::ceil(std::min(bottom, double(height()))));
            region += QRect(c0, y0, end - c0, y1 - y0);
        }
    }
    return region & rect();
}

void Canvas::refresh()
{
    // A hidden plot is composed when it is shown; over the hover readout, whose text follows
    // the samples, and before the grid's image is made, the whole plot is repainted.
    if (!isVisible() || m_hovered || !composable()) {
        update();
        return;
    }
    const bool continues = frameContinues();
    QRegion changed = continues ? frameDrawnRegion() : QRegion(rect());
    const float *samples = nullptr;
    const qint64 count = channelSamples(m_channel, samples);
    composeFrame(samples, count);
    changed += frameDrawnRegion();
    m_frameFresh = true;
    m_freshRegion += changed;
    update(changed);
}

void Canvas::composeFrame(const float *samples, qint64 count)
{
    // Only what the last frame drew over the grid is copied back from the grid's image:
    // the label bands, the reference line's rows and the rows the curve covered. Copying
    // the whole image each time costs more than all the drawing.
    if (!frameContinues()) {
        m_frame = m_gridImage.copy();
        m_frameGridKey = m_gridImage.cacheKey();
    } else {
        for (const QRect &r : qAsConst(m_frameDrawn))
            copyFromGrid(r.intersected(m_frame.rect()));
        for (int c = 0; c < m_frameSpans.size() && c < m_frame.width(); ++c) {
            const ColumnSpan &s = m_frameSpans[c];
            if (s.empty())
                continue;
            const int top = static_cast<int>(std::floor(std::max(s.top, 0.0)));
            const int bottom = static_cast<int>(std::ceil(std::min(s.bottom, double(height()))));
            copyFromGrid(QRect(c, top, 1, bottom - top).intersected(m_frame.rect()));
        }
    }
    m_frameDrawn.clear();
    m_frameSpans.clear();

    QPainter painter(&m_frame);
    painter.setRenderHint(QPainter::Antialiasing);
    drawLabels(painter, &m_frameDrawn);
    painter.end();

    if (!curveSpans(samples, count, m_frameSpans))
        return;
    if (m_curveColoursChannel != m_channel) {
        // The premultiplied colours exactly as the raster engine fills them, found by
        // filling one transparent pixel with each.
        QColor colour = curveColour(m_channel);
        for (int level = 1; level <= coverageLevels; ++level) {
            QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
            pixel.fill(Qt::transparent);
            colour.setAlpha(level == coverageLevels ? 255 : level * 255 / coverageLevels);
            QPainter(&pixel).fillRect(0, 0, 1, 1, colour);
            m_curveColours[level] = reinterpret_cast<const quint32 *>(pixel.constBits())[0];
        }
        m_curveColours[0] = 0;
        m_curveColoursChannel = m_channel;
    }
    blendCoverage(m_frame, m_frameSpans, m_curveColours);
}

void Canvas::copyFromGrid(const QRect &r)
{
    if (r.isEmpty())
        return;
    const size_t bytes = size_t(r.width()) * sizeof(quint32);
    const qsizetype stride = m_frame.bytesPerLine();
    uchar *to = m_frame.bits() + r.top() * stride + r.left() * sizeof(quint32);
    const uchar *from = m_gridImage.constBits() + r.top() * stride + r.left() * sizeof(quint32);
    for (int y = r.top(); y <= r.bottom(); ++y, to += stride, from += stride) {
        if (bytes == sizeof(quint32)) // a curve's column: a call per pixel costs more
            *reinterpret_cast<quint32 *>(to) = *reinterpret_cast<const quint32 *>(from);
        else
            std::memcpy(to, from, bytes);
    }
}

void Canvas::drawLabels(QPainter &painter, QVector<QRect> *drawn)
{
    const PlotGeometry &g = m_geometry;
    // The bands the labels are drawn in, with room for the anti-aliased edges.
    const int labelX = static_cast<int>(g.width - g.columnWidth + 2);
    const int margin = 4;
    QFont labelFont = font();
    labelFont.setPixelSize(18);
    const QFontMetrics metrics(labelFont);
    const int bandTop = g.height - 2 - metrics.ascent() - margin;
    if (drawn) {
        drawn->append(QRect(labelX - margin, 0, width() - labelX + margin, height()));
        drawn->append(QRect(0, bandTop, width(), height() - bandTop));
    }
    QPen pen(QColor(100, 100, 100));
    pen.setWidth(1);
    painter.setPen(pen);
    painter.setFont(labelFont);
    if (labelFont != m_labelTextsFont || m_labelTexts.size() > 4 * gridLineCount) {
        m_labelTexts.clear();
        m_labelTextsFont = labelFont;
    }
    const qreal ascent = QFontMetricsF(labelFont).ascent();
    // As drawText(x, baseline, text) draws it, to the pixel.
    auto drawLabel = [&](int x, int baseline, const QString &text) {
        auto it = m_labelTexts.find(text);
        if (it == m_labelTexts.end()) {
            QStaticText laidOut(text);
            laidOut.setTextFormat(Qt::PlainText);
            laidOut.prepare(painter.transform(), labelFont);
            it = m_labelTexts.insert(text, laidOut);
        }
        painter.drawStaticText(QPointF(x, baseline - ascent), *it);
    };
    for (int i = 0; i < gridLineCount; ++i) {
        const float value = m_view.viewTop() - i * m_view.yStep();
        drawLabel(labelX, static_cast<int>(g.gridY(i)), QString::number(value, 'f', 3));
    }
    const double *times = nullptr;
    const qint64 timed = secondsShown ? sampleTimes(times) : 0;
    for (int i = 0; i < gridLineCount; ++i) {
        const float sample = m_view.xStart() + i * m_view.xStep();
        QString label;
        if (timed == 0) {
            label = QString::number(sample, 'f', 0);
        } else {
            // The time of the sample at that line; none where the window runs past the data.
            const double index = std::round(double(sample));
            if (index >= 0 && index < double(timed))
                label = QString::number(times[qint64(index)], 'f', 3);
        }
        painter.drawText(static_cast<int>(g.gridX(i)), g.height - 2, label);
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
            if (drawn)
                drawn->append(QRect(0, row - 2 - margin, width(), 5 + 2 * margin));
        }
    }
}

void Canvas::scheduleGridImage()
{
    if (std::exchange(m_gridImageDue, true))
        return;
    // Not from within a paint: the window is rendered for it.
    QTimer::singleShot(0, this, &Canvas::makeGridImage);
}

void Canvas::makeGridImage()
{
    m_gridImageDue = false;
    // What the window paints beneath the plot, then the grid over it: the same pixels
    // the grid's translucent lines give when they are drawn at every paint, where Qt 6
    // would hand each tall translucent line to its thread pool, every time. An opaque
    // image is kept without alpha, so that copying it out is a plain copy; with it the
    // plot paints every pixel itself, and nothing needs painting beneath it.
    QImage image = imageBeneath(this);
    QPainter painter(&image);
    drawGrid(painter);
    painter.end();
    m_gridImage = image;
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    update();
}

void Canvas::dropGridImage()
{
    m_gridImage = QImage();
    // Until a new image is made, what lies beneath the plot is painted again.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void Canvas::changeEvent(QEvent *event)
{
    // What lies beneath the plot may now look different.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange ||
        event->type() == QEvent::ActivationChange)
        dropGridImage();
    QWidget::changeEvent(event);
}

void Canvas::drawGrid(QPainter &painter)
{
    // The same pixels an anti-aliased one-pixel pen gives the grid lines, at a fraction of
    // the cost.
    for (int i = 0; i < m_gridRects.size(); ++i) {
        const QRect &line = m_gridRects[i];
        for (int top = line.top(); top <= line.bottom(); top += fillBandRows)
            painter.fillRect(QRect(line.left(), top, line.width(),
                                   std::min(fillBandRows, line.bottom() - top + 1)),
                             m_gridColours[i]);
    }
}

bool Canvas::curveSpans(const float *samples, qint64 count, QVector<ColumnSpan> &spans) const
{
    if (count == 0)
        return false;
    QVector<QLine> lines;
    buildCurveLines(samples, visibleSamples(m_view, count), m_view, m_geometry, lines);
    if (lines.isEmpty())
        return false;
    // A two-pixel pen, anti-aliased: each column's covered rows are filled, the partly
    // covered end rows with the matching opacity. Stroking every line on its own costs
    // several microseconds a line.
    spans.resize(width());
    strokeColumns(lines, curvePenWidth, spans);
    return true;
}

void Canvas::drawCurve(QPainter &painter, const float *samples, qint64 count)
{
    QVector<ColumnSpan> spans;
    if (!curveSpans(samples, count, spans))
        return;
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

void Canvas::drawHint(QPainter &painter)
{
    const QRect box = hintBox();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(box, QColor(255, 255, 255, 200));
    painter.setFont(overlayFont(font()));
    painter.setPen(QColor(120, 120, 120));
    painter.drawText(box.adjusted(hintPadding, hintPadding, -hintPadding, -hintPadding),
                     Qt::AlignLeft | Qt::AlignVCenter, hintText() + QLatin1Char(' ') + closeMark());
    painter.restore();
}

void Canvas::drawReadout(QPainter &painter, const float *samples, qint64 count)
{
    const qint64 i = nearestSample(m_view, m_geometry, m_pointer.x(), count);
    if (i < 0)
        return;
    QString text = QStringLiteral("#%1  ").arg(i);
    const double *times = nullptr;
    if (i < sampleTimes(times))
        text += QStringLiteral("%1 s  ").arg(times[i], 0, 'f', 6);
    text += QString::number(double(samples[i]), 'f', 3);
    const QFont f = overlayFont(font());
    const QFontMetrics metrics(f);
    const int x = static_cast<int>(std::floor(m_pointer.x()));
    const int y = static_cast<int>(std::floor(m_pointer.y()));
    QRect box(0, 0, metrics.horizontalAdvance(text) + 2 * hintPadding,
              metrics.height() + 2 * hintPadding);
    // Above and right of the pointer; left of the line where it would reach the labels,
    // below the pointer where it would leave the top.
    const int dataRight = static_cast<int>(10 * m_geometry.columnWidth);
    box.moveBottomLeft(QPoint(x + 6, y - 6));
    if (box.right() >= dataRight)
        box.moveRight(x - 6);
    if (box.top() < 0)
        box.moveTop(y + 18);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(x, 0, 1, height(), QColor(60, 60, 60));
    painter.fillRect(box, QColor(255, 255, 255, 220));
    painter.setFont(f);
    painter.setPen(QColor(40, 40, 40));
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}

void Canvas::resizeEvent(QResizeEvent *event)
{
    event->accept();
    // A hidden plot is sent its size again each time it is rendered.
    if (!m_gridRects.isEmpty() && m_geometry.width == width() && m_geometry.height == height())
        return;
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
    dropGridImage();
}
