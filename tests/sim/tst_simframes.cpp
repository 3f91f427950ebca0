// The simulated adapter's two byte streams. Inbound, every good frame for its motor
// becomes exactly one event, anything else is skipped without losing the good frames
// around it, and no event comes before its whole frame has arrived. Outbound, each
// feedback frame carries the floatToFixed codes of the clamped values, and injected
// faults come in the promised numbers without ever forging the start of a frame.
#include "commandparser.h"
#include "feedbackstream.h"
#include "framemath.h"

#include <QtTest>

namespace {
QByteArray special(const quint8 *frame, int motorId)
{
    quint8 copy[16];
    std::copy(frame, frame + 16, copy);
    copy[12] = quint8(motorId);
    sealCommandFrame(copy);
    return frameBytes(copy, commandFrameLength);
}

// Event kinds as letters: D display, C config, K control, E enter, X exit, Z zero,
// T text. The parser's mode follows the mode requests, as the simulator's does.
QString drain(CommandParser *parser)
{
    QString kinds;
    InputEvent event;
    while (parser->next(&event)) {
        kinds += QLatin1Char("DCKEXZT"[event.kind]);
        if (event.kind == InputEvent::DisplayRequest || event.kind == InputEvent::ConfigRequest)
            parser->setConfigMode(event.kind == InputEvent::ConfigRequest);
    }
    return kinds;
}

const QByteArray control = QByteArray::fromHex("aaaf0fa1 815685a051333838 0301fd"); // motor 3
const QByteArray display = frameBytes(toDisplayFrame, modeFrameLength);
const QByteArray config = frameBytes(toConfigFrame, modeFrameLength);
} // namespace

class TestSimFrames : public QObject
{
    Q_OBJECT
private slots:
    void displayStream_data();
    void displayStream();
    void splitAnywhere();
    void feedbackCodes_data();
    void feedbackCodes();
    void faults_data();
    void faults();
};

void TestSimFrames::displayStream_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("events");
    QTest::addColumn<int>("bad");
    QTest::addColumn<int>("otherIds");
    QByteArray badSum = control;
    badSum[14] = char(badSum[14] + 1);
    QTest::newRow("good control frame") << control << "K" << 0 << 0;
    QTest::newRow("bad checksum, then good") << badSum + control << "K" << 1 << 0;
    QTest::newRow("garbage with sync bytes, then good")
        << QByteArray::fromHex("00aa11aaafaaaf0f") + control << "K" << 0 << 0;
    // A frame cut short by the next one: the partial frame's bytes are skipped.
    QTest::newRow("truncated frame, then good") << control.left(9) + control << "K" << 1 << 0;
    QTest::newRow("specials for own id")
        << special(enterFrame, 3) + special(exitFrame, 3) + special(zeroFrame, 3) << "EXZ" << 0
        << 0;
    QTest::newRow("specials for other ids")
        << special(enterFrame, 4) + special(zeroFrame, 2) + control << "K" << 0 << 2;
    QTest::newRow("unknown mode in request")
        << QByteArray::fromHex("aaaf07a2a301a5") << "" << 1 << 0;
    // Behind a switch to configuration mode a command frame is text for the menu.
    QTest::newRow("mode switches mid-buffer")
        << control + config + control + display + control << "KCTDK" << 0 << 0;
}

void TestSimFrames::displayStream()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, events);
    QFETCH(int, bad);
    QFETCH(int, otherIds);
    CommandParser parser(3);
    parser.setConfigMode(false);
    parser.append(stream);
    QCOMPARE(drain(&parser), events);
    QCOMPARE(int(parser.counts().badFrames), bad);
    QCOMPARE(int(parser.counts().otherIdFrames), otherIds);
}

void TestSimFrames::splitAnywhere()
{
    const QByteArray stream = QByteArray::fromHex("55aa") + control + special(enterFrame, 3) +
                              config + "m" + display + control;
    for (int cut = 0; cut <= stream.size(); ++cut) {
        CommandParser parser(3);
        parser.setConfigMode(false);
        parser.append(stream.left(cut));
        QString kinds = drain(&parser);
        parser.append(stream.mid(cut));
        kinds += drain(&parser);
        QVERIFY2(kinds == QLatin1String("KECTDK"),
                 qPrintable(QStringLiteral("cut at %1 gave %2").arg(cut).arg(kinds)));
    }
}

void TestSimFrames::feedbackCodes_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("velocity");
    QTest::addColumn<double>("current");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("codes 32768, 2048, 2048")
        << 0.003 << 0.02 << 0.02 << QByteArray::fromHex("aaaa0b0180008008000068");
    QTest::newRow("range ends") << 95.5 << -45.0 << 40.0
                                << QByteArray::fromHex("aaaa0b01ffff000fff006c");
    QTest::newRow("beyond the ends, clamped")
        << -300.0 << 99.0 << -41.0 << QByteArray::fromHex("aaaa0b010000fff000004f");
}

void TestSimFrames::feedbackCodes()
{
    QFETCH(double, position);
    QFETCH(double, velocity);
    QFETCH(double, current);
    QFETCH(QByteArray, frame);
    quint8 built[feedbackFrameLength];
    buildFeedbackFrame(::feedbackCodes(position, velocity, current), built);
    QCOMPARE(frameBytes(built, feedbackFrameLength).toHex(), frame.toHex());
}

void TestSimFrames::faults_data()
{
    QTest::addColumn<int>("noise");
    QTest::addColumn<int>("corrupt");
    QTest::newRow("clean") << 0 << 0;
    QTest::newRow("some noise, some corrupt") << 7 << 3;
    QTest::newRow("heavy noise") << 1500 << 0;
    QTest::newRow("all corrupt, noisy") << 250 << 100;
}

void TestSimFrames::faults()
{
    QFETCH(int, noise);
    QFETCH(int, corrupt);
    constexpr int frames = 1000;
    FeedbackStream stream(noise, corrupt, 7);
    QByteArray bytes;
    // Codes that never hold AA AA themselves; the checksums vary freely.
    for (int i = 0; i < frames; ++i)
        stream.append(&bytes, {(i * 37) % 0xAA00, (i * 13) % 0xA00, 0x100 + i % 0x900});
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

QTEST_GUILESS_MAIN(TestSimFrames)
#include "tst_simframes.moc"
