// The simulated adapter: parser, motor model, feedback encoder and the korvane-sim process,
// on a pseudo-terminal and, against the real CAN link, on a virtual CAN bus.
#include "canlink.h"
#include "commandparser.h"
#include "feedbackstream.h"
#include "motormodel.h"
#include "motorstate.h"
#include "simprocess.h"
#include "testframes.h"

#include <QSerialPort>
#include <QtTest>

#include <numeric>

namespace {
// Motor 3's parser, fed in two pieces and following the mode requests as the simulator does.
QString parse(const QByteArray &stream, int cut)
{
    CommandParser parser(3);
    parser.setConfigMode(false);
    QString kinds;
    for (const QByteArray &piece : {stream.left(cut), stream.mid(cut)}) {
        parser.append(piece);
        for (InputEvent e; parser.next(&e);) {
            // Every control frame here is the worked command, whose codes are these.
            const PayloadCodes &c = e.codes;
            const bool worked = c.position == 0x8156 && c.velocity == 0x85a && c.kp == 0x51 &&
                                c.kd == 0x333 && c.torque == 0x838;
            kinds +=
                QLatin1Char(e.kind == InputEvent::Control && !worked ? '?' : "DCKEXZT"[e.kind]);
            if (e.kind == InputEvent::DisplayRequest || e.kind == InputEvent::ConfigRequest)
                parser.setConfigMode(e.kind == InputEvent::ConfigRequest);
        }
    }
    const ParserCounts &n = parser.counts();
    return QStringLiteral("%1|%2|%3").arg(kinds).arg(n.badFrames).arg(n.otherIdFrames);
}

struct Client : QSerialPort // the tool's side of the device: a serial port opened by path
{
    explicit Client(const QString &path) : QSerialPort(path) { open(ReadWrite); }
    QByteArray readFor(int ms, int enough = 1 << 30)
    {
        QByteArray data;
        for (QDeadlineTimer end(ms);
             data.size() < enough && waitForReadyRead(int(end.remainingTime()));)
            data += readAll();
        return data;
    }
    // Discards the input and asks, as the tool does; `before` goes out in the same write.
    bool switchMode(const QByteArray &request, const QByteArray &before = QByteArray())
    {
        clear(Input);
        write(before + request);
        return waitForBytesWritten(500) && isModeAck(readFor(500, modeFrameLength));
    }
};

// Cuts a feedback stream at AA AA: {frames, good checksums, bytes between, false starts}.
QVector<int> scan(const QByteArray &data)
{
    QVector<int> n(4);
    int i = 0;
    for (int s; (s = data.indexOf("\xaa\xaa", i)) >= 0 && s + feedbackFrameLength <= data.size();
         i = s + feedbackFrameLength, ++n[0]) {
        const auto *b = reinterpret_cast<const quint8 *>(data.constData()) + s;
        n[1] += quint8(std::accumulate(b, b + 10, 0)) == b[10];
        n[2] += s - i;
        n[3] += b[2] != 0x0B || b[3] != 1;
    }
    n[2] += data.size() - i;
    return n;
}
} // namespace

