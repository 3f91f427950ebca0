// The adapter's input parser turns every good frame for its motor into exactly one
// event, skips anything else without losing the good frames around it, and never
// yields an event before the whole frame has arrived.
#include "commandparser.h"
#include "frames.h"

#include <QtTest>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray special(const quint8 *frame, int motorId)
{
    quint8 copy[16];
    std::copy(frame, frame + 16, copy);
    copy[12] = quint8(motorId);
    sealCommandFrame(copy);
    return frameBytes(copy, commandFrameLength);
}

// Event kinds as letters: D display, C config, K control, E enter, X exit, Z zero, T text.
QString drain(CommandParser *parser, QList<InputEvent> *events = nullptr)
{
    QString kinds;
    InputEvent event;
    while (parser->next(&event)) {
        kinds += QLatin1Char("DCKEXZT"[event.kind]);
        if (events)
            events->append(event);
    }
    return kinds;
}

const QByteArray control = hex("aaaf0fa1 815685a051333838 0301fd"); // motor 3
const QByteArray display = frameBytes(toDisplayFrame, modeFrameLength);
const QByteArray config = frameBytes(toConfigFrame, modeFrameLength);
} // namespace

class TestCommandParser : public QObject
{
    Q_OBJECT
private slots:
    void displayStream_data();
    void displayStream();
    void splitAnywhere();
    void controlCodes();
    void configText_data();
    void configText();
    void modeChangeMidBuffer();
};

void TestCommandParser::displayStream_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("events");
    QTest::addColumn<int>("bad");
    QTest::addColumn<int>("otherIds");
    QByteArray badSum = control;
    badSum[14] = char(badSum[14] + 1);
    QTest::newRow("good control frame") << control << "K" << 0 << 0;
    QTest::newRow("bad checksum ignored") << badSum << "" << 1 << 0;
    QTest::newRow("bad frame, then good") << badSum + control << "K" << 1 << 0;
    QTest::newRow("garbage with sync bytes, then good")
        << hex("00aa11aaafaaaf0f") + control << "K" << 0 << 0;
    // A frame cut short by a new one: the partial frame's bytes are skipped.
    QTest::newRow("truncated frame, then good") << control.left(9) + control << "K" << 1 << 0;
    QTest::newRow("specials for own id")
        << special(enterFrame, 3) + special(exitFrame, 3) + special(zeroFrame, 3) << "EXZ" << 0
        << 0;
    QTest::newRow("specials for other id")
        << special(enterFrame, 4) + special(zeroFrame, 2) + control << "K" << 0 << 2;
    QTest::newRow("mode requests") << display + config << "DC" << 0 << 0;
    QTest::newRow("unknown mode in request") << hex("aaaf07a2a301a5") << "" << 1 << 0;
}

void TestCommandParser::displayStream()
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

void TestCommandParser::splitAnywhere()
{
    const QByteArray stream = hex("55aa") + control + special(enterFrame, 3) + display + control;
    for (int cut = 0; cut <= stream.size(); ++cut) {
        CommandParser parser(3);
        parser.setConfigMode(false);
        parser.append(stream.left(cut));
        QString kinds = drain(&parser);
        parser.append(stream.mid(cut));
        kinds += drain(&parser);
        QVERIFY2(kinds == QLatin1String("KEDK"),
                 qPrintable(QStringLiteral("cut at %1 gave %2").arg(cut).arg(kinds)));
        QCOMPARE(int(parser.counts().badFrames), 0);
    }
}

void TestCommandParser::controlCodes()
{
    CommandParser parser(3);
    parser.setConfigMode(false);
    parser.append(control);
    QList<InputEvent> events;
    drain(&parser, &events);
    QCOMPARE(events.size(), 1);
    const PayloadCodes c = events[0].codes;
    QCOMPARE(QVector<int>({c.position, c.velocity, c.kp, c.kd, c.torque}),
             QVector<int>({33110, 2138, 81, 819, 2104}));
}

void TestCommandParser::configText_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QByteArray>("firstText");
    QTest::newRow("one key") << QByteArrayList{"m"} << "T" << QByteArray("m");
    QTest::newRow("escape") << QByteArrayList{"\x1b"} << "T" << QByteArray("\x1b");
    QTest::newRow("text, request") << QByteArrayList{"s" + display} << "TD" << QByteArray("s");
    QTest::newRow("request split after its first byte")
        << QByteArrayList{"z" + display.left(1), display.mid(1)} << "TD" << QByteArray("z");
    QTest::newRow("damaged request reaches the menu as text")
        << QByteArrayList{hex("aaaf07a2a10100")} << "T" << hex("aaaf07a2a10100");
    // Command frames mean nothing to the firmware's menu.
    QTest::newRow("command frame is text") << QByteArrayList{control} << "T" << control;
}

void TestCommandParser::configText()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QString, events);
    QFETCH(QByteArray, firstText);
    CommandParser parser(3);
    QList<InputEvent> got;
    QString kinds;
    for (const QByteArray &chunk : chunks) {
        parser.append(chunk);
        kinds += drain(&parser, &got);
    }
    QCOMPARE(kinds, events);
    QCOMPARE(got[0].text, firstText);
}

void TestCommandParser::modeChangeMidBuffer()
{
    // The caller switches modes between events; the frames behind the request must
    // be read in the new mode.
    CommandParser parser(3);
    parser.append("e" + display + control + config + "c");
    QString kinds;
    InputEvent event;
    while (parser.next(&event)) {
        kinds += QLatin1Char("DCKEXZT"[event.kind]);
        if (event.kind == InputEvent::DisplayRequest || event.kind == InputEvent::ConfigRequest)
            parser.setConfigMode(event.kind == InputEvent::ConfigRequest);
    }
    QCOMPARE(kinds, QStringLiteral("TDKCT"));
}

QTEST_GUILESS_MAIN(TestCommandParser)
#include "tst_commandparser.moc"
