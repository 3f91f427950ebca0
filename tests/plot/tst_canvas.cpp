// The plot answers real wheel and mouse events with the fixed zoom and pan steps, stops
// zooming at 250 and 16000 samples, keeps the width where a drag meets a bound, and emits
// reCalculateHScroll only when the x window was zoomed or dragged; it paints each channel's
// history in its own colour and never past the sample count, around samples that have no
// pixel; it draws the dashed reference line only when asked; and its column-wise curve
// drawing looks like stroking every segment on its own.
#include "canvas.h"
#include "curvelines.h"
#include "motorstate.h"

#include <QPainter>
#include <QtTest>

#include <cmath>
#include <functional>
#include <random>

class TestCanvas : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(prepareMotorState(QDir::tempPath())); }
    void wheel_data();
    void wheel();
    void drag_data();
    void drag();
    void curveColourAndCount_data();
    void curveColourAndCount();
    void referenceLine();
    void looksLikeSegmentBySegment_data();
    void looksLikeSegmentBySegment();
    void samplesAndViewsWithoutPixels();
};

namespace {

// 1100 x 660: columns of 100 pixels and bands of 60, so a 2000-sample window puts sample
// s at x = s / 2 and a view of -10..10 puts value v at y = 330 - 30 v.
void setUp(Canvas &c, float bottom, float top, float limit = 2000)
{
    c.resize(1100, 660);
    c.setChannel(PositionChannel);
    c.setLimits(-95.5f, 95.5f);
    c.setView(bottom, top);
    c.setXLimit(limit);
    c.setXRange(0, 2000);
}

void fill(int channel, int count, const std::function<float(int)> &value)
{
    QMutexLocker lock(&stateMutex);
    for (int i = 0; i < count; ++i)
        motorState.histories[channel][i] = value(i);
}

void setSampleCount(int n)
{
    QMutexLocker lock(&stateMutex);
    motorState.sampleCount = n;
}

void turnWheel(Canvas &c, int delta)
{
    QWheelEvent e(QPointF(500, 300), QPointF(500, 300), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&c, &e);
}

void mouse(Canvas &c, QEvent::Type type, Qt::MouseButton button, QPoint screen)
{
    const Qt::MouseButtons held(type == QEvent::MouseMove ? Qt::LeftButton : button);
    QMouseEvent e(type, QPointF(screen - QPoint(100, 100)), QPointF(screen), button, held,
                  Qt::NoModifier);
    QApplication::sendEvent(&c, &e);
}

// x from start to end, y from bottom to top, compared in single precision.
void compareShown(const Canvas &c, const QRectF &shown)
{
    QCOMPARE(c.xStart(), float(shown.left()));
    QCOMPARE(c.xEnd(), float(shown.right()));
    QCOMPARE(c.viewBottom(), float(shown.top()));
    QCOMPARE(c.viewTop(), float(shown.bottom()));
}

int distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

} // namespace

void TestCanvas::wheel_data()
{
    QTest::addColumn<bool>("rightHeld");
    QTest::addColumn<QVector<int>>("notches");
    QTest::addColumn<float>("limit");
    QTest::addColumn<QRectF>("shown"); // x: start .. end, y: bottom .. top
    QTest::addColumn<int>("yZoomed");
    QTest::addColumn<int>("signals");
    const QRectF full(0, -95.5, 2000, 191);
    const QVector<int> in(20, 120);
    const QVector<int> out(300, -120);
    QTest::newRow("x in") << false << QVector<int>{120} << 2e3f << QRectF(62, -95.5, 1876, 191) << 0
                          << 1;
    QTest::newRow("x out, both ends clamped")
        << false << QVector<int>{-120} << 2e3f << full << 0 << 1;
    QTest::newRow("x in stops at 250")
        << false << in << 2e3f << QRectF(930, -95.5, 140, 191) << 0 << 15;
    QTest::newRow("x out stops at 16000")
        << false << out << 1e6f << QRectF(0, -95.5, 16012, 191) << 0 << 226;
    QTest::newRow("y in") << true << QVector<int>{120} << 2e3f << QRectF(0, -85.95, 2000, 171.9)
                          << 1 << 0;
    QTest::newRow("y in and out") << true << QVector<int>{120, -120} << 2e3f << full << 0 << 0;
}