class TestSim : public QObject
{
    Q_OBJECT
private slots:
    void parser_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("result");       // event kinds|bad frames|frames for other ids
        const QByteArray &control = workedCommand; // motor 3
        // The motor-mode, exit and zero requests for a motor.
        auto special = [](const char *kind, int motorId) {
            QByteArray f =
                QByteArray::fromHex("aaaf0fa1ffffffffffffff") + kind + char(motorId) + '\1';
            return f + char(std::accumulate(f.cbegin(), f.cend(), 0));
        };
        QTest::newRow("bad checksum") << control.left(14) + '\xfe' + control << "K|1|0";
        QTest::newRow("garbage") << QByteArray::fromHex("00aa11aaafaaaf0f") + control << "K|0|0";
        QTest::newRow("specials, own id")
            << special("\xfc", 3) + special("\xfd", 3) + special("\xfe", 3) << "EXZ|0|0";
        QTest::newRow("other ids") << special("\xfc", 4) + special("\xfe", 2) << "|0|2";
        QTest::newRow("unknown mode") << QByteArray::fromHex("aaaf07a2a301a5") << "|1|0";
        QTest::newRow("mode requests, text in configuration mode")
            << control + toConfigRequest + "m" + toDisplayRequest + control << "KCTDK|0|0";
    }
    void parser()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QString, result);
        for (int cut = 0; cut <= stream.size(); ++cut) // no event before its whole frame is in
            QCOMPARE(parse(stream, cut), result);
    }
    void feedbackFrames()
    {
        auto frame = [](double position, double velocity, double current) {
            quint8 built[feedbackFrameLength];
            buildFeedbackFrame(::feedbackCodes(position, velocity, current), built);
            return frameBytes(built, feedbackFrameLength).toHex();
        };
        QCOMPARE(frame(0.003, 0.02, 0.02), workedFeedback.toHex());
        QCOMPARE(frame(95.5, -45, 40), QByteArray("aaaa0b01ffff000fff006c")); // range ends
        QCOMPARE(frame(-300, 99, -41), QByteArray("aaaa0b010000fff000004f")); // clamped
        // Noise between frames and wrong checksums, in the asked proportions.
        FeedbackStream stream(1500, 3, 7);
        QByteArray bytes;
        for (int i = 0; i < 1000; ++i) // codes without AA AA of their own
            stream.append(&bytes, {(i * 37) % 0xAA00, (i * 13) % 0xA00, 0x100 + i % 0x900});
        QCOMPARE(scan(bytes), QVector<int>({1000, 970, 15000, 0}));
    }
    void motorSettles_data()
    {
        // Position, velocity, Kp, Kd, torque; where it settles; its first torque.
        QTest::addColumn<QVector<double>>("c");
        QTest::newRow("soft") << QVector<double>{3, 0, 5, 0.5, 0, 3, 15};
        QTest::newRow("backwards, limited") << QVector<double>{-2, 0, 10, 1, 0, -2, -18};
        QTest::newRow("stiff, far, limited") << QVector<double>{30, 0, 20, 1, 0, 30, 18};
        QTest::newRow("feed-forward") << QVector<double>{0, 0, 20, 1, 2, 0.1, 2};
    }
    void motorSettles()
    {
        QFETCH(QVector<double>, c);
        MotorModel model;
        model.setCommand({float(c[0]), float(c[1]), float(c[2]), float(c[3]), float(c[4])});
        model.advanceTo(0.5);
        QCOMPARE(model.position(), 0.0); // outside motor mode a command moves nothing
        model.setMotorMode(true);
        model.step();
        QVERIFY(std::abs(model.torque() - c[6]) < 1e-6);
        for (int ms = 501; ms <= 2500; ++ms) { // never beyond the feedback's velocity range
            model.advanceTo(ms / 1000.0);
            QVERIFY(std::abs(model.velocity()) <= 45);
        }
        QVERIFY2(std::abs(model.position() - c[5]) < 0.01 && std::abs(model.velocity()) < 0.05,
                 qPrintable(QString::number(model.position())));
    }
    // At the default rate, or asked for more than the line carries: capped at its bytes per
    // second over 110 bits a frame; then a stalled client, and one client after another.
    void processStreams_data()
    {
        QTest::addColumn<bool>("stall");
        QTest::newRow("default rate") << false;
        QTest::newRow("capped, client after client") << true;
    }
    void processStreams()
    {
        QFETCH(bool, stall);
        const double expected = stall ? 921600 / 110.0 : 1000;
        QTemporaryDir dir;
        SimProcess sim; // the client opens the link the simulator makes to its terminal
        QVERIFY(sim.start(dir.filePath("sim"),
                          stall ? QStringList{"--rate", "100000"} : QStringList()));
        Client client(dir.filePath("sim"));
        // No feedback before display mode is asked for.
        QVERIFY(client.readFor(200).isEmpty() && client.switchMode(toDisplayRequest));
        QElapsedTimer clock;
        clock.start();
        const QByteArray data = client.readFor(1500);
        // Measured against the time actually spent reading: a loaded machine may wake the
        // reader late, and a starved simulator drops frames rather than bursting them.
        const double seconds = clock.elapsed() / 1000.0;
        const QVector<int> n = scan(data.mid(data.indexOf(QByteArray::fromHex("aaaa0b01"))));
        QVERIFY2(n[1] > 0.6 * expected * 1.5 && n[1] < 1.1 * expected * (seconds + 0.05),
                 qPrintable(QStringLiteral("%1 frames in %2 s").arg(n[1]).arg(seconds)));
        QVERIFY(n[0] == n[1] && n[2] < feedbackFrameLength && !n[3]);
        if (stall) { // the terminal fills; nothing queued or answered may precede the next acks
            QThread::msleep(1500);
            // A full terminal drops whole frames; it never cuts one short.
            const QVector<int> m = scan(client.readFor(300));
            QVERIFY(m[0] > 100 && m[0] == m[1] && m[2] < feedbackFrameLength && !m[3]);
            client.switchMode(toConfigRequest); // fresh feedback may beat this request
            client.readFor(300); // and its acknowledgement, if late, must not count for the next
            QVERIFY(client.switchMode(toConfigRequest) && client.readFor(100).isEmpty());
            QVERIFY(client.switchMode(toDisplayRequest, "m"));
            client.close();
            QTest::qWait(300); // nobody listens: the simulator neither blocks nor quits
            QVERIFY(sim.isRunning() && client.open(QIODevice::ReadWrite));
            QVERIFY(scan(client.readFor(2000, 600 * feedbackFrameLength))[1] > 500);
        }
        QVERIFY(sim.stop().contains("feedback frames sent") && sim.exitedCleanly());
    }

    // The simulator hosts a virtual bus on a port of this test's own, so that the bus ends
    // with it: the link's commands reach the motor with the payload packed by the rules and
    // drive it, its replies decode to their codes (one in ten cut short counts as an error),
    // and the stop is one interruption.
    void canLinkMeetsSimulator()
    {
        QVERIFY(prepareMotorState(QString()));
        const QString bus = QStringLiteral("tcp://127.0.0.1:%1/can0")
                                .arg(40000 + QCoreApplication::applicationPid() % 20000);
        SimProcess sim;
        QVERIFY(sim.start(QString(), {"--can", "virtualcan:" + bus, "--motor-id", "3", "--rate",
                                      "2000", "--corrupt", "10"}));
        CanLink link;
        QSignalSpy opened(&link, &CanLink::connectSucceed), box(&link, &CanLink::msgBox),
            closed(&link, &CanLink::unConnectSucceed), status(&link, &CanLink::statusMsg);
        link.setInterface(QStringLiteral("virtualcan"), bus);
        link.connectLink();
        QVERIFY(opened.size() == 1 || opened.wait(3000));
        {
            QMutexLocker lock(&stateMutex);
            // Position 1, velocity 2, Kp 10, Kd 1, torque 0.5 for motor 3.
            const QByteArray packed = QByteArray::fromHex("aaaf0fa1815685a0513338380301fd");
            memcpy(motorState.commandFrame, packed.constData(), commandFrameLength);
            motorState.sendEnabled = motorState.usePackedCommand = true;
            motorState.motorId = 3;
        }
        link.setLoop(true);
        auto sendSpecial = [&link](const QString &word, quint32 motorId) {
            {
                QMutexLocker lock(&stateMutex);
                prepareSpecialFrame(word, motorId);
            }
            link.sendOnce(word);
        };
        QTest::qWait(100);
        int resting = 0;
        {
            QMutexLocker lock(&stateMutex);
            resting = motorState.sampleCount;
        }
        sendSpecial(QStringLiteral("enter"), 3);
        QTest::qWait(300);
        {
            QMutexLocker lock(&stateMutex);
            motorState.sendEnabled = false;
        }
        sendSpecial(QStringLiteral("exit"), 4); // another motor's: not obeyed
        sendSpecial(QStringLiteral("zero"), 3);
        QTest::qWait(100);
        const QMap<QString, QString> summary = sim.stop();
        QVERIFY(closed.size() == 1 || closed.wait(3000));
        QTest::qWait(100);
        QCOMPARE(box.size(), 1);
        QCOMPARE(box.at(0).at(0).toString(),
                 QStringLiteral("Connection interrupted, check your connection"));
        QCOMPARE(closed.size(), 1);

        const int commands = summary.value("command frames received").toInt();
        QVERIFY2(commands >= 19 && commands <= 26, qPrintable(QString::number(commands)));
        QCOMPARE(summary.value("last control payload"), QStringLiteral("815685a051333838"));
        QCOMPARE(summary.value("special commands"), QStringLiteral("2"));
        QCOMPARE(summary.value("frames for other motors"), QStringLiteral("1"));
        QCOMPARE(summary.value("bad frames"), QStringLiteral("0"));
        // One reply in ten is cut. A report covers the batches of at least 30 replies read
        // since the last, so it may count one cut reply more or less than a tenth.
        const QString rate = status.last().at(0).toString();
        QVERIFY2(rate.startsWith(QStringLiteral("USB data error : ")) && rate.endsWith('%'),
                 qPrintable(rate));
        const double percent = rate.mid(17).chopped(1).toDouble();
        QVERIFY2(percent > 6.6 && percent < 13.4, qPrintable(rate));
        // Until it enters motor mode the motor rests at 0: codes 32767, 2047 and 2047, which
        // decode to code * (max - min) / (2^bits - 1) + min. Then it heads for the set-point.
        QMutexLocker lock(&stateMutex);
        QVERIFY2(resting > 100 && motorState.sampleCount > resting + 400,
                 qPrintable(QStringLiteral("%1 %2").arg(resting).arg(motorState.sampleCount)));
        for (int i = 0; i < resting; ++i) {
            QCOMPARE(motorState.positionHistory().data()[i], -0.00145721435546875f);
            QCOMPARE(motorState.velocityHistory().data()[i], -0.010990142822265625f);
            QCOMPARE(motorState.currentHistory().data()[i], -0.009769439697265625f);
        }
        // Near the set-point, then zeroed: the zero makes the present position 0.
        bool moved = false, zeroed = false;
        for (int i = resting; i < motorState.sampleCount; ++i) {
            const float position = motorState.positionHistory().data()[i];
            moved = moved || (position > 0.5f && position < 1.5f);
            zeroed = zeroed || (moved && std::abs(position) < 0.1f);
        }
        QVERIFY(moved && zeroed);
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
