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
    bool isOpen() const { return m_fd >= 0; }
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
    // come first.
    bool switchMode(const quint8 *request)
    {
        tcflush(m_fd, TCIFLUSH);
        send(frameBytes(request, modeFrameLength));
        return isModeAck(readFor(500, modeFrameLength));
    }

private:
    int m_fd = -1;
};

struct Feedback
{
    int good = 0;
    int bad = 0;
    FeedbackCodes last;
};

Feedback countFeedback(const QByteArray &data)
{
    Feedback f;
    const auto *b = reinterpret_cast<const quint8 *>(data.constData());
    for (int i = 0; i + feedbackFrameLength <= data.size(); ++i) {
        if (b[i] != 0xAA || b[i + 1] != 0xAA || b[i + 2] != 0x0B)
            continue;
        if ((byteSum(b + i, 10) & 0xFF) != b[i + 10]) {
            ++f.bad;
            continue;
        }
        ++f.good;
        f.last = unpackFeedback(b + i);
        i += feedbackFrameLength - 1;
    }
    return f;
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
    void init();
    void cleanup();
    void streamsAtTheAskedRate_data();
    void streamsAtTheAskedRate();
    void drivesTheMotor();
    void outlivesTheClient();
    void answersFirstAfterAStall();
    void configurationMenu_data();
    void configurationMenu();
    void hangsUpWhenAsked();

private:
    bool start(const QStringList &arguments);
    QString stopAndSummary();

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
}

void TestSimProcess::init()
{
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

QString TestSimProcess::stopAndSummary()
{
    m_sim.terminate();
    if (!m_sim.waitForFinished(5000) || m_sim.exitCode() != 0)
        return QString();
    return QString::fromLatin1(m_sim.readAllStandardOutput());
}

void TestSimProcess::streamsAtTheAskedRate_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<double>("expected");
    QTest::newRow("default rate") << "1000"
                                  << "921600" << 1000.0;
    QTest::newRow("capped by 921600 baud") << "100000"
                                           << "921600" << 921600 / 110.0;
    QTest::newRow("capped by 115200 baud") << "100000"
                                           << "115200" << 115200 / 110.0;
}

void TestSimProcess::streamsAtTheAskedRate()
{
    QFETCH(QString, rate);
    QFETCH(QString, baud);
    QFETCH(double, expected);
    QVERIFY(start({QStringLiteral("--rate"), rate, QStringLiteral("--baud"), baud}));
    Client client(m_link);
    QVERIFY(client.isOpen());
    QVERIFY2(client.readFor(200).isEmpty(), "feedback before display mode was asked for");
    QVERIFY(client.switchMode(toDisplayFrame));
    const Feedback f = countFeedback(client.readFor(1500));
    QCOMPARE(f.bad, 0);
    QVERIFY2(f.good > 0.8 * 1.5 * expected && f.good < 1.03 * 1.5 * expected,
             qPrintable(QStringLiteral("%1 frames in 1.5 s").arg(f.good)));
    QVERIFY(stopAndSummary().contains(QStringLiteral("feedback frames sent: ")));
    QVERIFY2(!QFileInfo::exists(m_link), "link left behind");
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
    FeedbackCodes last = countFeedback(client.readFor(50)).last;
    QVERIFY2(std::abs(fixedToFloat(last.position, -95.5f, 95.5f, 16) - 3) < 0.05,
             qPrintable(QStringLiteral("position code %1").arg(last.position)));
    client.send(special(exitFrame, 1) + special(zeroFrame, 1));
    last = countFeedback(client.readFor(50)).last;
    QVERIFY(std::abs(fixedToFloat(last.position, -95.5f, 95.5f, 16)) < 0.05);

    const QString summary = stopAndSummary();
    QVERIFY2(summary.contains(QStringLiteral("command frames received: 78\n")),
             qPrintable(summary));
    QVERIFY(summary.contains(QStringLiteral("special commands: 3\n")));
    QVERIFY(summary.contains(QStringLiteral("frames for other motors: 1\n")));
    QVERIFY(summary.contains(QStringLiteral("bad frames: 1\n")));
}

void TestSimProcess::outlivesTheClient()
{
    QVERIFY(start({QStringLiteral("--rate"), QStringLiteral("5000")}));
    for (int round = 0; round < 2; ++round) {
        Client client(m_link);
        QVERIFY(client.switchMode(toDisplayFrame) || client.switchMode(toDisplayFrame));
        QVERIFY(countFeedback(client.readFor(100)).good > 100);
    }
    // Nobody listens now; the simulator neither blocks nor quits.
    QTest::qWait(300);
    QCOMPARE(m_sim.state(), QProcess::Running);
    QVERIFY(stopAndSummary().contains(QStringLiteral("mode requests: ")));

    QVERIFY(start({QStringLiteral("--exit-on-close")}));
    {
        Client client(m_link);
        QVERIFY(client.switchMode(toDisplayFrame));
    }
    QVERIFY2(m_sim.waitForFinished(2000), "--exit-on-close did not exit");
}

void TestSimProcess::answersFirstAfterAStall()
{
    // A client that stops reading lets the terminal fill up; feedback still queued in
    // the simulator must not push in front of the next acknowledgement.
    QVERIFY(start({QStringLiteral("--rate"), QStringLiteral("100000")}));
    Client client(m_link);
    QVERIFY(client.switchMode(toDisplayFrame));
    QTest::qWait(1500);
    QVERIFY(client.switchMode(toConfigFrame));
    QVERIFY(client.readFor(100).isEmpty());
    QVERIFY(stopAndSummary().contains(QStringLiteral("feedback frames dropped: ")));
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
    Client client(m_link);
    // Starts in configuration mode; the switch back from display mode works too.
    client.send(input);
    const QByteArray first = client.readFor(200);
    QVERIFY(client.switchMode(toDisplayFrame));
    QVERIFY(client.switchMode(toConfigFrame));
    client.send(input);
    const QByteArray second = client.readFor(200);
    QVERIFY2(first.contains(reply), first.toHex().constData());
    QCOMPARE(second, first);
    if (notPowered)
        QCOMPARE(first, reply);
}

void TestSimProcess::hangsUpWhenAsked()
{
    QVERIFY(start({QStringLiteral("--hangup-after"), QStringLiteral("0.5")}));
    Client client(m_link);
    QVERIFY(client.switchMode(toDisplayFrame));
    QVERIFY2(m_sim.waitForFinished(2000), "still running after the hang-up time");
    QCOMPARE(m_sim.exitCode(), 0);
    QVERIFY(m_sim.readAllStandardOutput().contains("feedback frames sent: "));
    QVERIFY(!QFileInfo::exists(m_link));
    QVERIFY(client.hungUp());
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
