// The bar places and clamps its value and bounds, paints a green-to-red/blue run in a black frame,
// and paints nothing (with no undefined conversion) on a side of zero span.
#include "backdrop.h"
#include "doublecanvas.h"

#include <QGroupBox>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QtTest>

#include <cmath>

class TestDoubleCanvas : public QObject
{
    Q_OBJECT
private slots:
    void bar_data()
    {
        // "name|setter=argument ...|max min mid markerX|painted columns of 1..250, then the first
        // and last as x#colour" on a 252 x 20 bar, 95.5 .. -95.5 around 0; the ends stop just short
        // of pure red and blue.
        QTest::addColumn<QString>("row");
        for (const char *row : {
                 "centred: one green column|value=0|95.5 -95.5 0 126|1 126#00ff00",
                 "above max: red end|value=1000|95.5 -95.5 0 252|125 126#00ff00 250#fa0400",
                 "below min: blue end|value=-1000|95.5 -95.5 0 0|126 1#0002fc 126#00ff00",
                 "NaN shows the middle|mid=10 value=nan|95.5 -95.5 10 126|1 126#00ff00",
                 "mid above max|mid=200|95.5 -95.5 94.5 63.3316|64 63#007f7f 126#00ff00",
                 "mid below min|mid=-300|95.5 -95.5 -94.5 188.668|63 126#00ff00 188#7d8100",
                 "max below min, min above max|max=-100 min=100|-95.5 -95.5 0 126|1 126#00ff00",
                 "upper side empty, value clamped onto it|max=0 value=50|0 -95.5 0 126|0",
                 "lower side empty, value below it|value=-50 min=0|95.5 0 0 0|0",
                 // Not a zero span: a value far above a lowered maximum runs to the edge, clipped.
                 "far past a new max|value=95.5 max=1|1 -95.5 0 12159|125 126#00ff00 250#fa0400",
                 // A whole range at once: exactly those bounds, the value clamped into them.
                 "range beside 0 centres on its middle|range=100:200|200 100 150 0|126 1#0002fc "
                 "126#00ff00",
                 "range holding 0 centres on 0|range=-10:30 value=30|30 -10 0 252|125 126#00ff00 "
                 "250#fa0400",
                 "back from a range beside the old one|range=100:200 range=-95.5:95.5 "
                 "value=95.5|95.5 -95.5 0 252|125 126#00ff00 250#fa0400",
             })
            QTest::newRow(row) << QString::fromLatin1(row);
    }

    void bar()
    {
        QFETCH(QString, row);
        DoubleCanvas c;
        c.setFixedSize(252, 20);
        c.setAll(95.5f, -95.5f, 0, 0);
        for (const QString &set : row.section('|', 1, 1).split(' ')) {
            const float v = set.section('=', 1).section(':', 0, 0).toFloat();
            const int k =
                QStringList{"value", "mid", "max", "range"}.indexOf(set.section('=', 0, 0));
            if (k == 3)
                c.setRange(v, set.section(':', 1).toFloat());
            else
                k == 0 ? c.setValue(v) : k == 1 ? c.setMid(v) : k == 2 ? c.setMax(v) : c.setMin(v);
        }
        const QImage image = c.grab().toImage();
        QStringList run; // the painted columns of 1..250 as x#colour
        for (int x = 1; x < 251; ++x)
            if (image.pixel(x, 10) != qRgb(255, 255, 255))
                run << QString::number(x) + image.pixelColor(x, 10).name();
        run.prepend(QString::asprintf("%g %g %g %g|%d", c.max(), c.min(), c.mid(), c.markerX(),
                                      int(run.size())));
        while (run.size() > 3)
            run.removeAt(2);
        QCOMPARE(run.join(' '), row.section('|', 2));
        QVERIFY(!std::isnan(c.value())); // a NaN sample shows as the middle
        // The frame is drawn last, over the run's end columns.
        for (const QPoint p : {QPoint(0, 10), QPoint(251, 10), QPoint(100, 0), QPoint(100, 19)})
            QCOMPARE(image.pixel(p), qRgb(0, 0, 0));
    }

