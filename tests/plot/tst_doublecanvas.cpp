// The bar puts a value at its pixel between the bounds, keeps its middle strictly inside
// them, paints a run that is green at the centre and turns red toward the upper end and blue
// toward the lower end inside a black frame, and paints nothing on a side of zero span
// (where the colour arithmetic has no finite result) instead of converting it.
#include "doublecanvas.h"

#include <QtTest>

#include <cmath>

class TestDoubleCanvas : public QObject
{
    Q_OBJECT
private slots:
    void markers_data();
    void markers();
    void bounds_data();
    void bounds();
    void pixels_data();
    void pixels();
    void sidesOfZeroSpanPaintNothing_data();
    void sidesOfZeroSpanPaintNothing();
};

static void prepare(DoubleCanvas &bar, float value)
{
    bar.setFixedSize(252, 20);
    bar.setAll(95.5f, -95.5f, 0, value);
}

void TestDoubleCanvas::markers_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("markerX");
    QTest::newRow("middle") << 0.f << 126.f;
    QTest::newRow("maximum") << 95.5f << 252.f;
    QTest::newRow("above the maximum") << 1000.f << 252.f;
    QTest::newRow("minimum") << -95.5f << 0.f;
    QTest::newRow("below the minimum") << -1000.f << 0.f;
    QTest::newRow("NaN shows the middle") << float(qQNaN()) << 126.f;
}

void TestDoubleCanvas::markers()
{
    QFETCH(float, value);
    DoubleCanvas bar;
    prepare(bar, 0);
    bar.setValue(value);
    QTEST(bar.markerX(), "markerX");
}

void TestDoubleCanvas::bounds_data()
{
    QTest::addColumn<char>("setter");
    QTest::addColumn<float>("argument");
    QTest::addColumn<QVector<float>>("maxMinMid");
    QTest::newRow("mid above max") << 'm' << 200.f << QVector<float>{95.5f, -95.5f, 94.5f};
    QTest::newRow("mid below min") << 'm' << -300.f << QVector<float>{95.5f, -95.5f, -94.5f};
    QTest::newRow("max below min") << '+' << -100.f << QVector<float>{-95.5f, -95.5f, 0};
    QTest::newRow("min above max") << '-' << 100.f << QVector<float>{95.5f, 95.5f, 0};
}

void TestDoubleCanvas::bounds()
{
    QFETCH(char, setter);
    QFETCH(float, argument);
    DoubleCanvas bar;
    prepare(bar, 0);
    setter == 'm'   ? bar.setMid(argument)
    : setter == '+' ? bar.setMax(argument)
                    : bar.setMin(argument);
    QTEST((QVector<float>{bar.max(), bar.min(), bar.mid()}), "maxMinMid");
    QVERIFY(std::isfinite(bar.markerX()));
}

void TestDoubleCanvas::pixels_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("probeX");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("whiteX");
    QTest::newRow("centred: one green column") << 0.f << 126 << QColor(0, 255, 0) << 127;
    QTest::newRow("full: red at the right end") << 95.5f << 250 << QColor(255, 0, 0) << 125;
    QTest::newRow("minimum: blue at the left end") << -95.5f << 1 << QColor(0, 0, 255) << 127;
}

void TestDoubleCanvas::pixels()
{
    QFETCH(float, value);
    QFETCH(int, probeX);
    QFETCH(QColor, colour);
    QFETCH(int, whiteX);
    DoubleCanvas bar;
    prepare(bar, value);
    const QImage image = bar.grab().toImage();
    const QColor seen = image.pixelColor(probeX, 10);
    const int off =
        std::max({std::abs(seen.red() - colour.red()), std::abs(seen.green() - colour.green()),
                  std::abs(seen.blue() - colour.blue())});
    QVERIFY2(off <= 6, qPrintable(QStringLiteral("column %1 is %2").arg(probeX).arg(seen.name())));
    QCOMPARE(image.pixel(whiteX, 10), qRgb(255, 255, 255));
    // The frame is drawn last, over the run's end columns.
    for (const QPoint p : {QPoint(0, 10), QPoint(251, 10), QPoint(100, 0), QPoint(100, 19)})
        QCOMPARE(image.pixel(p), qRgb(0, 0, 0));
}

void TestDoubleCanvas::sidesOfZeroSpanPaintNothing_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("newMax");
    QTest::addColumn<float>("newMin");
    QTest::addColumn<int>("coloured");
    QTest::newRow("upper side empty") << 0.f << 0.f << -95.5f << 0;
    QTest::newRow("lower side empty, value below it") << -50.f << 95.5f << 0.f << 0;
    // Not a zero span: a value far above a lowered maximum runs to the edge and is clipped.
    QTest::newRow("value far past a new maximum") << 95.5f << 1.f << -95.5f << 125;
}

void TestDoubleCanvas::sidesOfZeroSpanPaintNothing()
{
    QFETCH(float, value);
    QFETCH(float, newMax);
    QFETCH(float, newMin);
    DoubleCanvas bar;
    prepare(bar, value);
    bar.setMax(newMax);
    bar.setMin(newMin);
    QVERIFY(std::isfinite(bar.markerX()));
    const QImage image = bar.grab().toImage();
    int coloured = 0;
    for (int x = 1; x < 251; ++x)
        coloured += image.pixel(x, 10) != qRgb(255, 255, 255);
    QTEST(coloured, "coloured");
    bar.setValue(50);
    QVERIFY(std::isfinite(bar.markerX()));
}

QTEST_MAIN(TestDoubleCanvas)
#include "tst_doublecanvas.moc"
