// The shared state starts with full, zeroed histories and default ranges, and the
// connect reset returns every used sample to 0.0 without moving the storage that
// other threads may be reading.
#include "motorstate.h"

#include <QtTest>

class TestMotorState : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void startsZeroedWithDefaults();
    void connectResetZeroesInPlace_data();
    void connectResetZeroesInPlace();
};

void TestMotorState::initTestCase()
{
    QVERIFY(prepareMotorState(QStringLiteral("/tmp")));
}

void TestMotorState::startsZeroedWithDefaults()
{
    QMutexLocker lock(&stateMutex);
    QCOMPARE(motorState.sampleCount, 0);
    QCOMPARE(motorState.appDir, QStringLiteral("/tmp"));
    QVERIFY(motorState.rxBuffer.capacity() >= rxBufferReserve);
    for (const History &h : motorState.histories) {
        QCOMPARE(h.size(), std::size_t(historyCapacity));
        QCOMPARE(h[0], 0.0f);
        QCOMPARE(h[historyCapacity / 2], 0.0f);
        QCOMPARE(h[historyCapacity - 1], 0.0f);
    }
    QCOMPARE(motorState.decodePositionMin, -95.5f);
    QCOMPARE(motorState.decodePositionMax, 95.5f);
    QCOMPARE(motorState.decodeVelocityMin, -45.f);
    QCOMPARE(motorState.decodeVelocityMax, 45.f);
    QCOMPARE(motorState.decodeCurrentMin, -40.f);
    QCOMPARE(motorState.decodeCurrentMax, 40.f);
}

void TestMotorState::connectResetZeroesInPlace_data()
{
    QTest::addColumn<int>("used");
    QTest::newRow("one sample") << 1;
    QTest::newRow("part of a page") << 1000;
    QTest::newRow("across pages") << 3 * 1024 * 1024 + 7;
    QTest::newRow("full histories") << historyCapacity;
}

void TestMotorState::connectResetZeroesInPlace()
{
    QFETCH(int, used);
    const float *before[3];
    {
        QMutexLocker lock(&stateMutex);
        for (int k = 0; k < 3; ++k) {
            History &h = motorState.histories[k];
            before[k] = h.data();
            h[0] = 1.5f;
            h[used / 2] = -2.f;
            h[used - 1] = 3.f;
        }
        motorState.sampleCount = used;
        motorState.rxBuffer = QByteArray("\xAA\xAA\x0B", 3);
        motorState.keyPosition = 4.f;
        motorState.usePackedCommand = true;
        motorState.decodePositionMax = 300.f;
        limits.velocityMax = 60;
    }
    connectReset();
    QMutexLocker lock(&stateMutex);
    QCOMPARE(motorState.sampleCount, 0);
    QVERIFY(motorState.rxBuffer.isEmpty());
    QCOMPARE(motorState.keyPosition, 0.f);
    QVERIFY(!motorState.usePackedCommand);
    QCOMPARE(motorState.decodePositionMax, 95.5f);
    QCOMPARE(motorState.decodeVelocityMax, 60.f);
    limits = Limits();
    for (int k = 0; k < 3; ++k) {
        const History &h = motorState.histories[k];
        QCOMPARE(h.data(), before[k]);
        QCOMPARE(h.size(), std::size_t(historyCapacity));
        QCOMPARE(h[0], 0.f);
        QCOMPARE(h[used / 2], 0.f);
        QCOMPARE(h[used - 1], 0.f);
    }
}

QTEST_GUILESS_MAIN(TestMotorState)
#include "tst_motorstate.moc"
