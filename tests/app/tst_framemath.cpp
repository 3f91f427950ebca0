// The protocol arithmetic must reproduce every worked value of the protocol bit for
// bit in both directions (codes are truncated, never rounded), and must give a defined
// result, never undefined behaviour, for spans of zero, NaN and values far outside the range.
#include "framemath.h"

#include <QtTest>

namespace {
// Which conversions a row of the code table holds for.
constexpr int ToCode = 1, ToValue = 2, Both = ToCode | ToValue;
} // namespace

class TestFrameMath : public QObject
{
    Q_OBJECT
private slots:
    void byteSumOfUnsignedBytes()
    {
        const QByteArray head = QByteArray::fromHex("aaaf0fa1ffffffffffffff fe0101");
        QCOMPARE(byteSum(head.constData(), 14), 2562u);
        QCOMPARE(byteSum(head.constData(), 0), 0u);
        QCOMPARE(byteSum(head.constData(), -5), 0u);
        QCOMPARE(byteSum("\xff\x80", 2), 383u);
    }

    void codes_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("min");
        QTest::addColumn<float>("max");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("way");
        auto row = [](const char *name, float x, float lo, float hi, int bits, int code, int way) {
            QTest::newRow(name) << x << lo << hi << bits << code << way;
        };
        row("position 0", 0.f, -95.5f, 95.5f, 16, 32767, ToCode);
        row("position max", 95.5f, -95.5f, 95.5f, 16, 65535, Both);
        row("position min", -95.5f, -95.5f, 95.5f, 16, 0, Both);
        row("velocity 0", 0.f, -45.f, 45.f, 12, 2047, ToCode);
        row("velocity 1", 1.f, -45.f, 45.f, 12, 2093, ToCode);
        row("kp 0", 0.f, 0.f, 500.f, 12, 0, Both);
        row("kp 10", 10.f, 0.f, 500.f, 12, 81, ToCode);
        row("kp 500", 500.f, 0.f, 500.f, 12, 4095, Both);
        row("kd 1", 1.f, 0.f, 5.f, 12, 819, Both);
        row("current 4095", 40.f, -40.f, 40.f, 12, 4095, Both);
        row("position 32767", -0.00145721435546875f, -95.5f, 95.5f, 16, 32767, ToValue);
        // Just below a code boundary, nearer the upper code: truncated, not rounded.
        row("truncates velocity", 0.9999f, -45.f, 45.f, 12, 2092, ToCode);
        row("truncates kd", 0.9999f, 0.f, 5.f, 12, 818, ToCode);
        row("below range, not clamped", -100.f, -95.5f, 95.5f, 16, -1544, ToCode);
        // Undefined in a plain float-to-int conversion; defined here.
        row("zero span", 3.f, 5.f, 5.f, 12, 0, ToCode);
        row("zero span gives min", 7.f, 7.f, 7.f, 12, 1234, ToValue);
        row("NaN value", qQNaN(), -95.5f, 95.5f, 16, 0, ToCode);
        row("NaN span", 1.f, qQNaN(), 95.5f, 16, 0, ToCode);
        row("huge positive saturates", 1e30f, -1.f, 1.f, 16, INT32_MAX, ToCode);
        row("huge negative saturates", -1e30f, -1.f, 1.f, 16, INT32_MIN, ToCode);
        row("infinite value saturates", qInf(), -1.f, 1.f, 12, INT32_MAX, ToCode);
        row("tiny span saturates", 1.f, 0.f, 1e-30f, 16, INT32_MAX, ToCode);
        // 1 and 31 bits are the narrowest and widest codes; 2^31 - 1 is 2^31 as a float.
        row("1 bit", 1.f, 0.f, 1.f, 1, 1, Both);
        row("31 bits", 1.f, 0.f, 2.f, 31, 1073741824, Both);
        row("31 bits saturate at the top", 2.f, 0.f, 2.f, 31, INT32_MAX, ToCode);
        row("bits out of range", 1.f, 0.f, 2.f, 32, 0, ToCode);
        row("bits out of range gives min", 1.f, 1.f, 2.f, 0, 3, ToValue);
    }
    void codes()
    {
        QFETCH(float, value);
        QFETCH(float, min);
        QFETCH(float, max);
        QFETCH(int, bits);
        QFETCH(int, code);
        QFETCH(int, way);
        if (way & ToCode)
            QCOMPARE(floatToFixed(value, min, max, bits), code);
        // As doubles: QCOMPARE on floats would let a wrong last bit pass.
        if (way & ToValue)
            QCOMPARE(double(fixedToFloat(code, min, max, bits)), double(value));
    }

    void helpers()
    {
        QCOMPARE(fmaxf3(2.f, 9.f, -4.f), 9.f);
        QCOMPARE(fminf3(2.f, 9.f, -4.f), -4.f);
        // NaN comparisons are false, so the later operand wins.
        QCOMPARE(fmaxf3(qQNaN(), 2.f, 1.f), 2.f);
        QVERIFY(qIsNaN(fminf3(1.f, 2.f, qQNaN())));
        float x = 6.f, y = 8.f;
        limitNorm(x, y, 5.f);
        QCOMPARE(QPointF(x, y), QPointF(3, 4));
    }
};

QTEST_GUILESS_MAIN(TestFrameMath)
#include "tst_framemath.moc"
