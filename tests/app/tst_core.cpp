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
// Which conversions a row of the code table holds for.
constexpr int ToCode = 1, ToValue = 2, Both = ToCode | ToValue;
struct Code
{
    float value, min, max;
    int bits, code, way;
};

QVector<float> decodeRanges()
{
    const MotorState &s = motorState;
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
        QCOMPARE(motorState.appDir, QStringLiteral("/tmp"));
        QVERIFY(motorState.rxBuffer.capacity() >= 1024 * 1024 && !motorState.sendEnabled);
        QCOMPARE(decodeRanges(), (QVector<float>{-95.5f, 95.5f, -45, 45, -40, 40}));
        QCOMPARE(ends(historyCapacity), zeroed);
        // More than the address space holds cannot be mapped: such a history stays empty.
        History unmapped;
        QVERIFY(!unmapped.allocate(std::size_t(1) << 60) && unmapped.empty() && !unmapped.data());
    }

    void connectResetZeroesInPlace_data()
    {
        QTest::addColumn<int>("used");
        QTest::newRow("one sample") << 1;
        QTest::newRow("across pages") << 3 * 1024 * 1024 + 7;
        QTest::newRow("full histories") << historyCapacity;
    }
    void connectResetZeroesInPlace()
    {
        QFETCH(int, used);
        MotorState &s = motorState;
        QVector<const float *> before;
        {
            QMutexLocker lock(&stateMutex);
            for (History &h : s.histories) {
                before << h.data();
                h[0] = h[(used - 1) / 2] = h[used - 1] = 1.5f;
            }
            s.sampleCount = used;
            s.rxBuffer = QByteArray("\xAA\xAA\x0B", 3);
            s.keyPosition = 4.f;
            s.keyVelocity = -3.f;
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

    void byteSumOfUnsignedBytes()
    {
        const QByteArray head = QByteArray::fromHex("aaaf0fa1ffffffffffffff fe0101");
        QCOMPARE(byteSum(head.constData(), 14), 2562u);
        QCOMPARE(byteSum(head.constData(), 0) + byteSum(head.constData(), -5), 0u);
    }

    void codes_data()
    {
        QTest::addColumn<Code>("c");
        auto row = [](const char *name, float x, float lo, float hi, int bits, int code, int way) {
            QTest::newRow(name) << Code{x, lo, hi, bits, code, way};
        };
        row("position 0", 0.f, -95.5f, 95.5f, 16, 32767, ToCode);
        row("position max", 95.5f, -95.5f, 95.5f, 16, 65535, Both);
        row("position min", -95.5f, -95.5f, 95.5f, 16, 0, Both);
        row("velocity 1", 1.f, -45.f, 45.f, 12, 2093, ToCode);
        row("kp 10", 10.f, 0.f, 500.f, 12, 81, ToCode);
        row("kd 1", 1.f, 0.f, 5.f, 12, 819, Both);
        row("position 32767", -0.00145721435546875f, -95.5f, 95.5f, 16, 32767, ToValue);
        // Just below a code boundary, nearer the upper code: truncated, not rounded.
        row("truncates velocity", 0.9999f, -45.f, 45.f, 12, 2092, ToCode);
        row("below range, not clamped", -100.f, -95.5f, 95.5f, 16, -1544, ToCode);
        // Undefined in a plain float-to-int conversion; defined here.
        row("zero span", 3.f, 5.f, 5.f, 12, 0, ToCode);
        row("zero span gives min", 7.f, 7.f, 7.f, 12, 1234, ToValue);
        row("NaN value", qQNaN(), -95.5f, 95.5f, 16, 0, ToCode);
        row("huge positive saturates", 1e30f, -1.f, 1.f, 16, INT32_MAX, ToCode);
        row("huge negative saturates", -1e30f, -1.f, 1.f, 16, INT32_MIN, ToCode);
        // 1 and 31 bits are the narrowest and widest codes; 2^31 - 1 is 2^31 as a float.
        row("1 bit", 1.f, 0.f, 1.f, 1, 1, Both);
        row("31 bits", 1.f, 0.f, 2.f, 31, 1073741824, Both);
        row("31 bits saturate at the top", 2.f, 0.f, 2.f, 31, INT32_MAX, ToCode);
        row("bits out of range", 1.f, 0.f, 2.f, 32, 0, ToCode);
        row("bits out of range gives min", 1.f, 1.f, 2.f, 0, 3, ToValue);
    }
    void codes()
    {
        QFETCH(Code, c);
        if (c.way & ToCode)
            QCOMPARE(floatToFixed(c.value, c.min, c.max, c.bits), c.code);
        // As doubles: QCOMPARE on floats would let a wrong last bit pass.
        if (c.way & ToValue)
            QCOMPARE(double(fixedToFloat(c.code, c.min, c.max, c.bits)), double(c.value));
    }

    // With neither file the lookup passes over a folder of the logo's name and finds only the
    // configured install folder of this build, if anything; the installed file comes next, and
    // one beside the executable wins.
    void logoLookupOrder()
    {
        QTemporaryDir prefix;
        const QDir root(prefix.path());
        const QString bin = root.filePath("bin"), beside = root.filePath("bin/Images/logo.png");
        const QString installed = root.filePath("share/korvane/Images/logo.png");
        QVERIFY(root.mkpath(beside) && root.mkpath("share/korvane/Images"));
        QVERIFY2(!findLogo(bin).startsWith(root.path()), qPrintable(findLogo(bin)));
        QVERIFY(QFile(installed).open(QIODevice::WriteOnly));
        QCOMPARE(findLogo(bin), installed);
        QVERIFY(QDir(beside).removeRecursively() && QFile(beside).open(QIODevice::WriteOnly));
        QCOMPARE(findLogo(bin), beside);
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