void TestCanvas::wheel()
{
    QFETCH(bool, rightHeld);
    QFETCH(QVector<int>, notches);
    QFETCH(float, limit);
    QFETCH(QRectF, shown);
    Canvas c;
    setUp(c, -95.5f, 95.5f, limit);
    QSignalSpy spy(&c, &Canvas::reCalculateHScroll);
    QVERIFY(spy.isValid());
    if (rightHeld)
        mouse(c, QEvent::MouseButtonPress, Qt::RightButton, QPoint(500, 300));
    for (int delta : notches)
        turnWheel(c, delta);
    compareShown(c, shown);
    QTEST(c.yZoomed(), "yZoomed");
    QTEST(int(spy.count()), "signals");

    // Once the right button is up, the wheel acts on x again.
    mouse(c, QEvent::MouseButtonRelease, Qt::RightButton, QPoint(500, 300));
    turnWheel(c, -120);
    QVERIFY(spy.count() > 0);
}

void TestCanvas::drag_data()
{
    // With a view 100 high, 60 pixels (one band) are 10 units.
    QTest::addColumn<float>("start");
    QTest::addColumn<QPoint>("move");
    QTest::addColumn<QRectF>("shown");
    QTest::newRow("content left: later samples")
        << 1e3f << QPoint(-50, 0) << QRectF(1100, -50, 2e3, 100);
    QTest::newRow("content right: earlier samples")
        << 1e3f << QPoint(50, 0) << QRectF(900, -50, 2e3, 100);
    QTest::newRow("stopped at xLimit") << 2900.f << QPoint(-100, 0) << QRectF(3000, -50, 2e3, 100);
    QTest::newRow("stopped at zero") << 500.f << QPoint(500, 0) << QRectF(0, -50, 2e3, 100);
    QTest::newRow("down: higher values") << 0.f << QPoint(0, 60) << QRectF(0, -40, 2e3, 100);
    QTest::newRow("stopped at the top") << 0.f << QPoint(0, 600) << QRectF(0, -4.5, 2e3, 100);
    QTest::newRow("stopped at the bottom") << 0.f << QPoint(0, -600) << QRectF(0, -95.5, 2e3, 100);
}

void TestCanvas::drag()
{
    QFETCH(float, start);
    QFETCH(QPoint, move);
    Canvas c;
    setUp(c, -50, 50, 5000);
    c.setXRange(start, start + 2000);
    // Mouse events reach a shown widget, which has had its first resize.
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    QSignalSpy spy(&c, &Canvas::reCalculateHScroll);
    QVERIFY(spy.isValid());

    // Moves with no button or the right button held do nothing.
    const QPoint from(600, 400);
    mouse(c, QEvent::MouseMove, Qt::NoButton, from + move);
    mouse(c, QEvent::MouseButtonPress, Qt::RightButton, from);
    mouse(c, QEvent::MouseMove, Qt::NoButton, from + move);
    mouse(c, QEvent::MouseButtonRelease, Qt::RightButton, from + move);
    QCOMPARE(spy.count(), 0);

    mouse(c, QEvent::MouseButtonPress, Qt::LeftButton, from);
    mouse(c, QEvent::MouseMove, Qt::NoButton, from + move);
    mouse(c, QEvent::MouseButtonRelease, Qt::LeftButton, from + move);
    mouse(c, QEvent::MouseMove, Qt::NoButton, from);
    QFETCH(QRectF, shown);
    compareShown(c, shown);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(c.yZoomed(), 0);
}

void TestCanvas::curveColourAndCount_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("position") << 0 << QColor(255, 0, 0);
    QTest::newRow("velocity") << 1 << QColor(0, 255, 0);
    QTest::newRow("current") << 2 << QColor(0, 0, 255);
    QTest::newRow("unknown channel draws nothing") << 7 << QColor();
}

void TestCanvas::curveColourAndCount()
{
    QFETCH(int, channel);
    QFETCH(QColor, colour);
    // Every entry holds 3, but only the first 1000 are samples.
    for (int k = 0; k < 3; ++k)
        fill(k, 2000, [](int) { return 3.0f; });
    setSampleCount(1000);
    Canvas c;
    setUp(c, -10, 10);
    c.setChannel(channel);
    const QImage image = c.grab().toImage();
    const QRgb sample500 = image.pixel(250, 240);
    if (colour.isValid())
        QCOMPARE(QColor(sample500), colour);
    else
        QVERIFY(distance(sample500, image.pixel(250, 200)) < 40);
    QCOMPARE(image.pixel(750, 240), image.pixel(750, 200)); // sample 1500
}

