// The shared state starts with full, zeroed histories, and the connect reset returns every
// used sample to 0.0 without moving the storage that other threads may be reading, and
// clears the per-connection fields.
#include "motorstate.h"

#include <QtTest>

class TestMotorState : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(prepareMotorState(QStringLiteral("/tmp"))); }

    void startsZeroed()
    {
        QMutexLocker lock(&stateMutex);
        QCOMPARE(motorState.appDir, QStringLiteral("/tmp"));
        QVERIFY(motorState.rxBuffer.capacity() >= rxBufferReserve);
        const int last = historyCapacity - 1;
        for (const History &h : motorState.histories) {
            QCOMPARE(h.size(), std::size_t(historyCapacity));
            QCOMPARE((QVector<float>{h[0], h[last / 2], h[last]}), QVector<float>(3));
        }
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
            motorState.usePackedCommand = true;
            motorState.decodePositionMax = 300.f;
            limits.velocityMax = 60;
        }
        connectReset();
        QMutexLocker lock(&stateMutex);
        limits = Limits();
        QCOMPARE(motorState.sampleCount, 0);
        QVERIFY(motorState.rxBuffer.isEmpty());
        QCOMPARE(motorState.keyPosition, 0.f);
        QVERIFY(!motorState.usePackedCommand);
        // The decode ranges start again from the limits.
        QCOMPARE(motorState.decodePositionMax, 95.5f);
        QCOMPARE(motorState.decodeVelocityMax, 60.f);
        for (int k = 0; k < 3; ++k) {
            const History &h = motorState.histories[k];
            QCOMPARE(h.data(), before[k]);
            QCOMPARE((QVector<float>{h[0], h[last / 2], h[last]}), QVector<float>(3));
        }
    }
};

QTEST_GUILESS_MAIN(TestMotorState)
#include "tst_motorstate.moc"
