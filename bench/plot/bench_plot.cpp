// Paint time (CPU time of the painting thread) of a 1000 x 600 plot at the widest and the narrowest
// window the wheel gives, then with the pointer over it (cursor line and readout), and the time a
// double click's fit takes to scan a window of the whole history capacity. With `--compare DIR` it
// also writes, for both windows, the curve drawn one segment per call (left) beside the plot's own
// drawing (right), and prints how many pixels differ.
#include "canvas.h"
#include "curvelines.h"
#include "motorstate.h"
#include "samplewindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>

namespace {

constexpr int sampleTotal = 40000;
constexpr int windowEnd = 30000;
constexpr int paints = 200;

void fillNoisyPosition()
{
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 2.5f);
    QMutexLocker lock(&stateMutex);
    History &h = motorState.histories[PositionChannel];
    for (int i = 0; i < sampleTotal; ++i)
        h[i] = 40.0f * std::sin(i * 0.002f) + 15.0f * std::sin(i * 0.037f) + noise(rng);
    motorState.sampleCount = sampleTotal;
}

void setSampleCount(int n)
{
    QMutexLocker lock(&stateMutex);
    motorState.sampleCount = n;
}

void prepareCanvas(Canvas &canvas, int width)
{
    canvas.setChannel(PositionChannel);
    canvas.setLimits(-95.5f, 95.5f);
    canvas.setView(-95.5f, 95.5f);
    canvas.setXLimit(sampleTotal);
    canvas.setXRange(windowEnd - width, windowEnd);
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double meanPaintMs(Canvas &canvas, QImage &image)
{
    // The first paints, and what they leave for the event loop, as in a running window.
    for (int i = 0; i < 10; ++i) {
        canvas.render(&image);
        QCoreApplication::processEvents();
    }
    // The thread's CPU time rather than the wall clock, so that other work on the machine
    // does not count; the paint never waits for anything.
    const double start = threadCpuMs();
    for (int i = 0; i < paints; ++i)
        canvas.render(&image);
    return (threadCpuMs() - start) / paints;
}

// The curve drawn the plain way, one call per pair of neighbouring samples.
QImage segmentBySegment(Canvas &canvas, int width)
{
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    setSampleCount(0);
    canvas.render(&image);
    setSampleCount(sampleTotal);

    PlotView view;
    view.setLimits(canvas.limitMin(), canvas.limitMax());
    view.setView(canvas.viewBottom(), canvas.viewTop());
    view.setXLimit(canvas.xLimit());
    view.setXRange(windowEnd - width, windowEnd);
    const PlotGeometry g = PlotGeometry::forSize(canvas.width(), canvas.height());
    const float *samples = motorState.histories[PositionChannel].data();
    const SampleSpan span = visibleSamples(view, sampleTotal);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(255, 0, 0));
    pen.setWidth(2);
    painter.setPen(pen);
    for (qint64 i = span.first + 1; i <= span.last; ++i) {
        QPoint a;
        QPoint b;
        if (curvePoint(samples, i - 1, view, g, a) && curvePoint(samples, i, view, g, b))
            painter.drawLine(a, b);
    }
    return image;
}

void writeComparison(Canvas &canvas, int width, const QString &dir)
{
    const QImage left = segmentBySegment(canvas, width);
    QImage right(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.render(&right);

    int differing = 0;
    for (int y = 0; y < left.height(); ++y) {
        for (int x = 0; x < left.width(); ++x) {
            const QRgb a = left.pixel(x, y);
            const QRgb b = right.pixel(x, y);
            const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                    std::abs(qBlue(a) - qBlue(b))});
            differing += d > 64;
        }
    }
    QImage both(left.width() * 2 + 20, left.height(), QImage::Format_ARGB32_Premultiplied);
    both.fill(Qt::darkGray);
    QPainter painter(&both);
    painter.drawImage(0, 0, left);
    painter.drawImage(left.width() + 20, 0, right);
    painter.end();
    const QString path = dir + QStringLiteral("/compare_%1.png").arg(width);
    both.save(path);
    std::printf("compare_%d: %d pixels differ by more than 64 (%s)\n", width, differing,
                qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!prepareMotorState(QCoreApplication::applicationDirPath())) {
        std::fprintf(stderr, "cannot map the histories\n");
        return 1;
    }
    fillNoisyPosition();

    QString compareDir;
    const QStringList args = app.arguments();
    const int at = args.indexOf(QStringLiteral("--compare"));
    if (at >= 0 && at + 1 < args.size()) {
        compareDir = args.at(at + 1);
        QDir().mkpath(compareDir);
    }

    Canvas canvas;
    canvas.resize(1000, 600);
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    for (int width : {16000, 250}) {
        prepareCanvas(canvas, width);
        std::printf("paint_%d: %.3f ms\n", width, meanPaintMs(canvas, image));
        if (!compareDir.isEmpty())
            writeComparison(canvas, width, compareDir);
    }
    QMouseEvent hover(QEvent::MouseMove, QPointF(500, 300), QPointF(500, 300), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&canvas, &hover);
    for (int width : {16000, 250}) {
        prepareCanvas(canvas, width);
        std::printf("paint_%d_cursor: %.3f ms\n", width, meanPaintMs(canvas, image));
    }

    // Every page of the history is touched before the scan, as a long run would have.
    {
        QMutexLocker lock(&stateMutex);
        History &h = motorState.histories[VelocityChannel];
        for (int i = 0; i < historyCapacity; ++i)
            h[i] = float(i % 1000) * 0.01f;
    }
    const float *samples = motorState.histories[VelocityChannel].data();
    const SampleSpan whole{0, historyCapacity - 1};
    double best = 1e9;
    ValueRange range;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        range = finiteRange(samples, whole);
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    std::printf("fit_scan_%d: %.1f ms (range %g .. %g)\n", historyCapacity, best, double(range.low),
                double(range.high));
    return 0;
}
