// The shared state starts with full, zeroed histories and nothing commanded, and the connect
// reset returns every used sample to 0.0 without moving the storage that other threads may be
// reading, clears the per-connection fields and starts the decode ranges again from the limits.
#include "motorstate.h"

#include <QtTest>

class TestMotorState : public QObject
{
    Q_OBJECT
    static QVector<float> decodeRanges()
    {
        const MotorState &s = motorState;
        return {s.decodePositionMin, s.decodePositionMax, s.decodeVelocityMin,
                s.decodeVelocityMax, s.decodeCurrentMin,  s.decodeCurrentMax};
    }

private slots:
    void initTestCase() { QVERIFY(prepareMotorState(QStringLiteral("/tmp"))); }

    void startsZeroed()
    {
        QMutexLocker lock(&stateMutex);
        const MotorState &s = motorState;
        QCOMPARE(s.appDir, QStringLiteral("/tmp"));
        QVERIFY(s.rxBuffer.capacity() >= 1024 * 1024);
        QVERIFY(!s.sendEnabled);
        QCOMPARE(decodeRanges(), (QVector<float>{-95.5f, 95.5f, -45, 45, -40, 40}));
        const int last = historyCapacity - 1;
        for (const History &h : s.histories) {
            QCOMPARE(h.size(), std::size_t(historyCapacity));
            QCOMPARE((QVector<float>{h[0], h[last / 2], h[last]}), QVector<float>(3));
        }
        // More than the address space holds cannot be mapped: such a history stays empty.
        History unmapped;
        QVERIFY(!unmapped.allocate(std::size_t(1) << 60) && unmapped.empty() && !unmapped.data());
    }

    void connectResetZeroesInPlace_data()
    {
        QTest::addColumn<int>("used");
        QTest::newRow("one sample") << 1;
        QTest::newRow("part of a page") << 1000;
        QTest::newRow("across pages") << 3 * 1024 * 1024 + 7;
        QTest::newRow("full histories") << historyCapacity;
    }
    void connectResetZeroesInPlace()
    {
        QFETCH(int, used);
        const int last = used - 1;
        const float *before[3];
        {
            QMutexLocker lock(&stateMutex);
            for (int k = 0; k < 3; ++k) {
                History &h = motorState.histories[k];
                before[k] = h.data();
                h[0] = h[last / 2] = h[last] = 1.5f;
            }
            motorState.sampleCount = used;
            motorState.rxBuffer = QByteArray("\xAA\xAA\x0B", 3);
            motorState.keyPosition = 4.f;
            motorState.keyVelocity = -3.f;
            motorState.usePackedCommand = true;
            motorState.decodePositionMin = motorState.decodeVelocityMin = 300.f;
            motorState.decodeCurrentMin = motorState.decodePositionMax = 300.f;
            motorState.decodeVelocityMax = motorState.decodeCurrentMax = 300.f;
            limits = Limits{-7, 8, -9, 10, -18, 18, -11, 12, 0, 500, 0, 5};
        }
        connectReset();
        QMutexLocker lock(&stateMutex);
        limits = Limits();
        QCOMPARE(motorState.sampleCount, 0);
        QVERIFY(motorState.rxBuffer.isEmpty() && motorState.rxBuffer.capacity() >= 1024 * 1024);
        QCOMPARE((QVector<float>{motorState.keyPosition, motorState.keyVelocity}),
                 QVector<float>(2));
        QVERIFY(!motorState.usePackedCommand);
        QCOMPARE(decodeRanges(), (QVector<float>{-7, 8, -9, 10, -11, 12}));
        for (int k = 0; k < 3; ++k) {
            const History &h = motorState.histories[k];
            QCOMPARE(h.data(), before[k]);
            QCOMPARE((QVector<float>{h[0], h[last / 2], h[last]}), QVector<float>(3));
        }
    }
};

QTEST_GUILESS_MAIN(TestMotorState)
#include "tst_motorstate.moc"
