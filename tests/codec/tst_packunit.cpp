// The codec worker writes a complete, correctly clamped command frame that decodes
// back to the command within one code step, reports the feedback error rate once
// per thirty events, tells the user once when the histories are full, and runs one
// decoding loop however often it is switched on.
#include "feedbackstream.h"
#include "framemath.h"
#include "frames.h"
#include "motorstate.h"
#include "packunit.h"

#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace {
struct Command
{
    float position, velocity, kp, kd, torque;
};

void setCommand(const Command &c, float keyPosition, float keyVelocity, qint32 motorId)
{
    QMutexLocker lock(&stateMutex);
    motorState.cmdPosition = c.position;
    motorState.cmdVelocity = c.velocity;
    motorState.cmdKp = c.kp;
    motorState.cmdKd = c.kd;
    motorState.cmdTorque = c.torque;
    motorState.keyPosition = keyPosition;
    motorState.keyVelocity = keyVelocity;
    motorState.motorId = motorId;
}

QByteArray packedFrame()
{
    QMutexLocker lock(&stateMutex);
    return frameBytes(motorState.commandFrame, commandFrameLength);
}

void feed(const QByteArray &bytes)
{
    QMutexLocker lock(&stateMutex);
    motorState.rxBuffer += bytes;
}

const QByteArray goodFrame = feedbackFrame(32768, 2048, 2048);
const QByteArray badFrame = feedbackFrame(32768, 2048, 2048, false);
} // namespace

Q_DECLARE_METATYPE(Command)

class TestPackUnit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void packsCommandFrames_data();
    void packsCommandFrames();
    void roundTripsWithinOneStep();
    void reportsErrorRate_data();
    void reportsErrorRate();
    void tellsOnceWhenFull();
    void armsOnePass_data();
    void armsOnePass();
    void decodesOnItsOwnThread();
};

void TestPackUnit::initTestCase()
{
    QVERIFY(prepareMotorState(QDir::tempPath()));
}

void TestPackUnit::init()
{
    QMutexLocker lock(&stateMutex);
    limits = Limits();
    connectResetLocked();
}

void TestPackUnit::packsCommandFrames_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<float>("keyPosition");
    QTest::addColumn<float>("keyVelocity");
    QTest::addColumn<int>("motorId");
    QTest::addColumn<QByteArray>("frame");
    const float nan = std::numeric_limits<float>::quiet_NaN();

    QTest::newRow("all zero, motor 1") << Command{0, 0, 0, 0, 0} << 0.f << 0.f << 1
                                       << QByteArray::fromHex("aaaf0fa17fff7ff0000007ff0101fe");
    QTest::newRow("worked command, motor 3")
        << Command{1.0f, 2.0f, 10, 1, 0.5f} << 0.f << 0.f << 3
        << QByteArray::fromHex("aaaf0fa1815685a051333838 0301fd");
    QTest::newRow("above every limit") << Command{200, 100, 900, 10, 50} << 0.f << 0.f << 1
                                       << QByteArray::fromHex("aaaf0fa1ffffffffffffffff010103");
    QTest::newRow("below every limit") << Command{-200, -100, -1, -1, -50} << 0.f << 0.f << 1
                                       << QByteArray::fromHex("aaaf0fa1000000000000000001010b");
    QTest::newRow("NaN torque packs as code 0")
        << Command{0, 0, 0, 0, nan} << 0.f << 0.f << 1
        << QByteArray::fromHex("aaaf0fa17fff7ff0000000000101f8");
    QTest::newRow("key offsets add to the command")
        << Command{0, 0, 10, 1, 0.5f} << 1.0f << 2.0f << 3
        << QByteArray::fromHex("aaaf0fa1815685a051333838 0301fd");
    QTest::newRow("key offsets clamp to the maxima")
        << Command{94, 44, 0, 0, 0} << 2.5f << 3.f << 1
        << QByteArray::fromHex("aaaf0fa1fffffff0000007ff0101fe");
    QTest::newRow("Kp at its maximum") << Command{0, 0, 500, 0, 0} << 0.f << 0.f << 1
                                       << QByteArray::fromHex("aaaf0fa17fff7fffff0007ff01010c");
    QTest::newRow("motor id keeps its low byte")
        << Command{0, 0, 0, 0, 0} << 0.f << 0.f << 257
        << QByteArray::fromHex("aaaf0fa17fff7ff0000007ff0101fe");
}