void TestCanvas::referenceLine()
{
    setSampleCount(0);
    for (bool showRef : {true, false}) {
        Canvas c;
        setUp(c, -10, 10);
        c.setRefValue(-5);
        c.setShowRef(showRef);
        const QImage image = c.grab().toImage();
        int dashes = 0;
        for (int x = 1; x < 1000; ++x)
            dashes +=
                image.pixel(x, 480) == qRgb(0, 0, 0) && image.pixel(x - 1, 480) != qRgb(0, 0, 0);
        QVERIFY2(showRef ? dashes > 10 : dashes == 0, qPrintable(QString::number(dashes)));
    }
}

void TestCanvas::looksLikeSegmentBySegment_data()
{
    QTest::addColumn<float>("width");
    QTest::newRow("16000 samples on 1000 columns") << 16000.f;
    QTest::newRow("250 samples on 1000 columns") << 250.f;
}

void TestCanvas::looksLikeSegmentBySegment()
{
    QFETCH(float, width);
    std::mt19937 rng(11);
    std::normal_distribution<float> noise(0, 4);
    fill(PositionChannel, 20000,
         [&](int i) { return 40 * std::sin(i * 0.003f) + 10 * std::sin(i * 0.05f) + noise(rng); });
    Canvas c;
    setUp(c, -95.5f, 95.5f, 20000);
    c.setXRange(2000, 2000 + width);
    setSampleCount(0);
    QImage reference = c.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage background = reference;
    setSampleCount(20000);
    const QImage drawn = c.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);

    // The plain way: one anti-aliased two-pixel line per pair of neighbouring samples.
    PlotView view;
    view.setLimits(-95.5f, 95.5f);
    view.setView(-95.5f, 95.5f);
    view.setXLimit(20000);
    view.setXRange(2000, 2000 + width);
    const PlotGeometry g = PlotGeometry::forSize(c.width(), c.height());
    const SampleSpan span = visibleSamples(view, 20000);
    const float *samples = motorState.histories[PositionChannel].data();
    QPainter painter(&reference);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 0, 0), 2));
    for (qint64 i = span.first + 1; i <= span.last; ++i) {
        QPoint a;
        QPoint b;
        if (curvePoint(samples, i - 1, view, g, a) && curvePoint(samples, i, view, g, b))
            painter.drawLine(a, b);
    }
    painter.end();

    int ink = 0;
    int mismatched = 0;
    for (int y = 0; y < reference.height(); ++y) {
        for (int x = 0; x < reference.width(); ++x) {
            ink += distance(reference.pixel(x, y), background.pixel(x, y)) > 128;
            mismatched += distance(reference.pixel(x, y), drawn.pixel(x, y)) > 128;
        }
    }
    QVERIFY(ink > 1000);
    QVERIFY2(mismatched * 50 < ink,
             qPrintable(QStringLiteral("%1 of %2 curve pixels differ").arg(mismatched).arg(ink)));
}

void TestCanvas::samplesAndViewsWithoutPixels()
{
    // Infinite and NaN samples: the curve goes off the plot or breaks, and goes on after.
    fill(PositionChannel, 2000, [](int i) { return i == 600 ? qInf() : i == 1200 ? qQNaN() : 3; });
    setSampleCount(2000);
    Canvas c;
    setUp(c, -10, 10);
    c.setShowRef(true);
    c.setRefValue(float(qInf()));
    QImage image = c.grab().toImage();
    QCOMPARE(QColor(image.pixel(250, 240)), QColor(255, 0, 0));
    QCOMPARE(QColor(image.pixel(750, 240)), QColor(255, 0, 0));

    // A view of no height has no row for any value: no curve, no reference line.
    c.setLimits(3, 3);
    c.setView(3, 3);
    c.setRefValue(3);
    image = c.grab().toImage();
    for (int x = 0; x < 1000; x += 3)
        for (int y = 0; y < 640; y += 3)
            QVERIFY(qRed(image.pixel(x, y)) - qGreen(image.pixel(x, y)) < 100 &&
                    image.pixel(x, y) != qRgb(0, 0, 0));
}

QTEST_MAIN(TestCanvas)
#include "tst_canvas.moc"
