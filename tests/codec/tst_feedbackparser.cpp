// The decoder's pass turns every good frame into exactly one sample however the bytes are
// cut across passes, and skips everything else as counted errors without stalling.
#include "feedbackparser.h"
#include "feedbackstream.h"

#include <QtTest>

namespace {
// The shared state is touched by this thread only.
MotorState &s = motorState;

QVector<float> positions()
{
    const float *p = s.positionHistory().data();
    return QVector<float>(p, p + s.sampleCount);
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
        QTest::addColumn<QVector<int>>("storedEventsErrorsLeft");
        // The protocol's worked feedback frame: codes 32768, 2048, 2048.
        const QByteArray f = QByteArray::fromHex("aaaa0b01800080080000 68");
        auto hex = [](const char *text) { return QByteArray::fromHex(text); };
        QTest::newRow("single frame") << f << QVector<int>{1, 1, 0, 0};
        QTest::newRow("bad checksum") << f.left(10) + hex("69") << QVector<int>{0, 1, 1, 0};
        QTest::newRow("partial frame waits") << f.left(5) << QVector<int>{0, 0, 0, 5};
        QTest::newRow("noise before header") << hex("0011") + f << QVector<int>{1, 2, 1, 0};
        QTest::newRow("length 12 removed whole")
            << hex("aaaa0c01800080080000 6800") << QVector<int>{0, 1, 1, 0};
        QTest::newRow("wrong type") << hex("aaaa0b02800080080000 69") << QVector<int>{0, 1, 1, 0};
        // A header of length zero or less drops one byte only, so the header after it decodes.
        QTest::newRow("length 0x00") << hex("aaaa00") + f << QVector<int>{1, 3, 2, 0};
        QTest::newRow("length 0x80") << hex("aaaa80") + f << QVector<int>{1, 3, 2, 0};
    }
    void streams()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QVector<int>, storedEventsErrorsLeft);
        s.rxBuffer = bytes;
        const FeedbackPass p = parseFeedback(s, Limits());
        const int left = bytes.size() - p.consumed;
        QCOMPARE((QVector<int>{p.stored, p.events, p.errors, left}), storedEventsErrorsLeft);
        QCOMPARE(s.rxBuffer, bytes.right(left));
        QCOMPARE(positions(), QVector<float>(p.stored, 0.00145721435546875f));
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
        const QVector<float> expected = positions();
        QCOMPARE(expected.size(), 6);
        for (int split = 0; split <= stream.size(); ++split) {
            init();
            s.rxBuffer = stream.left(split);
            parseFeedback(s, Limits());
            s.rxBuffer += stream.mid(split);
            parseFeedback(s, Limits());
            QVERIFY2(positions() == expected && s.rxBuffer.isEmpty(),
                     qPrintable(QStringLiteral("split at %1").arg(split)));
        }
    }
};

QTEST_GUILESS_MAIN(TestFeedbackParser)
#include "tst_feedbackparser.moc"
