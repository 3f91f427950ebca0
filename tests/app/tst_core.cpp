// The core library. The protocol arithmetic reproduces every worked value of the protocol
// bit for bit in both directions (codes are truncated, never rounded) and gives a defined
// result, never undefined behaviour, for spans of zero, NaN and values far outside the range.
// The shared state starts with full, zeroed histories, and the connect reset returns every used
// sample to 0.0 without moving the storage that other threads may be reading, clears the
// per-connection fields and starts the decode ranges again from the limits. The logo is taken
// from Images/ beside the executable when it is there, else from the data folder of the
// installation the executable sits in (bin/ and share/korvane/ side by side), and only a file
// counts: a folder of the same name is passed over.
#include "datapaths.h"
#include "framemath.h"
#include "motorstate.h"

#include <QtTest>

namespace {
// A row of the code table, for the conversion to the code ('c'), to the value ('v') or both ('b').
struct Code
{
    float value, min, max;
    int bits, code;
    char way;
};
MotorState &s = motorState;

QVector<float> decodeRanges()
{
    return {s.decodePositionMin, s.decodePositionMax, s.decodeVelocityMin,
            s.decodeVelocityMax, s.decodeCurrentMin,  s.decodeCurrentMax};
}
// The size and the first, middle and last of the `used` samples of every history, as doubles.
QVector<double> ends(int used)
{
    QVector<double> v;
    for (const History &h : motorState.histories)
        v << double(h.size()) << h[0] << h[(used - 1) / 2] << h[used - 1];
    return v;
}
const QVector<double> zeroed{historyCapacity, 0, 0, 0, historyCapacity, 0, 0, 0,
                             historyCapacity, 0, 0, 0};
} // namespace
Q_DECLARE_METATYPE(Code)

class TestCore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(prepareMotorState(QStringLiteral("/tmp"))); }

    void startsZeroed()
    {
        QMutexLocker lock(&stateMutex);
        QVERIFY(motorState.rxBuffer.capacity() >= 1024 * 1024 && !motorState.sendEnabled);
        QCOMPARE(decodeRanges(), (QVector<float>{-95.5f, 95.5f, -45, 45, -40, 40}));
        QCOMPARE(ends(historyCapacity), zeroed);
    }

    void connectResetZeroesInPlace_data()
    {
        QTest::addColumn<int>("used");
        QTest::newRow("across pages") << 3 * 1024 * 1024 + 7;
        QTest::newRow("full histories") << historyCapacity;
    }
    void connectResetZeroesInPlace()
    {
        QFETCH(int, used);
        QVector<const float *> before;
        {
            QMutexLocker lock(&stateMutex);
            for (History &h : s.histories) {
                before << h.data();
                h[0] = h[(used - 1) / 2] = h[used - 1] = 1.5f;
            }
            s.sampleCount = used;
            s.rxBuffer = QByteArray("\xAA\xAA\x0B", 3);
            s.keyPosition = s.keyVelocity = -3.f;
            s.usePackedCommand = true;
            s.decodePositionMin = s.decodeVelocityMin = s.decodeCurrentMin = s.decodePositionMax =
                s.decodeVelocityMax = s.decodeCurrentMax = 300.f;
            limits = Limits{-7, 8, -9, 10, -18, 18, -11, 12, 0, 500, 0, 5};
        }
        connectReset();
        QMutexLocker lock(&stateMutex);
        limits = Limits();
        QVERIFY(s.sampleCount == 0 && !s.usePackedCommand && s.keyPosition == 0 &&
                s.keyVelocity == 0);
        QVERIFY(s.rxBuffer.isEmpty() && s.rxBuffer.capacity() >= 1024 * 1024);
        QCOMPARE(decodeRanges(), (QVector<float>{-7, 8, -9, 10, -11, 12}));
        QCOMPARE(ends(used), zeroed);
        for (int k = 0; k < 3; ++k)
            QCOMPARE(s.histories[k].data(), before[k]);
    }

    void codes_data()
    {
        QTest::addColumn<Code>("c");
        auto row = [](const char *name, float x, float lo, float hi, int bits, int code, char way) {
            QTest::newRow(name) << Code{x, lo, hi, bits, code, way};
        };
        row("position 0", 0.f, -95.5f, 95.5f, 16, 32767, 'c');
        row("position max", 95.5f, -95.5f, 95.5f, 16, 65535, 'b');
        row("position min", -95.5f, -95.5f, 95.5f, 16, 0, 'b');
        row("velocity 1", 1.f, -45.f, 45.f, 12, 2093, 'c');
        row("kp 10", 10.f, 0.f, 500.f, 12, 81, 'c');
        row("kd 1", 1.f, 0.f, 5.f, 12, 819, 'b');
        row("position 32767", -0.00145721435546875f, -95.5f, 95.5f, 16, 32767, 'v');
        // Just below a code boundary, nearer the upper code: truncated, not rounded.
        row("truncates velocity", 0.9999f, -45.f, 45.f, 12, 2092, 'c');
        row("below range, not clamped", -100.f, -95.5f, 95.5f, 16, -1544, 'c');
        // Undefined in a plain float-to-int conversion; defined here.
        row("zero span", 3.f, 5.f, 5.f, 12, 0, 'c');
        row("NaN value", qQNaN(), -95.5f, 95.5f, 16, 0, 'c');
        row("huge negative saturates", -1e30f, -1.f, 1.f, 16, INT32_MIN, 'c');
        // 1 and 31 bits are the narrowest and widest codes; 2^31 - 1 is 2^31 as a float.
        row("1 bit", 1.f, 0.f, 1.f, 1, 1, 'b');
        row("31 bits", 1.f, 0.f, 2.f, 31, 1073741824, 'b');
        row("31 bits saturate at the top", 2.f, 0.f, 2.f, 31, INT32_MAX, 'c');
        row("bits out of range", 1.f, 0.f, 2.f, 32, 0, 'c');
        row("bits out of range gives min", 1.f, 1.f, 2.f, 0, 3, 'v');
    }
    void codes()
    {
        QFETCH(Code, c);
        if (c.way != 'v')
            QCOMPARE(floatToFixed(c.value, c.min, c.max, c.bits), c.code);
        // As doubles: QCOMPARE on floats would let a wrong last bit pass.
        if (c.way != 'c')
            QCOMPARE(double(fixedToFloat(c.code, c.min, c.max, c.bits)), double(c.value));
    }

    // The lookup passes over a folder of the logo's name beside the executable and takes the
    // installed file; a file beside the executable wins.
    void logoLookupOrder()
    {
        QTemporaryDir prefix;
        const QDir root(prefix.path());
        const QString bin = root.filePath("bin"), beside = root.filePath("bin/Images/logo.png");
        const QString installed = root.filePath("share/korvane/Images/logo.png");
        QVERIFY(root.mkpath(beside) && root.mkpath("share/korvane/Images"));
        QVERIFY(QFile(installed).open(QIODevice::WriteOnly));
        QCOMPARE(findLogo(bin), installed);
        QVERIFY(QDir(beside).removeRecursively() && QFile(beside).open(QIODevice::WriteOnly));
        QCOMPARE(findLogo(bin), beside);
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
