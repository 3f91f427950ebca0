// The protocol arithmetic must reproduce every worked value of the protocol bit for
// bit (codes are truncated, never rounded), and must give a defined result, never
// undefined behaviour, for spans of zero, NaN and values far outside the range.
#include "framemath.h"

#include <QtTest>
#include <cmath>
#include <limits>

class TestFrameMath : public QObject
{
    Q_OBJECT
private slots:
    void byteSumValues_data();
    void byteSumValues();
    void toFixed_data();
    void toFixed();
    void toFloat_data();
    void toFloat();
    void helpers();
};

void TestFrameMath::byteSumValues_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("count");
    QTest::addColumn<quint32>("sum");
    const QByteArray zero = QByteArray::fromHex("aaaf0fa1ffffffffffffff fe0101");
    QTest::newRow("zero frame head") << zero << 14 << quint32(2562);
    QTest::newRow("count zero") << zero << 0 << quint32(0);
    QTest::newRow("negative count") << zero << -5 << quint32(0);
    QTest::newRow("bytes are unsigned") << QByteArray::fromHex("ff80") << 2 << quint32(383);
}

void TestFrameMath::byteSumValues()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, count);
    QFETCH(quint32, sum);
    QCOMPARE(byteSum(bytes.constData(), count), sum);
}

void TestFrameMath::toFixed_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("min");
    QTest::addColumn<float>("max");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("code");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("position 0") << 0.f << -95.5f << 95.5f << 16 << 32767;
    QTest::newRow("position max") << 95.5f << -95.5f << 95.5f << 16 << 65535;
    QTest::newRow("position min") << -95.5f << -95.5f << 95.5f << 16 << 0;
    QTest::newRow("velocity 0") << 0.f << -45.f << 45.f << 12 << 2047;
    QTest::newRow("velocity 1") << 1.f << -45.f << 45.f << 12 << 2093;
    QTest::newRow("torque 0") << 0.f << -18.f << 18.f << 12 << 2047;
    QTest::newRow("kp 0") << 0.f << 0.f << 500.f << 12 << 0;
    QTest::newRow("kp 10") << 10.f << 0.f << 500.f << 12 << 81;
    QTest::newRow("kp 500") << 500.f << 0.f << 500.f << 12 << 4095;
    QTest::newRow("kd 0") << 0.f << 0.f << 5.f << 12 << 0;
    QTest::newRow("kd 1") << 1.f << 0.f << 5.f << 12 << 819;
    // Just below a code boundary, nearer the upper code: truncated, not rounded.
    QTest::newRow("truncates velocity") << 0.9999f << -45.f << 45.f << 12 << 2092;
    QTest::newRow("truncates kd") << 0.9999f << 0.f << 5.f << 12 << 818;
    QTest::newRow("below range, not clamped") << -100.f << -95.5f << 95.5f << 16 << -1544;
    // Undefined in a plain float-to-int conversion; defined here.
    QTest::newRow("zero span") << 3.f << 5.f << 5.f << 12 << 0;
    QTest::newRow("NaN value") << nan << -95.5f << 95.5f << 16 << 0;
    QTest::newRow("NaN span") << 1.f << nan << 95.5f << 16 << 0;
    QTest::newRow("huge positive saturates") << 1e30f << -1.f << 1.f << 16 << INT32_MAX;
    QTest::newRow("huge negative saturates") << -1e30f << -1.f << 1.f << 16 << INT32_MIN;
    QTest::newRow("infinite value saturates") << inf << -1.f << 1.f << 12 << INT32_MAX;
    QTest::newRow("tiny span saturates") << 1.f << 0.f << 1e-30f << 16 << INT32_MAX;
    QTest::newRow("bits out of range") << 1.f << 0.f << 2.f << 40 << 0;
}

void TestFrameMath::toFixed()
{
    QFETCH(float, x);
    QFETCH(float, min);
    QFETCH(float, max);
    QFETCH(int, bits);
    QFETCH(int, code);
    QCOMPARE(floatToFixed(x, min, max, bits), code);
}

void TestFrameMath::toFloat_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<float>("min");
    QTest::addColumn<float>("max");
    QTest::addColumn<int>("bits");
    QTest::addColumn<double>("value");
    QTest::newRow("position 32767") << 32767 << -95.5f << 95.5f << 16 << -0.00145721435546875;
    QTest::newRow("position 32768") << 32768 << -95.5f << 95.5f << 16 << 0.00145721435546875;
    QTest::newRow("position 0") << 0 << -95.5f << 95.5f << 16 << -95.5;
    QTest::newRow("position 65535") << 65535 << -95.5f << 95.5f << 16 << 95.5;
    QTest::newRow("current 4095") << 4095 << -40.f << 40.f << 12 << 40.0;
    QTest::newRow("velocity 2048") << 2048 << -45.f << 45.f << 12 << 0.010990142822265625;
    QTest::newRow("current 2048") << 2048 << -40.f << 40.f << 12 << 0.009769439697265625;
    QTest::newRow("zero span gives min") << 1234 << 7.f << 7.f << 12 << 7.0;
    QTest::newRow("bits out of range gives min") << 3 << 1.f << 2.f << 0 << 1.0;
}

void TestFrameMath::toFloat()
{
    QFETCH(int, code);
    QFETCH(float, min);
    QFETCH(float, max);
    QFETCH(int, bits);
    QFETCH(double, value);
    QCOMPARE(static_cast<double>(fixedToFloat(code, min, max, bits)), value);
}

void TestFrameMath::helpers()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QCOMPARE(fmaxf3(2.f, 9.f, -4.f), 9.f);
    QCOMPARE(fminf3(2.f, 9.f, -4.f), -4.f);
    // NaN comparisons are false, so the later operand wins.
    QCOMPARE(fmaxf3(nan, 2.f, 1.f), 2.f);
    QVERIFY(std::isnan(fminf3(1.f, 2.f, nan)));
    float x = 3.f, y = 4.f;
    limitNorm(x, y, 5.f); // exactly at the limit: unchanged
    QCOMPARE(QPointF(x, y), QPointF(3, 4));
    x = 6.f, y = 8.f;
    limitNorm(x, y, 5.f);
    QCOMPARE(QPointF(x, y), QPointF(3, 4));
}

QTEST_GUILESS_MAIN(TestFrameMath)
#include "tst_framemath.moc"
