// The decoder's pass turns every good frame into exactly one sample of each channel however the
// bytes are cut across passes, widens the decode ranges to what it stored, keeps nothing past
// the histories' capacity, and skips everything else as counted errors without stalling.
#include "feedbackparser.h"
#include "testframes.h"

#include <QtTest>

namespace {
// The shared state is touched by this thread only.
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

class TestFeedbackParser : public QObject
{
    Q_OBJECT
private slots:
    // Empty buffer, no samples.
    void init() { QVERIFY(prepareMotorState(QString())); }

    void streams_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("room"); // samples the histories can still take
        QTest::addColumn<QVector<int>>("storedDroppedEventsErrorsLeftFull");
        QTest::addColumn<QVector<double>>("sample"); // position, velocity, current
        const QByteArray &f = workedFeedback;
        const QVector<double> w{0.00145721435546875, 0.010990142822265625, 0.009769439697265625};
        auto hex = [](const char *text) { return QByteArray::fromHex(text); };
        auto row = [](const char *name, const QByteArray &bytes, QVector<int> counts,
                      QVector<double> sample = {}, int room = historyCapacity) {
            QTest::newRow(name) << bytes << room << counts << sample;
        };
        row("single frame", f, {1, 0, 1, 0, 0, 0}, w);
        // Codes 0x1234, 0x5a7, 0x6bc: no two nibbles alike, and all three values below 0.
        row("distinct fields", hex("aaaa0b0112345a76bc00 32"), {1, 0, 1, 0, 0, 0},
            {-81.91855621337890625, -13.1978015899658203125, -6.3199005126953125});
        row("bad checksum", f.left(10) + hex("69"), {0, 0, 1, 1, 0, 0});
        row("partial frame waits", f.left(5), {0, 0, 0, 0, 5, 0});
        row("two bytes wait", f.left(2), {0, 0, 0, 0, 2, 0});
        row("final sync byte waits", hex("0011aa"), {0, 0, 1, 1, 1, 0});
        row("length 12 removed whole", hex("aaaa0c01800080080000 6800"), {0, 0, 1, 1, 0, 0});
        row("wrong type", hex("aaaa0b02800080080000 69"), {0, 0, 1, 1, 0, 0});
        // A header of length zero or less drops one byte only, so the header after it decodes.
        row("length 0x00", hex("aaaa00") + f, {1, 0, 3, 2, 0, 0}, w);
        row("length 0x80", hex("aaaa80") + f, {1, 0, 3, 2, 0, 0}, w);
        row("histories full", f, {0, 1, 1, 0, 0, 1}, {}, 0);
    }
    void streams()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, room);
        QFETCH(QVector<int>, storedDroppedEventsErrorsLeftFull);
        QFETCH(QVector<double>, sample);
        const int first = s.sampleCount = historyCapacity - room;
        s.rxBuffer = bytes;
        s.decodePositionMin = s.decodePositionMax = s.decodeVelocityMin = 0;
        s.decodeVelocityMax = s.decodeCurrentMin = s.decodeCurrentMax = 0;
        const FeedbackPass p = parseFeedback(s, Limits());
        const int left = bytes.size() - p.consumed;
        QCOMPARE((QVector<int>{p.stored, p.dropped, p.events, p.errors, left, p.historiesFull}),
                 storedDroppedEventsErrorsLeftFull);
        QCOMPARE(s.rxBuffer, bytes.right(left));
        QCOMPARE(samples(first), sample);
        // The decode ranges, from 0 to 0, widen to take in each stored sample.
        QVector<double> ranges(6);
        for (int k = 0; k < sample.size(); ++k)
            ranges[2 * k] = std::min(sample[k], 0.0), ranges[2 * k + 1] = std::max(sample[k], 0.0);
        QCOMPARE((QVector<double>{s.decodePositionMin, s.decodePositionMax, s.decodeVelocityMin,
                                  s.decodeVelocityMax, s.decodeCurrentMin, s.decodeCurrentMax}),
                 ranges);
    }

    // Noise, a stray sync byte, a bad frame and headers of length -128 and 0 among six good
    // frames: cut anywhere, even inside a frame or between the two sync bytes, all six arrive.
    void everySplitKeepsEverySample()
    {
        QByteArray stream = QByteArray::fromHex("0011");
        for (int i = 0; i < 6; ++i)
            stream += feedbackFrame(1000 * i + 7, 100 * i, 4095 - i);
        stream.insert(13, QByteArray::fromHex("aa"));
        stream.insert(36, feedbackFrame(5, 5, 5, false));
        stream.insert(58, QByteArray::fromHex("aaaa80 3344 aaaa00"));
        s.rxBuffer = stream;
        parseFeedback(s, Limits());
        const QVector<double> expected = samples();
        QCOMPARE(expected.size(), 18);
        for (int split = 0; split <= stream.size(); ++split) {
            init();
            s.rxBuffer = stream.left(split);
            parseFeedback(s, Limits());
            s.rxBuffer += stream.mid(split);
            parseFeedback(s, Limits());
            QVERIFY2(samples() == expected && s.rxBuffer.isEmpty(),
                     qPrintable(QStringLiteral("split at %1").arg(split)));
        }
    }
};

QTEST_GUILESS_MAIN(TestFeedbackParser)
#include "tst_feedbackparser.moc"
