// The codec. The worker packs clamped command frames scaled by the limits, reports the error rate
// every thirty events, tells once when full, and runs one loop at a time. Its decoder's pass turns
// every good frame into exactly one sample of each channel however the bytes are cut across
// passes, widens the decode ranges to what it stored, keeps nothing past the histories'
// capacity, and skips everything else as counted errors without stalling.
#include "feedbackparser.h"
#include "frames.h"
#include "motorstate.h"
#include "packunit.h"
#include "testframes.h"

#include <QtTest>

#include <cmath>
#include <thread>

Q_DECLARE_METATYPE(Limits)
namespace {
const QByteArray &f = workedFeedback; // a good frame
const QByteArray badFrame = feedbackFrame(32768, 2048, 2048, false);

// The shared state is touched by this thread only: the units here run on it.
MotorState &s = motorState;

// Positions, then velocities, then currents, from sample `first` on; as doubles, so that a
// wrong last bit shows.
QVector<double> samples(int first = 0)
{
    QVector<double> all;
    for (const History &h : s.histories)
        all += QVector<double>(h.data() + first, h.data() + s.sampleCount);
    return all;
}
} // namespace

class TestPackUnit : public QObject
{
    Q_OBJECT
private slots:
    // Empty buffer, no samples, the default limits.
    void init()
    {
        QVERIFY(prepareMotorState(QDir::tempPath()));
        limits = Limits();
        connectReset();
    }

    void packsCommandFrames_data()
    {
        // The motor ID, the command, then the key offsets.
        QTest::addColumn<QVector<float>>("c");
        QTest::addColumn<Limits>("bounds");
        QTest::addColumn<QByteArray>("frame");
        auto row = [](const char *name, QVector<float> c, const char *hex, Limits l = Limits()) {
            QTest::newRow(name) << c << l << QByteArray::fromHex(hex);
        };
        row("worked command, motor 3", {3, 1, 2, 10, 1, 0.5f}, workedCommand.toHex().constData());
        row("above every limit", {1, 200, 100, 900, 10, 50}, "aaaf0fa1ffffffffffffffff010103");
        row("below every limit", {1, -200, -100, -1, -1, -50}, "aaaf0fa1000000000000000001010b");
        // A NaN is no command: it packs as 0, never as a limit.
        row("NaN packs as 0", {1, NAN, NAN, NAN, NAN, NAN, 0, NAN},
            "aaaf0fa17fff7ff0000007ff0101fe");
        row("key offsets clamp", {1, 94, 44, 0, 0, 0, 2.5f, 3}, "aaaf0fa1fffffff0000007ff0101fe");
        // Codes bfff, fff (velocity clamped at 20), 3ff, 7ff, 3ff; the ID keeps its low 8 bits.
        row("limits of the user's choice", {259, 5, 30, 25, 5, -2.5f},
            "aaaf0fa1bffffff3ff7ff3ff03012d",
            Limits{-10, 10, -20, 20, -5, 5, -1, 1, 0, 100, 0, 10});
    }
    void packsCommandFrames()
    {
        QFETCH(QVector<float>, c);
        QFETCH(Limits, bounds);
        QFETCH(QByteArray, frame);
        limits = bounds;
        std::tie(s.motorId, s.cmdPosition, s.cmdVelocity, s.cmdKp, s.cmdKd, s.cmdTorque,
                 s.keyPosition, s.keyVelocity) =
            std::make_tuple(int(c[0]), c[1], c[2], c[3], c[4], c[5], c.value(6), c.value(7));
        PackUnit().rePack();
        QCOMPARE(frameBytes(s.commandFrame, commandFrameLength).toHex(), frame.toHex());
    }

