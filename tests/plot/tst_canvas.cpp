// The plot zooms and pans in fixed steps within its bounds on real input events, and paints each
// channel's samples (only those) in its colour, the dashed reference line only when asked, and the
// curve as an anti-aliased line through neighbouring samples. A double click fits the y view to
// the visible samples and back; the hover readout picks the sample under the pointer; the image
// of the plots shows them as they are shown.
#include "canvas.h"
#include "curvelines.h"
#include "motorstate.h"
#include "plotimage.h"
#include "samplewindow.h"

#include <QPainter>
#include <QScreen>
#include <QtTest>

#include <cmath>

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

// One "row" column of texts, each its own name.
static void rows(std::initializer_list<const char *> texts)
{
    QTest::addColumn<QString>("row");
    for (const char *row : texts)
        QTest::newRow(row) << QString::fromLatin1(row);
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
        // press/release, m<dx>,<dy>, D/d left/right double click. Sample i holds i / 100.
        rows({
            "x in, not below 250|0 2000 95.5 251|w120x2|62 189 -95.5 95.5 0 1",
            "x in stops at 250|0 2000 95.5 1986|w120x20|868 1118 -95.5 95.5 0 14",
            "x out stops at 16000|0 1e6 95.5|w-120x300|0 16012 -95.5 95.5 0 226",
            "x out: none from 16000|0 1e6 95.5 16000|w-120|0 16000 -95.5 95.5 0 0",
            "a window of 2000 below a lower limit|0 1000 95.5|m0,0|0 2000 -95.5 95.5 0 0",
            "y in|0 2000 95.5|R w120|0 2000 -85.95 85.95 1 0",
            "y in, out; x out clamped|0 2000 95.5|R w120 w-120 r w-120|0 2000 -95.5 95.5 0 1",
            "drag left, down: later, up|1000 5000 50|L m-50,60 l m0,0|1100 3100 -40 60 0 1",
            "moves without left button|1000 5000 50|m-50,0 R m-50,0 r|1000 3000 -50 50 0 0",
            // Each second drag moves the view by its full height / 10 per 60 pixels.
            "to xLimit and the top|2900 5000 50|L m-100,300 l L m-100,240 l|3000 5000 -14.5 85.5 0 "
            "2",
            "to zero and the bottom|500 5000 50|L m400,-300 l L m400,-240 l|0 2000 -85.5 14.5 0 2",
            // Samples 0 .. 1999, or 500 .. 2499, with 5 % of their span to spare.
            "double click fits the window|0 2000 95.5|D|0 2000 -0.9995 20.9895 1 0",
            "a later window|500 5000 95.5|D|500 2500 4.0005 25.9895 1 0",
            "fitted: back to the limits|0 2000 95.5|D D|0 2000 -95.5 95.5 0 0",
            "y-zoomed: back to the limits|0 2000 95.5|R w120 r D|0 2000 -95.5 95.5 0 0",
            "right double click: nothing|0 2000 95.5|d|0 2000 -95.5 95.5 0 0",
        });
    }

    void input()
    {
        QFETCH(QString, row);
        const QStringList f = row.split('|'), s = f[1].split(' ');
        fill(3000, 3000, [](int i) { return i / 100.0f; });
        Canvas c;
        c.setGeometry(100, 100, 1100, 660); // shown, so that mouse events reach it
        setUp(c, s[2].toFloat(), s[1].toFloat(), s[0].toFloat(), s.value(3, "2000").toFloat());
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        QSignalSpy spy(&c, &Canvas::reCalculateHScroll);
        QPoint at(600, 330);
        for (const QString &e : f[2].split(' ')) {
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
            if (e[0].toLower() == 'd') // sent to the widget itself
                QTest::mouseDClick(&c, e[0] == 'D' ? Qt::LeftButton : Qt::RightButton, {}, at);
        }
        QCOMPARE(QString::asprintf("%g %g %g %g %d %d", c.xStart(), c.xEnd(), c.viewBottom(),
                                   c.viewTop(), c.yZoomed(), int(spy.count())),
                 f[3]);
    }

    void paint_data()
    {
        // "name|channel, sampleCount, reference (NaN: hidden, -: never set, on: shown but never
        // set)[, flat: view of no height]|curve".
        // All hold 3 (y = 240) but inf at 600, NaN at 1200; sample 1500 (x = 750) needs
        // sampleCount > 1500. A reference of -5 is at y = 480.
        rows({
            "position, only samples below the count|0 1000 -|#ff0000",
            "velocity past inf and NaN, no line at inf|1 2000 inf|#00ff00",
            "current, reference line|2 1000 -5|#0000ff",
            "reference line before a value is set|2 1000 on|#0000ff",
            "unknown channel|7 1000 nan|-",
            "view of no height|0 2000 3 flat|-",
        });
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
        if (a[2] != "-") // "-": never set; "on": shown at the value it starts with, 0
            c.setShowRef(!std::isnan(ref));
        if (a[2] != "on")
            c.setRefValue(ref);
        const QImage image = c.grab().toImage();
        if (a.size() > 3) { // a view of no height has no row to draw on: only the grid shows
            c.setChannel(7);
            c.setShowRef(false);
            QCOMPARE(image, c.grab().toImage());
            return;
        }
        // The lowest grid line runs through the last band's centre.
        QVERIFY(image.pixel(50, 630) != image.pixel(50, 645));
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

    void curveLines_data()
    {
        // "name|window width|samples|lines as x,y-x,y". On 1100 x 660 a window of width w puts
        // sample s at x = 500 s / w, and the view of -10..10 value v at y = 330 - 30 v.
        rows({
            "a NaN breaks the curve|200|0 nan 5|",
            "a column's samples make one line, the last column's too|2000|0 5 1 2|"
            "0,180-0,330 0,180-1,300 1,270-1,300",
        });
    }

    void curveLines()
    {
        QFETCH(QString, row);
        QVector<float> samples;
        for (const QString &v : row.section('|', 2, 2).split(' '))
            samples << v.toFloat();
        PlotView view;
        setUp(view, 10, 20000, 0, row.section('|', 1, 1).toFloat());
        QVector<QLine> lines;
        buildCurveLines(samples.constData(), visibleSamples(view, samples.size()), view,
                        PlotGeometry::forSize(1100, 660), lines);
        QStringList got;
        for (const QLine &l : lines)
            got << QString::asprintf("%d,%d-%d,%d", l.x1(), l.y1(), l.x2(), l.y2());
        QCOMPARE(got.join(' '), row.section('|', 3));
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

    void fitArithmetic_data()
    {
        // "name|samples|first, last sample, limit min, max|view bottom, top (none: no fit)".
        rows({
            "NaN and infinities skipped|1 1.5 nan inf 1.25 -inf|0 5 -95.5 95.5|0.975 1.525",
            "first to last inclusive|50 1 3 -50|1 2 -95.5 95.5|0.9 3.1",
            "one sample: a tenth of the limits|50 4 50|1 1 -95.5 95.5|-5.55 13.55",
            "flat at the top limit|95.5 95.5|0 1 -95.5 95.5|85.95 95.5",
            "flat, unbounded limits: a span of 1|2 2|0 1 -inf inf|1.5 2.5",
            "flat, narrow limits|2 2|0 1 1.5 2.5|1.95 2.05",
            "clamped to the limits|-100 50|0 1 -95.5 95.5|-95.5 57.5",
            "extreme magnitudes|-3e38 3e38|0 1 -3.4e38 3.4e38|-3.3e+38 3.3e+38",
            "largest floats|-3.4028234663852886e38 3.4028234663852886e38|0 1 -inf inf|"
            "-3.40282e+38 3.40282e+38",
            "above the limits, down to one|20 220|0 1 -10 10|none",
            "nothing finite|nan inf -inf|0 2 -95.5 95.5|none",
            "empty span|1 2|0 -1 -95.5 95.5|none",
        });
    }

    // The y view a double click fits: the finite samples' range with 5 % of its span to spare.
    void fitArithmetic()
    {
        QFETCH(QString, row);
        QVector<float> samples;
        for (const QString &v : row.section('|', 1, 1).split(' '))
            samples << v.toFloat();
        const QStringList b = row.section('|', 2, 2).split(' '); // span, then limits
        const ValueRange view =
            fittedView(finiteRange(samples.constData(), {b[0].toLongLong(), b[1].toLongLong()}),
                       b[2].toFloat(), b[3].toFloat());
        QCOMPARE(view.empty ? QString("none") : QString::asprintf("%g %g", view.low, view.high),
                 row.section('|', 3));
    }

    void nearestSample_data()
    {
        // "name|plot width, x start, window width, sample count|pointer x|sample (-1: none)". A
        // plot 1100 wide has 100-pixel columns: a 2000-wide window takes two samples a pixel.
        rows({
            "down to the nearer: the first|1100 0 2000 5000|0.2|0",
            "up to the nearer|1100 0 2000 5000|10.3|21",
            "beyond 2^24, where floats step by 2|1100 3e7 250 40000000|2|30000001",
            "the last sample|1100 0 2000 1000|499.7|999",
            "half a sample past the last|1100 0 2000 1000|499.8|-1",
            "label column|1100 0 2000 5000|1050|-1",
            "half a sample left of the first|1100 100 2000 5000|-0.5|-1",
            "before the first resize|0 0 2000 5000|10|-1",
        });
    }

    // The hover readout's sample: the inverse of the x scale, rounded, within the drawn samples.
    void nearestSample()
    {
        QFETCH(QString, row);
        const QStringList a = row.section('|', 1, 1).split(' ');
        PlotView view;
        setUp(view, 10, 5e7f, a[1].toFloat(), a[2].toFloat());
        const PlotGeometry g = PlotGeometry::forSize(a[0].toInt(), 660);
        QCOMPARE(::nearestSample(view, g, row.section('|', 2, 2).toDouble(), a[3].toLongLong()),
                 row.section('|', 3).toLongLong());
    }

    // The image stacks the plots as shown, at the device pixel ratio. On a plot 220 high
    // (20-pixel bands) 3 lies at y = 220 - (13 / 20 * 200 + 10) = 80; on one 110 high 3 lies at
    // 110 - (13 / 20 * 100 + 5) = 40 and -5 at 80.
    void image()
    {
        fill(2000, 2000, [](int) { return 3; });
        Canvas top, bottom;
        top.resize(550, 220);
        bottom.resize(330, 110);
        for (Canvas *c : {&top, &bottom})
            setUp(*c, 10, 2000);
        bottom.setChannel(CurrentChannel);
        bottom.setShowRef(true);
        bottom.setRefValue(-5);
        const QImage image = plotsImage({&top, nullptr, &bottom}, 2);
        QVERIFY(image.size() == QSize(2 * 550, 2 * (220 + 110)) && image.devicePixelRatio() == 2);
        // Device pixels: curves on rows 2 * 79 .. 2 * 81 and 2 * (220 + 39) .. 2 * (220 + 41), the
        // first dash on 2 * (220 + 79) .. 2 * (220 + 81), white beside the narrower plot.
        QCOMPARE(
            (QVector<QRgb>{image.pixel(200, 158), image.pixel(200, 518), image.pixel(10, 600),
                           image.pixel(800, 600)}),
            (QVector<QRgb>{qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    }

    // The grid is drawn once into an image of what lies beneath the plot and then copied at each
    // paint: that must look the same as drawing its translucent lines every time.
    void gridImage_data()
    {
        QTest::addColumn<bool>("onPage");
        QTest::newRow("a window of its own") << false;
        QTest::newRow("on a page with a gradient") << true;
    }
    void gridImage()
    {
        QFETCH(bool, onPage);
        fill(2000, 2000, [](int i) { return i % 7; });
        QWidget page;
        page.setObjectName("page");
        page.setStyleSheet("#page { background: qlineargradient(x1: 0, y1: 0, x2: 1, y2: 1, "
                           "stop: 0 #fed, stop: 1 #358); }");
        Canvas *c = onPage ? new Canvas(&page) : new Canvas;
        QScopedPointer<Canvas> own(onPage ? nullptr : c);
        c->setGeometry(40, 30, 700, 400);
        setUp(*c, 10, 2000);
        QWidget &shownWidget = onPage ? page : *c;
        shownWidget.resize(800, 500);
        shownWidget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shownWidget));
        QTest::qWait(20);
        c->resize(701, 400); // a new size needs a new image: until it is made, lines are drawn
        c->resize(700, 400);
        const QRect area = onPage ? c->geometry() : c->rect();
        const QImage drawnLines = shownWidget.grab(area).toImage();
        QTest::qWait(20);
        QCOMPARE(shownWidget.grab(area).toImage(), drawnLines);
    }

    // A paint composes the grid, the labels and the curve in its own image, blending the curve's
    // pixels itself and redrawing only what changed: each frame must equal the plot drawn by
    // the painter afresh (as for a saved image), however the previous frame looked. A refresh
    // repaints only what changed on screen: the window must then show that same frame, and
    // with the hint shown, what a whole paint of the plot shows.
    void composedFrame_data()
    {
        QTest::addColumn<bool>("refreshed");
        QTest::addColumn<bool>("hint");
        QTest::newRow("painted whole") << false << false;
        QTest::newRow("refreshed on screen") << true << false;
        QTest::newRow("refreshed under the hint") << true << true;
    }
    void composedFrame()
    {
        QFETCH(bool, refreshed);
        QFETCH(bool, hint);
        fill(20000, 20000, [](int i) { return 8 * std::sin(i * 0.05f) + (i * 7919 % 13) / 3.f; });
        Canvas::setHintVisible(hint);
        Canvas c;
        c.resize(1100, 660);
        setUp(c, 10, 20000);
        if (refreshed) {
            c.show();
            QVERIFY(QTest::qWaitForWindowExposed(&c));
        }
        c.grab();
        QTest::qWait(1); // the grid's image is made after the first paint
        // x start, window, ref (nan: hidden), channel, view half height
        const float steps[][5] = {{0, 2000, NAN, 0, 10},
                                  {500, 2000, 3, 0, 10},
                                  {500, 2000, -4, 1, 20},
                                  {0, 16000, NAN, 1, 20},
                                  {9000, 250, 9, 2, 12}};
        for (const auto &step : steps) {
            c.setXRange(step[0], step[0] + step[1]);
            c.setShowRef(!std::isnan(step[2]));
            c.setRefValue(step[2]);
            c.setChannel(int(step[3]));
            c.setView(-step[4], step[4]);
            QImage shown;
            if (refreshed) {
                c.refresh();
                QCoreApplication::processEvents(); // the repaint that was asked for
                shown = c.screen()->grabWindow(c.winId()).toImage();
            } else {
                shown = c.grab().toImage();
            }
            shown = shown.convertToFormat(QImage::Format_RGB32);
            QVERIFY(c.testAttribute(Qt::WA_OpaquePaintEvent));
            const QImage expected = hint ? c.grab().toImage() : plotsImage({&c}, 1);
            QCOMPARE(shown, expected.convertToFormat(QImage::Format_RGB32));
        }
        Canvas::setHintVisible(true);
    }

    // A 2-pixel pen up along (2, 4)-(6, 0) covers column c, centred at c + 0.5, from 6.5 - r - c to
    // 6.5 + r - c (r = sqrt 2) between its square ends, which reach x = 2 - r / 2 and 6 + r / 2; a
    // point is a 2 x 2 square. The rows a span covers wholly are solid, the end rows here are
    // covered 0.914 and painted at 15/16. On the plot such rows show the curve's colour over the
    // white, partly transparent.
    void strokesColumns()
    {
        const double r = M_SQRT2;
        QVector<ColumnSpan> spans(11);
        strokeColumns({QLine(2, 4, 6, 0), QLine(9, 3, 9, 3)}, 2, spans);
        const QVector<double> expected{0,       0,       4.5 - r, 3.5 + r, 3.5 - r, 3.5 + r,
                                       2.5 - r, 2.5 + r, 1.5 - r, 1.5 + r, 0.5 - r, 0.5 + r,
                                       0.5 - r, r - 0.5, 0,       0,       2,       4,
                                       2,       4,       0,       0};
        QString ends, wanted; // to a millionth of a pixel
        for (int k = 0; k < expected.size(); ++k) {
            ends += QString::number(k % 2 ? spans[k / 2].bottom : spans[k / 2].top, 'f', 6) + ' ';
            wanted += QString::number(expected[k], 'f', 6) + ' ';
        }
        QCOMPARE(ends, wanted);
        QVector<QRect> solid, partial[coverageLevels];
        coverageRects(spans, 660, solid, partial);
        QStringList cells; // x,y,height; solid first, then the rows at 15/16
        for (const QVector<QRect> *rects : {&solid, &partial[15]})
            for (const QRect &c : *rects)
                cells << QString::asprintf("%d,%d,%d", c.x(), c.y(), c.height());
        QCOMPARE(cells.join(' '), "2,3,1 3,2,1 4,1,1 5,0,1 8,2,1 8,3,1 9,2,1 9,3,1 1,3,1 1,4,1 "
                                  "2,2,1 2,4,1 3,1,1 3,3,1 4,0,1 4,2,1 5,1,1 6,0,1");
        fill(40, 40, [](int i) { return i / 4.f; }); // sample i at (4 i, 330 - 7.5 i)
        Canvas c;
        c.resize(1100, 660);
        setUp(c, 10, 2000, 0, 250);
        const QImage image = c.grab().toImage();
        int tinted = 0;
        for (int i = 0; i < 160 * 305; ++i) { // x 0 .. 159, y 30 .. 334
            const QColor p = image.pixelColor(i % 160, 30 + i / 160);
            tinted += p.red() > p.green() + 50 && p.green() > 20 && p.green() == p.blue();
        }
        QVERIFY2(tinted > 200, qPrintable(QString::number(tinted)));
    }
};

QTEST_MAIN(TestCanvas)
#include "tst_canvas.moc"
