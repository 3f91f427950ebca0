// The built korvane-sim, driven through its terminal the way the tool drives an
// adapter: it stays silent until asked for display mode, acknowledges the request,
// streams valid feedback at the asked rate (never faster than the line allows),
// obeys commands, answers the menu in configuration mode, outlives a client that
// closes the device, and reports its traffic when it stops.
#include "framemath.h"
#include "frames.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
// The tool's side of the device: raw, opened by path like any serial port.
class Client
{
public:
    explicit Client(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        tcgetattr(m_fd, &t);
        cfmakeraw(&t);
        tcsetattr(m_fd, TCSANOW, &t);
    }
    ~Client() { ::close(m_fd); }
    void send(const QByteArray &bytes)
    {
        QCOMPARE(int(::write(m_fd, bytes.constData(), size_t(bytes.size()))), bytes.size());
    }
    bool hungUp() const
    {
        pollfd p{m_fd, POLLIN, 0};
        return poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
    }
    // Reads for `ms` milliseconds, or until `enough` bytes have arrived.
    QByteArray readFor(int ms, int enough = std::numeric_limits<int>::max())
    {
        QByteArray data;
        QElapsedTimer timer;
        timer.start();
        for (qint64 left = ms; left > 0 && data.size() < enough; left = ms - timer.elapsed()) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, int(left)) > 0 && (p.revents & POLLIN)) {
                char buffer[65536];
                const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                data.append(buffer, int(n));
            }
        }
        return data;
    }
    // The tool's mode switch: discard the input, ask, and the acknowledgement must
    // come first. `before` goes out in the same write, just ahead of the request.
    bool switchMode(const quint8 *request, const QByteArray &before = QByteArray())
    {
        tcflush(m_fd, TCIFLUSH);
        send(before + frameBytes(request, modeFrameLength));
        return isModeAck(readFor(500, modeFrameLength));
    }

private:
    int m_fd = -1;
};

// Counts the frames with a good checksum; `position` gets the last one's position.
int countFeedback(const QByteArray &data, float *position = nullptr)
{
    int good = 0;
    const auto *b = reinterpret_cast<const quint8 *>(data.constData());
    for (int i = 0; i + feedbackFrameLength <= data.size(); ++i) {
        if (b[i] == 0xAA && b[i + 1] == 0xAA && (byteSum(b + i, 10) & 0xFF) == b[i + 10]) {
            ++good;
            if (position)
                *position = fixedToFloat(unpackFeedback(b + i).position, -95.5f, 95.5f, 16);
            i += feedbackFrameLength - 1;
        }
    }
    return good;
}

QByteArray command(float position, float kp, float kd, int motorId)
{
    quint8 frame[commandFrameLength];
    buildCommandFrame({floatToFixed(position, -95.5f, 95.5f, 16), 2047,
                       floatToFixed(kp, 0, 500, 12), floatToFixed(kd, 0, 5, 12), 2047},
                      motorId, frame);
    return frameBytes(frame, commandFrameLength);
}

QByteArray special(quint8 *frame, int motorId)
{
    frame[12] = quint8(motorId);
    sealCommandFrame(frame);
    return frameBytes(frame, commandFrameLength);
}
} // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void streamsAtTheAskedRate_data();
    void streamsAtTheAskedRate();
    void drivesTheMotor();
    void servesClientAfterClient();
    void configurationMenu_data();
    void configurationMenu();
    void stopsAsAsked_data();
    void stopsAsAsked();

private:
    bool start(const QStringList &arguments);

    QString m_program;
    QTemporaryDir m_dir;
    QString m_link;
    QProcess m_sim;
};

void TestSimProcess::initTestCase()
{
    m_program = qEnvironmentVariable("KORVANE_BIN_DIR") + QStringLiteral("/korvane-sim");
    QVERIFY2(QFileInfo(m_program).isExecutable(),
             qPrintable(m_program + QStringLiteral(" missing (KORVANE_BIN_DIR names its folder)")));
    m_link = m_dir.filePath(QStringLiteral("sim"));
}

void TestSimProcess::cleanup()
{
    m_sim.kill();
    m_sim.waitForFinished(3000);
}

bool TestSimProcess::start(const QStringList &arguments)
{
    m_sim.start(m_program, QStringList{QStringLiteral("--link"), m_link} + arguments);
    return m_sim.waitForStarted(5000) && m_sim.waitForReadyRead(5000) &&
           m_sim.readLine().startsWith("device: /dev/pts/") && QFileInfo(m_link).isSymLink();
}

void TestSimProcess::streamsAtTheAskedRate_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<double>("expected");
    QTest::newRow("default rate") << QStringList() << 1000.0;
    QTest::newRow("capped by 921600 baud") << QStringList{"--rate", "100000"} << 921600 / 110.0;
    QTest::newRow("capped by 115200 baud")
        << QStringList{"--rate", "100000", "--baud", "115200"} << 115200 / 110.0;
}