    void streams_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // Stored, dropped, events, errors, bytes left, histories full; and the room given, the
        // samples the histories can still take.
        QTest::addColumn<QVector<int>>("counts");
        QTest::addColumn<QVector<double>>("sample"); // position, velocity, current
        const QVector<double> w{0.00145721435546875, 0.010990142822265625, 0.009769439697265625};
        auto hex = [](const char *text) { return QByteArray::fromHex(text); };
        auto row = [](const char *name, const QByteArray &bytes, QVector<int> counts,
                      QVector<double> sample = {}, int room = historyCapacity) {
            QTest::newRow(name) << bytes << (counts << room) << sample;
        };
        row("single frame", f, {1, 0, 1, 0, 0, 0}, w);
        // Codes 0x1234, 0x5a7, 0x6bc: no two nibbles alike, and all three values below 0.
        row("distinct fields", hex("aaaa0b0112345a76bc00 32"), {1, 0, 1, 0, 0, 0},
            {-81.91855621337890625, -13.1978015899658203125, -6.3199005126953125});
        row("bad checksum", f.left(10) + hex("69"), {0, 0, 1, 1, 0, 0});
        row("partial frame waits", f.left(5), {0, 0, 0, 0, 5, 0});
        row("final sync byte waits", hex("0011aa"), {0, 0, 1, 1, 1, 0});
        row("length 12 removed whole", hex("aaaa0c01800080080000 6800"), {0, 0, 1, 1, 0, 0});
        row("wrong type", hex("aaaa0b02800080080000 69"), {0, 0, 1, 1, 0, 0});
        // A header of length zero or less drops one byte only, so the header after it decodes:
        // each such header and each following stray byte are an error.
        row("lengths 0x00 and 0x80", hex("aaaa00 aaaa80") + f, {1, 0, 5, 4, 0, 0}, w);
        row("noise between frames", f + hex("0011aa") + f, {2, 0, 4, 2, 0, 0},
            {w[0], w[0], w[1], w[1], w[2], w[2]});
        // Codes 65535, 0 and 0: the ends of each range.
        row("room for one", feedbackFrame(65535, 0, 0) + f, {1, 1, 2, 0, 0, 1}, {95.5, -45, -40},
            1);
    }
    void streams()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QVector<int>, counts);
        QFETCH(QVector<double>, sample);
        const int first = s.sampleCount = historyCapacity - counts.takeLast();
        s.rxBuffer = bytes;
        s.decodePositionMin = s.decodePositionMax = s.decodeVelocityMin = 0;
        s.decodeVelocityMax = s.decodeCurrentMin = s.decodeCurrentMax = 0;
        const FeedbackPass p = parseFeedback(s, Limits());
        const int left = bytes.size() - p.consumed;
        QCOMPARE((QVector<int>{p.stored, p.dropped, p.events, p.errors, left, p.historiesFull}),
                 counts);
        QCOMPARE(samples(first), sample);
        // The decode ranges, from 0 to 0, widen to take in each stored sample.
        QVector<double> ranges(6);
        for (int k = 0; k < sample.size(); ++k) {
            const int c = 2 * (3 * k / sample.size()); // the channel's minimum, then maximum
            ranges[c] = std::min(ranges[c], sample[k]);
            ranges[c + 1] = std::max(ranges[c + 1], sample[k]);
        }
        QCOMPARE((QVector<double>{s.decodePositionMin, s.decodePositionMax, s.decodeVelocityMin,
                                  s.decodeVelocityMax, s.decodeCurrentMin, s.decodeCurrentMax}),
                 ranges);
        // Cut anywhere, even inside a frame or between the two sync bytes, two passes store
        // the same samples and keep the same bytes.
        for (int split = 0; split <= bytes.size(); ++split) {
            s.sampleCount = first;
            s.rxBuffer = bytes.left(split);
            parseFeedback(s, Limits());
            s.rxBuffer += bytes.mid(split);
            parseFeedback(s, Limits());
            QVERIFY2(samples(first) == sample && s.rxBuffer == bytes.right(left),
                     qPrintable(QStringLiteral("split at %1").arg(split)));
        }
    }

    // Full histories are told once, and again when a new recording fills them.
    void tellsOnceWhenFull()
    {
        PackUnit unit;
        QSignalSpy box(&unit, &PackUnit::msgBox);
        for (int recording = 1; recording <= 2; ++recording) {
            s.sampleCount = historyCapacity - 1;
            s.rxBuffer = f.repeated(3);
            unit.readWork();
            unit.readWork();
            QCOMPARE(box.count(), recording);
            connectReset();
            unit.readWork(); // a pass with room
        }
    }

    // Events count across passes; the rate is posted when it changes and as a new run's first.
    // Switched on twice, off and on again from another thread, then off, the loop runs one pass.
    void reportsTheErrorRate()
    {
        PackUnit unit;
        QStringList reports;
        connect(&unit, &PackUnit::statusMsg, [&reports](const QString &text) {
            reports << text;
            s.rxBuffer = f.repeated(30); // so that another pass would report 0 %
        });
        for (const QByteArray &bytes :
             {f.repeated(29), badFrame, badFrame.repeated(30), badFrame.repeated(30)}) {
            QTest::qWait(20); // the loop is off: no pass of its own decodes a refill
            s.rxBuffer = bytes;
            unit.readWork();
        }
        s.rxBuffer = badFrame.repeated(30);
        std::thread([&unit] {
            for (bool on : {true, true, false, true, false})
                unit.setLoop(on);
        }).join();
        QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 3, 10000);
        QTest::qWait(60);
        QCOMPARE(reports, (QStringList{"USB data error : 3.33%", "USB data error : 100.00%",
                                       "USB data error : 100.00%"}));
    }
};

QTEST_GUILESS_MAIN(TestPackUnit)
#include "tst_packunit.moc"
