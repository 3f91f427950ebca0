// The bar places and clamps its value and bounds, paints a green-to-red/blue run in a black frame,
// and paints nothing (with no undefined conversion) on a side of zero span.
#include "doublecanvas.h"

#include <QtTest>

class TestDoubleCanvas : public QObject
{
    Q_OBJECT
private slots:
    void bar_data();
    void bar();
};

void TestDoubleCanvas::bar_data()
{
    // "name|setter=argument ...|max min mid markerX|coloured columns of 1..250 [x, its colour]" on
    // a 252 x 20 bar, 95.5 .. -95.5 around 0; the ends stop just short of pure red and blue.
    QTest::addColumn<QString>("row");
    for (const char *row : {
             "centred: one green column|value=0|95.5 -95.5 0 126|1 126 #00ff00",
             "maximum: red end|value=95.5|95.5 -95.5 0 252|125 250 #fa0400",
             "above the maximum|value=1000|95.5 -95.5 0 252|125",
             "minimum: blue end|value=-95.5|95.5 -95.5 0 0|126 1 #0002fc",
             "below the minimum|value=-1000|95.5 -95.5 0 0|126",
             "NaN shows the middle|mid=10 value=nan|95.5 -95.5 10 126|1",
             "mid above max|mid=200|95.5 -95.5 94.5 63.3316|64",
             "mid below min|mid=-300|95.5 -95.5 -94.5 188.668|63",
             "max below min|max=-100|-95.5 -95.5 0 126|1",
             "min above max|min=100|95.5 95.5 0 126|1",
             "upper side empty, value clamped onto it|max=0 value=50|0 -95.5 0 126|0",
             "lower side empty, value below it|value=-50 min=0|95.5 0 0 0|0",
             // Not a zero span: a value far above a lowered maximum runs to the edge, clipped.
             "far past a lowered maximum|value=95.5 max=1|1 -95.5 0 12159|125 250 #fa0400",
         })
        QTest::newRow(row) << QString::fromLatin1(row);
}

void TestDoubleCanvas::bar()
{
    QFETCH(QString, row);
    DoubleCanvas bar;
    bar.setFixedSize(252, 20);
    bar.setAll(95.5f, -95.5f, 0, 0);
    for (const QString &set : row.section('|', 1, 1).split(' ')) {
        const float v = set.section('=', 1).toFloat();
        const int k = QStringList{"value", "mid", "max"}.indexOf(set.section('=', 0, 0));
        k == 0 ? bar.setValue(v) : k == 1 ? bar.setMid(v) : k == 2 ? bar.setMax(v) : bar.setMin(v);
    }
    QCOMPARE(QString::asprintf("%g %g %g %g", bar.max(), bar.min(), bar.mid(), bar.markerX()),
             row.section('|', 2, 2));
    const QImage image = bar.grab().toImage();
    const QStringList paint = row.section('|', 3).split(' ');
    int coloured = 0;
    for (int x = 1; x < 251; ++x)
        coloured += image.pixel(x, 10) != qRgb(255, 255, 255);
    QCOMPARE(QString::number(coloured), paint[0]);
    if (paint.size() > 1)
        QCOMPARE(image.pixelColor(paint[1].toInt(), 10).name(), paint[2]);
    // The frame is drawn last, over the run's end columns.
    for (const QPoint p : {QPoint(0, 10), QPoint(251, 10), QPoint(100, 0), QPoint(100, 19)})
        QCOMPARE(image.pixel(p), qRgb(0, 0, 0));
}

QTEST_MAIN(TestDoubleCanvas)
#include "tst_doublecanvas.moc"
