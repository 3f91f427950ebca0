// The decoder's pass never stores past the histories' capacity, never stalls on
// garbage (a pass over three or more bytes consumes some or waits for the rest of a
// frame), and never splits a frame: however the bytes are cut across passes, every
// good frame becomes exactly one sample.
#include "feedbackparser.h"
#include "feedbackstream.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {
// The protocol's worked feedback frame: codes 32768, 2048, 2048.
const QByteArray workedFrame = QByteArray::fromHex("aaaa0b01800080080000 68");
} // namespace

class TestFeedbackParser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void streams_data();
    void streams();
    void everySplitKeepsEverySample();
    void garbageNeverStalls();
    void stopsAtCapacity();
    void rangesOnlyWiden();

private:
    QVector<float> positions() const
    {
        const float *p = m_state.histories[PositionChannel].data();
        return QVector<float>(p, p + m_state.sampleCount);
    }

    MotorState m_state;
    Limits m_limits;
};

void TestFeedbackParser::initTestCase()
{
    for (History &h : m_state.histories)
        QVERIFY(h.allocate(historyCapacity));
}

void TestFeedbackParser::init()
{
    m_state.sampleCount = 0;
    m_state.rxBuffer.clear();
    m_limits = Limits();
    m_state.decodePositionMin = -95.5f;
    m_state.decodePositionMax = 95.5f;
    m_state.decodeVelocityMin = -45.f;
    m_state.decodeVelocityMax = 45.f;
}

void TestFeedbackParser::streams_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("errors");
    QTest::addColumn<int>("left");
    const QByteArray f = workedFrame;
    auto hex = [](const char *text) { return QByteArray::fromHex(text); };

    QTest::newRow("single frame") << f << 1 << 1 << 0 << 0;
    QTest::newRow("bad checksum") << f.left(10) + hex("69") << 0 << 1 << 1 << 0;
    QTest::newRow("noise before header") << hex("0011") + f << 1 << 2 << 1 << 0;
    QTest::newRow("partial frame waits") << f.left(5) << 0 << 0 << 0 << 5;
    QTest::newRow("two bytes") << hex("aaaa") << 0 << 0 << 0 << 2;
    QTest::newRow("length 12 removed whole")
        << hex("aaaa0c01800080080000 6800") << 0 << 1 << 1 << 0;
    QTest::newRow("stray sync byte") << hex("aa") + f << 1 << 2 << 1 << 0;
    QTest::newRow("length 0x00") << hex("aaaa00") + f << 1 << 3 << 2 << 0;
    QTest::newRow("length 0x80") << hex("aaaa80") + f << 1 << 3 << 2 << 0;
    QTest::newRow("wrong type") << hex("aaaa0b02800080080000 69") << 0 << 1 << 1 << 0;
    QTest::newRow("mode acknowledgement") << hex("aaaa070200005d") + f << 1 << 2 << 1 << 0;
    QTest::newRow("noise only") << hex("00112233") << 0 << 1 << 1 << 0;
    // The final sync byte may start a header whose second byte is still on the way.
    QTest::newRow("noise then half a header") << hex("0011aa") << 0 << 1 << 1 << 1;
    QTest::newRow("frame then a partial one") << f + f.left(6) << 1 << 1 << 0 << 6;
}

void TestFeedbackParser::streams()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, stored);
    QFETCH(int, events);
    QFETCH(int, errors);
    QFETCH(int, left);
    m_state.rxBuffer = bytes;
    const FeedbackPass pass = parseFeedback(m_state, m_limits);
    QCOMPARE(pass.stored, stored);
    QCOMPARE(m_state.sampleCount, stored);
    QCOMPARE(pass.events, events);
    QCOMPARE(pass.errors, errors);
    QCOMPARE(pass.consumed, bytes.size() - left);
    QCOMPARE(m_state.rxBuffer, bytes.right(left));
    if (stored) {
        QVERIFY(m_state.positionHistory()[0] == 0.00145721435546875f);
        QVERIFY(m_state.velocityHistory()[0] == 0.010990142822265625f);
        QVERIFY(m_state.currentHistory()[0] == 0.009769439697265625f);
    }
}