    // A readout label painting over an image of the group box beneath it, and the opaque bar,
    // must show on screen exactly what a plain group box shows with the same texts, across new
    // texts, a new size, and a taller box whose gradient moves beneath the unmoved label.
    void readoutOnBackdrop()
    {
        struct Panel
        {
            QGroupBox box{"Information"};
            QLabel *label = new QLabel("Position:0", &box);
            DoubleCanvas *bar = new DoubleCanvas(&box);
            Panel()
            {
                auto *layout = new QVBoxLayout(&box);
                layout->setAlignment(Qt::AlignTop);
                layout->addWidget(label);
                layout->addWidget(bar);
                bar->setFixedSize(252, 20);
                bar->setAll(95.5f, -95.5f, 0, 0);
                box.resize(280, 120);
                box.show();
            }
        } plain, live;
        Backdrops backdrops;
        backdrops.add(live.label);
        QVERIFY(QTest::qWaitForWindowExposed(&live.box));
        QVERIFY(
            QTest::qWaitFor([&] { return live.label->testAttribute(Qt::WA_OpaquePaintEvent); }));
        // Gradients rendered for a part of the window may round a channel one step apart.
        const auto same = [&](int tolerance = 0) {
            QCoreApplication::processEvents();
            const QImage shown = live.box.screen()
                                     ->grabWindow(live.box.winId())
                                     .toImage()
                                     .convertToFormat(QImage::Format_RGB32);
            const QImage expected =
                plain.box.grab().toImage().convertToFormat(QImage::Format_RGB32);
            if (tolerance == 0 || shown.size() != expected.size())
                return shown == expected;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x) {
                    const QRgb a = shown.pixel(x, y), b = expected.pixel(x, y);
                    if (std::abs(qRed(a) - qRed(b)) > tolerance ||
                        std::abs(qGreen(a) - qGreen(b)) > tolerance ||
                        std::abs(qBlue(a) - qBlue(b)) > tolerance)
                        return false;
                }
            return true;
        };
        const char *texts[] = {"Position:-12.35 rad", "Position:0.00 rad", ""};
        for (int i = 0; i < 3; ++i) {
            for (Panel *p : {&plain, &live}) {
                p->label->setText(texts[i]);
                p->bar->setValue(40.0f * i - 30);
                p->bar->update();
            }
            QVERIFY2(same(), texts[i]);
            // A new text is painted over the same image: the box is not repainted beneath it.
            QVERIFY(live.label->testAttribute(Qt::WA_OpaquePaintEvent));
        }
        for (Panel *p : {&plain, &live})
            p->box.resize(260, 160);
        QVERIFY(
            QTest::qWaitFor([&] { return live.label->testAttribute(Qt::WA_OpaquePaintEvent); }));
        live.label->setText("Position:1.00 rad");
        plain.label->setText("Position:1.00 rad");
        QVERIFY(same());
        for (Panel *p : {&plain, &live})
            p->box.setStyleSheet("QGroupBox { background: qlineargradient(x1: 0, y1: 0, x2: 1, "
                                 "y2: 1, stop: 0 #fed, stop: 1 #358); }");
        const QRect labelAt = live.label->geometry();
        for (int height : {161, 240}) {
            for (Panel *p : {&plain, &live})
                p->box.resize(260, height);
            QVERIFY(QTest::qWaitFor(
                [&] { return live.label->testAttribute(Qt::WA_OpaquePaintEvent); }));
            QCOMPARE(live.label->geometry(), labelAt);
            QVERIFY2(same(1), "taller box");
        }
    }
};

QTEST_MAIN(TestDoubleCanvas)
#include "tst_doublecanvas.moc"