void TestPackUnit::packsCommandFrames()
{
    QFETCH(Command, command);
    QFETCH(float, keyPosition);
    QFETCH(float, keyVelocity);
    QFETCH(int, motorId);
    QFETCH(QByteArray, frame);
    setCommand(command, keyPosition, keyVelocity, motorId);
    PackUnit unit;
    unit.rePack();
    QCOMPARE(packedFrame().toHex(), frame.toHex());
}

void TestPackUnit::roundTripsWithinOneStep()
{
    QRandomGenerator rng(7);
    auto uniform = [&rng](double low, double high) {
        return low + (high - low) * rng.generateDouble();
    };
    PackUnit unit;
    for (int i = 0; i < 2000; ++i) {
        Limits l;
        l.positionMin = uniform(-300, 0);
        l.positionMax = l.positionMin + uniform(1, 600);
        l.velocityMin = uniform(-100, 0);
        l.velocityMax = l.velocityMin + uniform(1, 200);
        l.kpMax = uniform(1, 1000);
        l.kdMax = uniform(0.5, 20);
        l.torqueMin = uniform(-50, 0);
        l.torqueMax = l.torqueMin + uniform(1, 100);
        const double pairs[5][2] = {{l.positionMin, l.positionMax},
                                    {l.velocityMin, l.velocityMax},
                                    {l.kpMin, l.kpMax},
                                    {l.kdMin, l.kdMax},
                                    {l.torqueMin, l.torqueMax}};
        float values[5];
        for (int k = 0; k < 5; ++k)
            values[k] = float(uniform(pairs[k][0], pairs[k][1]));
        {
            QMutexLocker lock(&stateMutex);
            limits = l;
        }
        setCommand(Command{values[0], values[1], values[2], values[3], values[4]}, 0, 0, i);
        unit.rePack();
        const QByteArray frame = packedFrame();
        const quint8 *bytes = reinterpret_cast<const quint8 *>(frame.constData());
        QCOMPARE(bytes[12], quint8(i));
        QCOMPARE(bytes[14], quint8(byteSum(bytes, 14)));
        const PayloadCodes c = unpackPayload(bytes + 4);
        const qint32 codes[5] = {c.position, c.velocity, c.kp, c.kd, c.torque};
        for (int k = 0; k < 5; ++k) {
            const float min = float(pairs[k][0]), max = float(pairs[k][1]);
            const int bits = k == 0 ? 16 : 12;
            const float back = fixedToFloat(codes[k], min, max, bits);
            // One code step, plus the rounding of float arithmetic at this magnitude.
            const float tolerance =
                (max - min) / float((1 << bits) - 1) + 4 * std::numeric_limits<float>::epsilon() *
                                                           std::max(std::fabs(min), std::fabs(max));
            QVERIFY2(std::fabs(back - values[k]) <= tolerance,
                     qPrintable(QStringLiteral("round %1 field %2: %3 came back as %4")
                                    .arg(i)
                                    .arg(k)
                                    .arg(double(values[k]))
                                    .arg(double(back))));
        }
    }
}

void TestPackUnit::reportsErrorRate_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("framesAfter");
    QTest::addColumn<int>("errorsAfter");
    QTest::newRow("29 good, 1 bad")
        << repeated(goodFrame, 29) + badFrame << QStringLiteral("USB data error : 3.33%") << 0 << 0;
    QTest::newRow("all good") << repeated(goodFrame, 30) << QStringLiteral("USB data error : 0.00%")
                              << 0 << 0;
    QTest::newRow("all bad") << repeated(badFrame, 31) << QStringLiteral("USB data error : 100.00%")
                             << 0 << 0;
    QTest::newRow("too few events")
        << repeated(goodFrame, 20) + repeated(badFrame, 9) << QString() << 29 << 9;
}

void TestPackUnit::reportsErrorRate()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, report);
    QFETCH(int, framesAfter);
    QFETCH(int, errorsAfter);
    feed(bytes);
    PackUnit unit;
    QSignalSpy status(&unit, &PackUnit::statusMsg);
    QVERIFY(status.isValid());
    unit.readWork();
    QCOMPARE(status.count(), report.isEmpty() ? 0 : 1);
    if (!report.isEmpty())
        QCOMPARE(status.at(0).at(0).toString(), report);
    QCOMPARE(unit.frameCount, framesAfter);
    QCOMPARE(unit.errorCount, errorsAfter);
}

