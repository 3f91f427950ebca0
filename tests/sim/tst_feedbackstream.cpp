// Feedback frames carry exactly the codes floatToFixed gives for the clamped values,
// and the injected faults come in the promised numbers without ever forging the
// start of a frame: a reader that syncs on AA AA finds every frame and nothing else.
#include "feedbackstream.h"
#include "framemath.h"

#include <QtTest>

class TestFeedbackStream : public QObject
{
    Q_OBJECT
private slots:
    void codes_data();
    void codes();
    void knownFrame();
    void faults_data();
    void faults();
};

void TestFeedbackStream::codes_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("velocity");
    QTest::addColumn<double>("current");
    QTest::addColumn<double>("clampedPosition");
    QTest::addColumn<double>("clampedVelocity");
    QTest::addColumn<double>("clampedCurrent");
    QTest::newRow("rest") << 0.0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("in range") << 1.2345 << -3.21 << 7.5 << 1.2345 << -3.21 << 7.5;
    QTest::newRow("range ends") << 95.5 << -45.0 << 40.0 << 95.5 << -45.0 << 40.0;
    QTest::newRow("beyond the ends") << 300.0 << 99.0 << -41.0 << 95.5 << 45.0 << -40.0;
}

void TestFeedbackStream::codes()
{
    QFETCH(double, position);
    QFETCH(double, velocity);
    QFETCH(double, current);
    QFETCH(double, clampedPosition);
    QFETCH(double, clampedVelocity);
    QFETCH(double, clampedCurrent);
    quint8 frame[feedbackFrameLength];
    buildFeedbackFrame(feedbackCodes(position, velocity, current), frame);
    const FeedbackCodes c = unpackFeedback(frame);
    QCOMPARE(c.position, floatToFixed(float(clampedPosition), -95.5f, 95.5f, 16));
    QCOMPARE(c.velocity, floatToFixed(float(clampedVelocity), -45.f, 45.f, 12));
    QCOMPARE(c.current, floatToFixed(float(clampedCurrent), -40.f, 40.f, 12));
    QCOMPARE(int(frame[10]), int(byteSum(frame, 10) & 0xFF));
}

void TestFeedbackStream::knownFrame()
{
    quint8 frame[feedbackFrameLength];
    buildFeedbackFrame({32768, 2048, 2048}, frame);
    QCOMPARE(frameBytes(frame, feedbackFrameLength), QByteArray::fromHex("aaaa0b0180008008000068"));
}

void TestFeedbackStream::faults_data()
{
    QTest::addColumn<int>("noise");
    QTest::addColumn<int>("corrupt");
    QTest::newRow("clean") << 0 << 0;
    QTest::newRow("some noise") << 7 << 0;
    QTest::newRow("heavy noise") << 1500 << 0;
    QTest::newRow("some corrupt") << 0 << 3;
    QTest::newRow("all corrupt, noisy") << 250 << 100;
}

void TestFeedbackStream::faults()
{
    QFETCH(int, noise);
    QFETCH(int, corrupt);
    constexpr int frames = 1000;
    FeedbackStream stream(noise, corrupt, 7);
    QByteArray bytes;
    for (int i = 0; i < frames; ++i) {
        // Codes that never hold AA AA themselves; the checksums vary freely.
        const FeedbackCodes codes{(i * 37) % 0xAA00, (i * 13) % 0xA00, 0x100 + i % 0x900};
        stream.append(&bytes, codes);
    }
    int found = 0;
    int good = 0;
    int other = 0;
    const auto *b = reinterpret_cast<const quint8 *>(bytes.constData());
    for (int i = 0; i < bytes.size();) {
        if (i + 1 < bytes.size() && b[i] == 0xAA && b[i + 1] == 0xAA) {
            QVERIFY2(i + feedbackFrameLength <= bytes.size() && b[i + 2] == 0x0B && b[i + 3] == 1,
                     qPrintable(QStringLiteral("false frame start at %1").arg(i)));
            ++found;
            good += (byteSum(b + i, 10) & 0xFF) == b[i + 10];
            i += feedbackFrameLength;
        } else {
            ++other;
            ++i;
        }
    }
    QCOMPARE(found, frames);
    QCOMPARE(frames - good, frames * corrupt / 100);
    QCOMPARE(other, frames * noise / 100);
}

QTEST_GUILESS_MAIN(TestFeedbackStream)
#include "tst_feedbackstream.moc"