void TestFeedbackParser::everySplitKeepsEverySample()
{
    QByteArray stream = QByteArray::fromHex("0011");
    for (int i = 0; i < 6; ++i)
        stream += feedbackFrame(1000 * i + 7, 100 * i, 4095 - i);
    stream.insert(13, QByteArray::fromHex("aa"));
    stream.insert(36, feedbackFrame(5, 5, 5, false));
    stream.insert(58, QByteArray::fromHex("aaaa80 3344 aaaa00"));
    m_state.rxBuffer = stream;
    parseFeedback(m_state, m_limits);
    const QVector<float> expected = positions();
    QCOMPARE(expected.size(), 6);

    for (int split = 0; split <= stream.size(); ++split) {
        init();
        m_state.rxBuffer = stream.left(split);
        parseFeedback(m_state, m_limits);
        m_state.rxBuffer += stream.mid(split);
        parseFeedback(m_state, m_limits);
        QVERIFY2(positions() == expected && m_state.rxBuffer.isEmpty(),
                 qPrintable(QStringLiteral("split at %1").arg(split)));
    }
}

void TestFeedbackParser::garbageNeverStalls()
{
    QRandomGenerator rng(20240611);
    int fed = 0, consumed = 0;
    for (int round = 0; round < 2000; ++round) {
        QByteArray chunk(int(rng.bounded(1, 40)), '\0');
        for (char &c : chunk)
            c = rng.bounded(3) == 0 ? char(0xAA) : char(rng.bounded(256));
        chunk += feedbackFrame(int(rng.bounded(65536)), 1, 2);
        fed += chunk.size();
        m_state.rxBuffer += chunk;
        consumed += parseFeedback(m_state, m_limits).consumed;
        // What is left is too short to look at, or a header waiting for its frame.
        const QByteArray &rest = m_state.rxBuffer;
        if (rest.size() >= 3)
            QVERIFY(rest.startsWith("\xAA\xAA") && qint8(rest[2]) > rest.size());
    }
    QCOMPARE(consumed + m_state.rxBuffer.size(), fed);
}

void TestFeedbackParser::stopsAtCapacity()
{
    m_state.sampleCount = historyCapacity - 2;
    m_state.rxBuffer =
        feedbackFrame(65535, 0, 0) + feedbackFrame(0, 0, 0) + repeated(workedFrame, 3);
    const FeedbackPass pass = parseFeedback(m_state, m_limits);
    QCOMPARE(pass.stored, 2);
    QCOMPARE(pass.dropped, 3);
    QCOMPARE(pass.events, 5);
    QCOMPARE(pass.errors, 0);
    QVERIFY(pass.historiesFull);
    QCOMPARE(m_state.sampleCount, historyCapacity);
    QVERIFY(m_state.rxBuffer.isEmpty());
    QCOMPARE(m_state.positionHistory()[historyCapacity - 2], 95.5f);
    QCOMPARE(m_state.positionHistory()[historyCapacity - 1], -95.5f);
}

void TestFeedbackParser::rangesOnlyWiden()
{
    m_limits.positionMax = 200;
    m_limits.velocityMin = std::numeric_limits<double>::quiet_NaN();
    m_state.rxBuffer = feedbackFrame(65535, 4095, 0) + feedbackFrame(60000, 0, 0);
    parseFeedback(m_state, m_limits);
    QCOMPARE(m_state.decodePositionMax, 200.f);
    QCOMPARE(m_state.decodePositionMin, -95.5f);
    // NaN samples are stored but leave the range alone.
    QVERIFY(std::isnan(m_state.velocityHistory()[0]));
    QCOMPARE(m_state.decodeVelocityMin, -45.f);
    QCOMPARE(m_state.decodeVelocityMax, 45.f);
}

QTEST_GUILESS_MAIN(TestFeedbackParser)
#include "tst_feedbackparser.moc"