void TestPackUnit::tellsOnceWhenFull()
{
    PackUnit unit;
    QSignalSpy box(&unit, &PackUnit::msgBox);
    QVERIFY(box.isValid());
    auto fillNearCapacity = [] {
        QMutexLocker lock(&stateMutex);
        motorState.sampleCount = historyCapacity - 2;
        motorState.rxBuffer = repeated(goodFrame, 5);
    };
    fillNearCapacity();
    unit.readWork();
    QCOMPARE(box.count(), 1);
    QVERIFY(box.at(0).at(0).toString().contains(QLatin1String("32000000 samples")));

    feed(repeated(goodFrame, 5));
    unit.readWork();
    unit.readWork();
    QCOMPARE(box.count(), 1);

    // A new recording that fills up again is reported again.
    connectReset();
    unit.readWork();
    fillNearCapacity();
    unit.readWork();
    QCOMPARE(box.count(), 2);
}

void TestPackUnit::armsOnePass_data()
{
    QTest::addColumn<QVector<bool>>("calls");
    QTest::addColumn<int>("passes");
    QTest::newRow("on once") << QVector<bool>{true} << 1;
    QTest::newRow("on twice") << QVector<bool>{true, true} << 1;
    QTest::newRow("off and on again within a period") << QVector<bool>{true, false, true} << 1;
    QTest::newRow("off only") << QVector<bool>{false} << 0;
}

void TestPackUnit::armsOnePass()
{
    QFETCH(QVector<bool>, calls);
    QFETCH(int, passes);
    PackUnit unit;
    // Thirty events before every pass make each pass report once.
    feed(repeated(badFrame, 30));
    int reports = 0;
    connect(&unit, &PackUnit::statusMsg, [&reports] {
        ++reports;
        feed(repeated(badFrame, 30));
    });
    for (bool on : calls)
        unit.setLoop(on);
    unit.setLoop(false);
    QTest::qWait(60);
    QCOMPARE(reports, passes);
}

void TestPackUnit::decodesOnItsOwnThread()
{
    // Qt's own synchronisation is invisible to the thread sanitizer, so the worker's
    // start and end are also signalled through atomic flags this thread waits for.
    std::atomic<bool> started{false}, finished{false};
    struct StopThread
    {
        QThread &thread;
        std::atomic<bool> &finished;
        ~StopThread()
        {
            thread.quit();
            while (!finished)
                QThread::yieldCurrentThread();
            thread.wait(5000);
        }
    };
    QThread worker;
    connect(&worker, &QThread::started, [&started] { started = true; });
    connect(&worker, &QThread::finished, [&finished] { finished = true; });
    PackUnit unit;
    StopThread stop{worker, finished};
    unit.moveToThread(&worker);
    worker.start();
    while (!started)
        QThread::yieldCurrentThread();
    std::atomic<QThread *> passThread{nullptr};
    connect(
        &unit, &PackUnit::statusMsg, &unit,
        [&passThread] { passThread = QThread::currentThread(); }, Qt::DirectConnection);

    // The window thread switches the loop on, packs commands while the worker packs
    // too and, like the serial worker, keeps appending feedback while the passes run.
    unit.setLoop(true);
    const int frames = 3000;
    for (int i = 0; i < frames; ++i) {
        feed(goodFrame);
        if (i % 10 == 0) {
            setCommand(Command{float(i % 90), 1, 2, 0.5f, 3}, 0, 0, 1);
            unit.rePack();
            // Run followed by Send Once: the same packing on both threads.
            QMetaObject::invokeMethod(&unit, "rePack", Qt::QueuedConnection);
        }
        if (i % 100 == 0)
            QThread::msleep(1);
    }
    QTRY_COMPARE_WITH_TIMEOUT(
        [] {
            QMutexLocker lock(&stateMutex);
            return motorState.sampleCount;
        }(),
        frames, 10000);
    unit.setLoop(false);
    // Let the pass already armed run before the thread ends.
    QTest::qWait(50);
    QCOMPARE(passThread.load(), &worker);
}

QTEST_GUILESS_MAIN(TestPackUnit)
#include "tst_packunit.moc"
