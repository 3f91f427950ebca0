// The codec worker packs clamped command frames that decode back within one code step, reports
// the error rate every thirty events, tells once when full, and runs one loop at a time.
#include "frames.h"
#include "motorstate.h"
#include "packunit.h"
#include "testframes.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <thread>

namespace {
const QByteArray &goodFrame = workedFeedback;
const QByteArray badFrame = feedbackFrame(32768, 2048, 2048, false);

// The shared state is touched by this thread only: the units here run on it.
MotorState &s = motorState;

// Position, velocity, Kp, Kd, torque, then the key offsets of position and velocity.
QByteArray packed(qint32 motorId, const QVector<float> &c)
{
    std::tie(s.cmdPosition, s.cmdVelocity, s.cmdKp, s.cmdKd, s.cmdTorque) =
        std::make_tuple(c[0], c[1], c[2], c[3], c[4]);
    std::tie(s.keyPosition, s.keyVelocity, s.motorId) =
        std::make_tuple(c.value(5), c.value(6), motorId);
    PackUnit().rePack();
    return frameBytes(s.commandFrame, commandFrameLength);
}
} // namespace

class TestPackUnit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(prepareMotorState(QDir::tempPath())); }
    void init()
    {
        limits = Limits();
        connectReset();
    }

    void packsCommandFrames_data()
    {
        QTest::addColumn<QVector<float>>("command");
        QTest::addColumn<int>("motorId");
        QTest::addColumn<QByteArray>("frame");
        auto row = [](const char *name, QVector<float> command, int id, const char *hex) {
            QTest::newRow(name) << command << id << QByteArray::fromHex(hex);
        };
        row("all zero, motor 1", {0, 0, 0, 0, 0}, 1, "aaaf0fa17fff7ff0000007ff0101fe");
        row("worked command, motor 3", {1, 2, 10, 1, 0.5f}, 3, workedCommand.toHex().constData());
        row("above every limit", {200, 100, 900, 10, 50}, 1, "aaaf0fa1ffffffffffffffff010103");
        row("below every limit", {-200, -100, -1, -1, -50}, 1, "aaaf0fa1000000000000000001010b");
        // A NaN is no command: it packs as 0, never as a limit.
        row("NaN packs as 0", {NAN, NAN, NAN, NAN, NAN, 0, NAN}, 1,
            "aaaf0fa17fff7ff0000007ff0101fe");
        row("key offsets clamp", {94, 44, 0, 0, 0, 2.5f, 3}, 1, "aaaf0fa1fffffff0000007ff0101fe");
    }
    void packsCommandFrames()
    {
        QFETCH(QVector<float>, command);
        QFETCH(int, motorId);
        QFETCH(QByteArray, frame);
        QCOMPARE(packed(motorId, command).toHex(), frame.toHex());
    }

    // Under random limits every field decodes back within one code step of its value, and
    // the motor ID keeps its low 8 bits.
    void roundTripsWithinOneStep()
    {
        QRandomGenerator rng(7);
        double Limits::*bounds[5][2] = {{&Limits::positionMin, &Limits::positionMax},
                                        {&Limits::velocityMin, &Limits::velocityMax},
                                        {&Limits::kpMin, &Limits::kpMax},
                                        {&Limits::kdMin, &Limits::kdMax},
                                        {&Limits::torqueMin, &Limits::torqueMax}};
        for (int i = 0; i < 2000; ++i) {
            QVector<float> values, min, max;
            for (auto &b : bounds) {
                min << float(limits.*b[0] = 600 * rng.generateDouble() - 300);
                max << float(limits.*b[1] = limits.*b[0] + 1 + 600 * rng.generateDouble());
                values << min.last() + float(rng.generateDouble()) * (max.last() - min.last());
            }
            packed(i, values);
            QCOMPARE(s.commandFrame[12], quint8(i));
            // The payload's fields, big-endian: 16 bits of position, then 12 bits each.
            const quint8 *p = s.commandFrame + 4;
            const int codes[5] = {p[0] << 8 | p[1], p[2] << 4 | p[3] >> 4, (p[3] & 15) << 8 | p[4],
                                  p[5] << 4 | p[6] >> 4, (p[6] & 15) << 8 | p[7]};
            for (int k = 0, bits = 16; k < 5; ++k, bits = 12) {
                const double span = double(max[k]) - double(min[k]);
                const double back = min[k] + codes[k] * span / ((1 << bits) - 1);
                // One code step, plus the rounding of float arithmetic at this magnitude.
                const float step = (max[k] - min[k]) / float((1 << bits) - 1) +
                                   4 * FLT_EPSILON * std::max(std::fabs(min[k]), std::fabs(max[k]));
                QVERIFY2(std::fabs(back - double(values[k])) <= double(step),
                         qPrintable(QString("round %1 field %2").arg(i).arg(k)));
            }
        }
    }

    void stopsAtCapacityAndTellsOnce()
    {
        PackUnit unit;
        QSignalSpy box(&unit, &PackUnit::msgBox);
        s.sampleCount = historyCapacity - 2;
        s.rxBuffer = feedbackFrame(65535, 0, 0) + feedbackFrame(0, 0, 0) + goodFrame.repeated(3);
        unit.readWork();
        s.rxBuffer = goodFrame.repeated(5);
        unit.readWork();
        QCOMPARE(s.sampleCount, historyCapacity);
        const float *last = s.positionHistory().data() + historyCapacity - 2;
        QCOMPARE((QVector<float>{last[0], last[1]}), (QVector<float>{95.5f, -95.5f}));
        QCOMPARE(box.count(), 1);
        // A new recording that fills up again is reported again.
        connectReset();
        unit.readWork();
        s.sampleCount = historyCapacity - 1;
        s.rxBuffer = goodFrame.repeated(3);
        unit.readWork();
        QCOMPARE(box.count(), 2);
    }

    // Events count across passes. Switched on twice, off and on again from the window thread,
    // then off, the loop runs one pass.
    void reportsEveryThirtyEventsFromOnePass()
    {
        PackUnit unit;
        QStringList reports;
        connect(&unit, &PackUnit::statusMsg, [&reports](const QString &text) {
            reports << text;
            s.rxBuffer = badFrame.repeated(30); // so that another pass would report too
        });
        s.rxBuffer = goodFrame.repeated(29);
        unit.readWork();
        s.rxBuffer = badFrame;
        std::thread([&unit] {
            for (bool on : {true, true, false, true, false})
                unit.setLoop(on);
        }).join();
        QTRY_VERIFY_WITH_TIMEOUT(!reports.isEmpty(), 10000);
        QTest::qWait(60);
        QCOMPARE(reports, QStringList{"USB data error : 3.33%"});
    }

    // At the line rate an unchanged figure is not posted again; a new run posts its first.
    void postsTheRateOnlyWhenItChanges()
    {
        PackUnit unit;
        QStringList reports;
        connect(&unit, &PackUnit::statusMsg, [&reports](const QString &text) { reports << text; });
        const auto pass = [&unit](const QByteArray &frame) {
            s.rxBuffer = frame.repeated(30);
            unit.readWork();
        };
        pass(badFrame);
        pass(badFrame);
        pass(goodFrame);
        pass(goodFrame);
        unit.setLoop(true);
        unit.setLoop(false);
        pass(goodFrame);
        QCOMPARE(reports, (QStringList{"USB data error : 100.00%", "USB data error : 0.00%",
                                       "USB data error : 0.00%"}));
    }
};

QTEST_GUILESS_MAIN(TestPackUnit)
#include "tst_packunit.moc"
