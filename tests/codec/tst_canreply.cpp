// The motor's CAN replies: a reply for the selected motor carrying six bytes or more becomes
// exactly one sample of each channel, scaled by the Limits as the adapter's feedback is, at a
// time never before the previous sample's; another motor's replies leave everything alone;
// shorter ones are errors; full histories keep nothing.
#include "canreply.h"

#include <QtTest>

#include <memory>

class TestCanReply : public QObject
{
    Q_OBJECT
    std::unique_ptr<MotorState> state;
    MotorState &st() { return *state; }

private slots:
    void init()
    {
        state = std::make_unique<MotorState>();
        for (History &h : st().histories)
            QVERIFY(h.allocate(2));
        QVERIFY(st().timeHistory.allocate(2));
    }

    void decodesReplies_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QVector<double>>("values"); // position, velocity, current
        const auto add = [](const char *name, const char *hex, CanReplyOutcome o,
                            QVector<double> v) {
            QTest::newRow(name) << QByteArray::fromHex(hex) << int(o) << v;
        };
        // Codes 32768, 2048, 2048 over the default Limits.
        add("mid codes", "018000800800", CanReplyOutcome::Stored,
            {0.00145721435546875, 0.010990142822265625, 0.009769439697265625});
        add("lowest codes, eight bytes", "010000000000ffff", CanReplyOutcome::Stored,
            {-95.5, -45, -40});
        add("current nibble", "010000000fff", CanReplyOutcome::Stored, {-95.5, -45, 40});
        add("velocity nibble", "010000fff000", CanReplyOutcome::Stored, {-95.5, 45, -40});
        add("another motor", "028000800800", CanReplyOutcome::Ignored, {});
        add("five bytes", "0180008008", CanReplyOutcome::Error, {});
    }
    void decodesReplies()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, outcome);
        QFETCH(QVector<double>, values);
        const auto *bytes = reinterpret_cast<const quint8 *>(data.constData());
        QCOMPARE(int(storeCanReply(st(), Limits(), bytes, data.size(), 257, 1.5)), outcome);
        QCOMPARE(st().sampleCount, values.isEmpty() ? 0 : 1);
        for (int c = 0; c < values.size(); ++c)
            QCOMPARE(double(st().histories[c].data()[0]), values[c]);
    }

    // A reply stamped earlier than the one before keeps the order; full histories keep
    // nothing.
    void keepsTimeOrderAndCapacity()
    {
        const quint8 reply[] = {7, 0x80, 0, 0x80, 0x08, 0};
        QCOMPARE(storeCanReply(st(), Limits(), reply, 6, 7, 2.0), CanReplyOutcome::Stored);
        QCOMPARE(storeCanReply(st(), Limits(), reply, 6, 7, 1.0), CanReplyOutcome::Stored);
        QCOMPARE(st().timeHistory.data()[1], 2.0);
        QCOMPARE(storeCanReply(st(), Limits(), reply, 6, 7, 3.0), CanReplyOutcome::Dropped);
    }
};

QTEST_GUILESS_MAIN(TestCanReply)
#include "tst_canreply.moc"