void TestSimProcess::streamsAtTheAskedRate()
{
    QFETCH(QStringList, arguments);
    QFETCH(double, expected);
    QVERIFY(start(arguments));
    Client client(m_link);
    QVERIFY2(client.readFor(200).isEmpty(), "feedback before display mode was asked for");
    QVERIFY(client.switchMode(toDisplayFrame));
    const QByteArray data = client.readFor(1500);
    const int good = countFeedback(data);
    QVERIFY2(good > 0.8 * 1.5 * expected && good < 1.03 * 1.5 * expected,
             qPrintable(QStringLiteral("%1 frames in 1.5 s").arg(good)));
    QVERIFY2(data.size() / feedbackFrameLength - good <= 1, "bytes outside good frames");
}

void TestSimProcess::drivesTheMotor()
{
    QVERIFY(start({}));
    Client client(m_link);
    QVERIFY(client.switchMode(toDisplayFrame));
    client.send(special(enterFrame, 1));
    QByteArray bad = command(40, 500, 5, 1);
    bad[14] = char(bad[14] ^ 0xFF);
    client.send(command(40, 500, 5, 2) + bad);
    for (int i = 0; i < 75; ++i) {
        client.send(command(3, 10, 1, 1));
        client.readFor(20);
    }
    float position = 0;
    countFeedback(client.readFor(50), &position);
    QVERIFY2(std::abs(position - 3) < 0.05, qPrintable(QString::number(position)));
    client.send(special(exitFrame, 1) + special(zeroFrame, 1));
    countFeedback(client.readFor(50), &position);
    QVERIFY2(std::abs(position) < 0.05, qPrintable(QString::number(position)));

    m_sim.terminate();
    QVERIFY(m_sim.waitForFinished(5000) && m_sim.exitCode() == 0);
    const QString summary = QString::fromLatin1(m_sim.readAllStandardOutput());
    QVERIFY2(summary.contains(QStringLiteral("command frames received: 78\n")),
             qPrintable(summary));
    QVERIFY(summary.contains(QStringLiteral("special commands: 3\n")));
    QVERIFY(summary.contains(QStringLiteral("frames for other motors: 1\n")));
    QVERIFY(summary.contains(QStringLiteral("bad frames: 1\n")));
}

void TestSimProcess::servesClientAfterClient()
{
    QVERIFY(start({QStringLiteral("--rate"), QStringLiteral("100000")}));
    {
        // A client that stops reading lets the terminal fill up; what the simulator
        // had queued then must not push in front of the next acknowledgement, nor may
        // the answer to text that came in the same read as the request.
        Client client(m_link);
        QVERIFY(client.switchMode(toDisplayFrame));
        QTest::qWait(1500);
        QVERIFY(client.switchMode(toConfigFrame));
        QVERIFY(client.readFor(100).isEmpty());
        QVERIFY(client.switchMode(toDisplayFrame, "m"));
    }
    // Nobody listens now; the simulator neither blocks nor quits, and serves the next.
    QTest::qWait(300);
    QCOMPARE(m_sim.state(), QProcess::Running);
    Client next(m_link);
    QVERIFY(next.switchMode(toDisplayFrame) || next.switchMode(toDisplayFrame));
    QVERIFY(countFeedback(next.readFor(100)) > 500);
}

void TestSimProcess::configurationMenu_data()
{
    QTest::addColumn<bool>("notPowered");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("menu key") << false << QByteArray("m") << QByteArray("Motor mode");
    QTest::newRow("escape shows the menu") << false << QByteArray("\x1b") << QByteArray("[esc] -");
    QTest::newRow("other input echoed") << false << QByteArray("b 42") << QByteArray("b 42");
    QTest::newRow("not powered") << true << QByteArray("m") << QByteArray("\xff");
}

void TestSimProcess::configurationMenu()
{
    QFETCH(bool, notPowered);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, reply);
    QVERIFY(start(notPowered ? QStringList{QStringLiteral("--not-powered")} : QStringList{}));
    // The adapter starts in configuration mode.
    Client client(m_link);
    client.send(input);
    const QByteArray got = client.readFor(200);
    QVERIFY2(notPowered ? got == reply : got.contains(reply), got.toHex().constData());
}

void TestSimProcess::stopsAsAsked_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("closeClient");
    QTest::newRow("client closes, --exit-on-close") << QStringList{"--exit-on-close"} << true;
    QTest::newRow("--hangup-after") << QStringList{"--hangup-after", "0.5"} << false;
    QTest::newRow("--duration") << QStringList{"--duration", "0.5"} << false;
}

void TestSimProcess::stopsAsAsked()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, closeClient);
    QVERIFY(start(arguments));
    auto client = std::make_unique<Client>(m_link);
    QVERIFY(client->switchMode(toDisplayFrame));
    if (closeClient)
        client.reset();
    QVERIFY2(m_sim.waitForFinished(2000), "still running");
    QCOMPARE(m_sim.exitCode(), 0);
    QVERIFY(m_sim.readAllStandardOutput().contains("feedback frames sent: "));
    QVERIFY2(!QFileInfo::exists(m_link), "link left behind");
    if (client)
        QVERIFY2(client->hungUp(), "the client was not told");
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
