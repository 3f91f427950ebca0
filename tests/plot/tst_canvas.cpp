// The plot zooms and pans in fixed steps within its bounds on real input events, and paints each
// channel's samples (only those) in its colour, the dashed reference line only when asked, and the
// curve as an anti-aliased line through neighbouring samples.
#include "canvas.h"
#include "curvelines.h"
#include "motorstate.h"

#include <QPainter>
#include <QtTest>

#include <cmath>
#include <random>

// For a Canvas or a PlotView. On an 1100 x 660 canvas (100-pixel columns, 60-pixel bands) a
// 2000-sample window puts sample s at x = s / 2, and a view of -10..10 value v at y = 330 - 30 v.
template <typename T> void setUp(T &c, float h, float limit, float start = 0, float width = 2000)
{
    c.setLimits(-95.5f, 95.5f);
    c.setView(-h, h);
    c.setXLimit(limit);
    c.setXRange(start, start + width);
}

static void fill(int count, int sampleCount, const std::function<float(int)> &value)
{
    QMutexLocker lock(&stateMutex);
    for (int i = 0; i < count; ++i)
        for (auto &history : motorState.histories)
            history[i] = value(i);
    motorState.sampleCount = sampleCount;
}

class TestCanvas : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(prepareMotorState(QDir::tempPath())); }

    void input_data()
    {
        // "name|x start, xLimit, h (view -h..h)[, width]|events|x start, end, view bottom, top,
        // yZoomed, scroll signals". At (600, 330): w<delta>[x<n>] wheel, L/l R/r left/right
        // press/release, m<dx>,<dy>.
        QTest::addColumn<QString>("row");
        for (const char *row : {
                 "x in, not below 250|0 2000 95.5 251|w120x2|62 189 -95.5 95.5 0 1",
                 "x in stops at 250|0 2000 95.5 1986|w120x20|868 1118 -95.5 95.5 0 14",
                 "x out stops at 16000|0 1e6 95.5|w-120x300|0 16012 -95.5 95.5 0 226",
                 "y in|0 2000 95.5|R w120|0 2000 -85.95 85.95 1 0",
                 "y in, out; x out clamped|0 2000 95.5|R w120 w-120 r w-120|0 2000 -95.5 95.5 0 1",
                 "drag left, down: later, up|1000 5000 50|L m-50,60 l m0,0|1100 3100 -40 60 0 1",
                 "moves without left button|1000 5000 50|m-50,0 R m-50,0 r|1000 3000 -50 50 0 0",
                 // Each second drag moves the view by its full height / 10 per 60 pixels.
                 "drag to xLimit and the top|2900 5000 50|L m-100,300 l L m-100,240 l|"
                 "3000 5000 -14.5 85.5 0 2",
                 "drag to zero and the bottom|500 5000 50|L m400,-300 l L m400,-240 l|"
                 "0 2000 -85.5 14.5 0 2",
             })
            QTest::newRow(row) << QString::fromLatin1(row);
    }

    void input()
    {
        QFETCH(QString, row);
        const QStringList setup = row.section('|', 1, 1).split(' ');
        Canvas c;
        c.setGeometry(100, 100, 1100, 660);
        setUp(c, setup[2].toFloat(), setup[1].toFloat(), setup[0].toFloat(),
              setup.value(3, "2000").toFloat());
        c.show(); // mouse events reach a shown widget, which has had its first resize
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        QSignalSpy spy(&c, &Canvas::reCalculateHScroll);
        QPoint at(600, 330);
        for (const QString &e : row.section('|', 2, 2).split(' ')) {
            const QStringList n = e.mid(1).split(QRegularExpression("[x,]"));
            for (int i = 0; e[0] == 'w' && i < n.value(1, "1").toInt(); ++i) {
                QWheelEvent w(at, at, {}, {0, n[0].toInt()}, {}, {}, Qt::NoScrollPhase, false);
                QApplication::sendEvent(&c, &w);
            }
            if (e[0] == 'm')
                at = QPoint(600 + n[0].toInt(), 330 + n[1].toInt());
            const int k = QString("LlRrm").indexOf(e[0]); // press, release, press, release, move
            if (k >= 0)
                QTest::mouseEvent(k < 4 ? QTest::MouseAction(k % 2) : QTest::MouseMove,
                                  c.windowHandle(), k < 2 ? Qt::LeftButton : Qt::RightButton, {},
                                  at);
        }
        QCOMPARE(QString::asprintf("%g %g %g %g %d %d", c.xStart(), c.xEnd(), c.viewBottom(),
                                   c.viewTop(), c.yZoomed(), int(spy.count())),
                 row.section('|', 3));
    }

    void paint_data()
    {
        // "name|channel, sampleCount, reference (NaN: hidden, -: never set)[, flat: view of no
        // height]|curve".
        // All hold 3 (y = 240) but inf at 600, NaN at 1200; sample 1500 (x = 750) needs
        // sampleCount > 1500. A reference of -5 is at y = 480.
        QTest::addColumn<QString>("row");
        for (const char *row : {
                 "position, only samples below the count|0 1000 -|#ff0000",
                 "velocity past inf and NaN, no line at inf|1 2000 inf|#00ff00",
                 "current, reference line|2 1000 -5|#0000ff",
                 "unknown channel|7 1000 nan|-",
                 "view of no height|0 2000 3 flat|-",
             })
            QTest::newRow(row) << QString::fromLatin1(row);
    }

    void paint()
    {
        QFETCH(QString, row);
        const QStringList a = row.section('|', 1, 1).split(' ');
        const float ref = a[2].toFloat();
        const QColor curve(row.section('|', 2));
        fill(2000, a[1].toInt(), [](int i) { return i == 600 ? qInf() : i == 1200 ? qQNaN() : 3; });
        Canvas c;
        c.resize(1100, 660);
        setUp(c, 10, 2000);
        if (a.size() > 3)
            c.setView(3, 3);
        c.setChannel(a[0].toInt());
        if (a[2] != "-")
            c.setShowRef(!std::isnan(ref)), c.setRefValue(ref);
        const QImage image = c.grab().toImage();
        if (a.size() > 3) { // a view of no height has no row to draw on: only the grid shows
            c.setChannel(7);
            c.setShowRef(false);
            QCOMPARE(image, c.grab().toImage());
            return;
        }
        for (int x : {250, 750})
            QCOMPARE(image.pixel(x, 240),
                     curve.isValid() && x < a[1].toInt() / 2 ? curve.rgb() : image.pixel(x, 200));
        const int y = 330 - 30 * (std::isfinite(ref) ? ref : 0); // where a line would be
        int dashes = 0;
        for (int x = 1; x < 1000; ++x)
            dashes += image.pixel(x, y) == qRgb(0, 0, 0) && image.pixel(x - 1, y) != qRgb(0, 0, 0);
        // A finite reference value shows a dashed line, and only then.
        QCOMPARE(std::min(dashes, 11), std::isfinite(ref) && a[2] != "-" ? 11 : 0);
    }

    // The curve runs from the sample at or left of xStart to the last one below xEnd and below
    // the sample count.
    void visibleSamplesSpan()
    {
        // xStart, width, sample count; then the first and last sample, or 0 and -1 for none.
        for (const QVector<float> &r : {QVector<float>{10.5f, 9.7f, 1000, 10, 20},
                                        {0, 2000, 15, 0, 14},
                                        {3000, 2000, 100, 0, -1}}) {
            PlotView view;
            setUp(view, 10, 20000, r[0], r[1]);
            const SampleSpan span = visibleSamples(view, qint64(r[2]));
            QCOMPARE(QPointF(span.first, span.last), QPointF(r[3], r[4]));
        }
    }

    // The column-wise drawing must look like one anti-aliased 2-pixel line per pair of neighbours,
    // with many samples to a column and with segments across many columns.
    void looksLikeSegmentBySegment()
    {
        std::mt19937 rng(11);
        std::normal_distribution<float> noise(0, 4);
        const float *s = motorState.histories[PositionChannel].data();
        for (float width : {16000.f, 250.f}) {
            fill(20000, 20000, [&](int i) {
                return 40 * std::sin(i * 0.003f) + 10 * std::sin(i * 0.05f) + noise(rng);
            });
            Canvas c;
            c.resize(1100, 660);
            setUp(c, 95.5f, 20000, 2000, width);
            const QImage drawn = c.grab().toImage();
            fill(0, 0, {});
            QImage reference = c.grab().toImage();
            QPainter painter(&reference);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(Qt::red, 2));
            // Samples 2000 to 2000 + width - 1; sample i at x = (i - 2000) * 1000 / width, value v
            // at y = 630 - (v + 95.5) * 600 / 191, both truncated.
            const auto at = [&](int i) {
                return QPoint(int((i - 2000) * 1000.0 / width),
                              int(630 - (s[i] + 95.5) * 600 / 191));
            };
            for (int i = 2001; i < 2000 + width; ++i)
                painter.drawLine(at(i - 1), at(i));
            painter.end();
            // Curve pixels, and pixels that differ by more than half the range in red or green.
            int ink = 0, mismatched = 0;
            for (int p = 0; p < 1100 * 660; ++p) {
                const QRgb r = reference.pixel(p % 1100, p / 1100),
                           d = drawn.pixel(p % 1100, p / 1100);
                ink += qRed(r) - qGreen(r) > 128;
                mismatched +=
                    std::abs(qRed(r) - qRed(d)) > 128 || std::abs(qGreen(r) - qGreen(d)) > 128;
            }
            QVERIFY2(
                ink > 1000 && mismatched * 50 < ink,
                qPrintable(
                    QString("%1 of %2 differ at width %3").arg(mismatched).arg(ink).arg(width)));
        }
    }
};

QTEST_MAIN(TestCanvas)
#include "tst_canvas.moc"
