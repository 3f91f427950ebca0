// The receive time base. Each sample gets the time its frame's last byte can have arrived:
// the time of the read that completed the frame less the line time (10 bits a byte) of the
// bytes that read brought after it, never before the previous read, never decreasing, in
// seconds since the connect reset, however the reads and the decoder's passes fall.
#include "feedbackparser.h"
#include "motorstate.h"
#include "testframes.h"

#include <QtTest>

namespace {
MotorState &s = motorState;
constexpr qint64 ms = 1000000;
} // namespace

class TestReceiveTimes : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(prepareMotorState(QDir::tempPath()));
        s.sampleCount = 100;
        s.timeHistory[5] = 3.5;
        connectReset();
    }

    // Each read is {frames it completes, its time in ms after the origin, decoder pass
    // after it}; at 1,000,000 baud a byte takes 10 µs, a frame of 11 bytes 110 µs.
    void stampsFrames_data()
    {
        QTest::addColumn<QVector<QVector<double>>>("reads");
        QTest::addColumn<QVector<double>>("timesMs");
        QTest::newRow("one read: the last frame at its time, the others earlier by 110 µs")
            << QVector<QVector<double>>{{3, 10, 1}} << QVector<double>{9.78, 9.89, 10};
        QTest::newRow("never before the previous read, in one pass or two")
            << QVector<QVector<double>>{{1, 5, 1}, {12, 6, 1}, {1, 6.5, 0}, {4, 6.6, 1}}
            << QVector<double>{5,    5,    5,    5.01, 5.12, 5.23, 5.34, 5.45, 5.56,
                               5.67, 5.78, 5.89, 6,    6.5,  6.5,  6.5,  6.5,  6.6};
        QTest::newRow(
            "a frame cut across reads and passes: the later read's time less 5 bytes after it")
            << QVector<QVector<double>>{{0.5, 1, 1}, {1, 2, 1}} << QVector<double>{1.95};
        QTest::newRow("seven days on, still to the microsecond")
            << QVector<QVector<double>>{{2, 604800000.001, 1}}
            << QVector<double>{604799999.891, 604800000.001};
    }
    void stampsFrames()
    {
        QFETCH(QVector<QVector<double>>, reads);
        QFETCH(QVector<double>, timesMs);
        QCOMPARE(s.sampleCount, 0);
        QVERIFY(s.hasTimes && s.timeHistory[5] == 0);
        s.lineBaud = 1000000;
        const QByteArray stream = workedFeedback.repeated(20);
        int sent = 0;
        for (const QVector<double> &read : reads) {
            const int bytes = int(read[0] * workedFeedback.size());
            appendReceived(s, stream.constData() + sent, bytes,
                           s.timeOriginNs + qint64(read[1] * ms));
            sent += bytes;
            if (read[2] != 0)
                parseFeedback(s, Limits());
        }
        QCOMPARE(s.sampleCount, timesMs.size());
        for (int i = 0; i < timesMs.size(); ++i)
            QVERIFY2(
                qAbs(s.timeHistory[i] - timesMs[i] / 1000) < 1e-7,
                qPrintable(
                    QStringLiteral("sample %1: %2 s").arg(i).arg(s.timeHistory[i], 0, 'f', 7)));
    }
};

QTEST_GUILESS_MAIN(TestReceiveTimes)
#include "tst_receivetimes.moc"
