// The CAN link on Qt's virtual CAN bus, with a second device on the same interface as the
// motor: it sends the command's payload as a standard frame whose identifier is the motor ID,
// every 20 ms while running and once on request; it decodes the selected motor's replies into
// the histories; it says why an interface does not open; and a bus that goes away while
// connected gives one message and one disconnection.
#include "canlink.h"
#include "frames.h"
#include "motorstate.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QProcess>
#include <QtTest>

#include <cerrno>
#include <cstring>

namespace {
const QString bus = QStringLiteral("virtualcan");
const QString iface = QStringLiteral("can1");

QCanBusDevice *openPeer()
{
    QCanBusDevice *peer = QCanBus::instance()->createDevice(bus, iface);
    if (peer && peer->connectDevice())
        (void)QTest::qWaitFor([peer] { return peer->state() == QCanBusDevice::ConnectedState; },
                              3000);
    return peer;
}

int sampleCount()
{
    QMutexLocker lock(&stateMutex);
    return motorState.sampleCount;
}
} // namespace

class TestCanLink : public QObject
{
    Q_OBJECT
    CanLink link;

private slots:
    void initTestCase() { QVERIFY(prepareMotorState(QString())); }

    // A SocketCAN interface that is not there, or is no CAN interface, is said in the
    // system's words.
    void saysWhyItCannotOpen()
    {
        QSignalSpy status(&link, &CanLink::statusMsg), box(&link, &CanLink::msgBox),
            failed(&link, &CanLink::connectFailed);
        for (const char *name : {"korvane9", "lo"}) {
            link.setInterface(QStringLiteral("socketcan"), QLatin1String(name));
            link.connectLink();
        }
        QCOMPARE(failed.size(), 2);
        QCOMPARE(status.value(1).value(0).toString(), QStringLiteral("Open Port Failed."));
        QCOMPARE(box.value(0).value(0).toString(),
                 "Cannot open korvane9 (socketcan): " + QString::fromLocal8Bit(strerror(ENODEV)));
        // Whatever the system says: the kernel may not even know CAN sockets.
        QVERIFY(box.value(1).value(0).toString().startsWith("Cannot open lo (socketcan): "));
    }

    // The bus is served by another process; when that ends, the link says so once.
    void busGoneIsOneInterruption()
    {
        QProcess host;
        host.start(QCoreApplication::applicationFilePath(), {QStringLiteral("host")});
        QVERIFY(host.waitForReadyRead(5000));
        QSignalSpy opened(&link, &CanLink::connectSucceed), box(&link, &CanLink::msgBox),
            closed(&link, &CanLink::unConnectSucceed);
        link.setInterface(bus, iface);
        link.connectLink();
        QVERIFY(opened.wait(3000));
        link.setLoop(true);
        host.kill();
        QVERIFY(closed.wait(3000));
        QTest::qWait(100);
        QCOMPARE(box.size(), 1);
        QCOMPARE(box.at(0).at(0).toString(),
                 QStringLiteral("Connection interrupted, check your connection"));
        QCOMPARE(closed.size(), 1);
    }

    void commandsAndFeedbackCrossTheBus()
    {
        std::unique_ptr<QCanBusDevice> motor(openPeer());
        QVERIFY(motor && motor->state() == QCanBusDevice::ConnectedState);
        QSignalSpy opened(&link, &CanLink::connectSucceed), status(&link, &CanLink::statusMsg);
        link.setInterface(bus, iface);
        link.connectLink();
        QVERIFY(opened.size() == 1 || opened.wait(3000));
        link.setLoop(true);
        // Position 1, velocity 2, Kp 10, Kd 1, torque 0.5 for motor 3, packed by the rules.
        const QByteArray packed = QByteArray::fromHex("aaaf0fa1815685a0513338380301fd");
        {
            QMutexLocker lock(&stateMutex);
            memcpy(motorState.commandFrame, packed.constData(), commandFrameLength);
            motorState.sendEnabled = motorState.usePackedCommand = true;
            motorState.motorId = 1;
        }
        QTest::qWait(205);
        {
            QMutexLocker lock(&stateMutex);
            motorState.sendEnabled = false;
            prepareSpecialFrame(QStringLiteral("zero"), 5);
        }
        link.sendOnce(QStringLiteral("zero"));
        QTest::qWait(50);
        const QVector<QCanBusFrame> sent = motor->readAllFrames();
        QVERIFY2(sent.size() >= 9 && sent.size() <= 12, qPrintable(QString::number(sent.size())));
        for (int i = 0; i + 1 < sent.size(); ++i) {
            QCOMPARE(sent[i].frameId(), quint32(3));
            QCOMPARE(sent[i].payload(), QByteArray::fromHex("815685a051333838"));
        }
        QCOMPARE(sent.last().frameId(), quint32(5));
        QCOMPARE(sent.last().payload(), QByteArray::fromHex("fffffffffffffffe"));

        // Twenty-nine good replies, another motor's, and one too short.
        for (int i = 0; i < 29; ++i)
            motor->writeFrame(QCanBusFrame(0x10, QByteArray::fromHex("018000800800")));
        motor->writeFrame(QCanBusFrame(0x10, QByteArray::fromHex("028000800800")));
        motor->writeFrame(QCanBusFrame(0x10, QByteArray::fromHex("0180")));
        QTRY_COMPARE(status.size(), 1);
        QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("USB data error : 3.33%"));
        {
            QMutexLocker lock(&stateMutex);
            QCOMPARE(motorState.sampleCount, 29);
            QCOMPARE(double(motorState.velocityHistory().data()[28]), 0.010990142822265625);
        }
        // Reads rest between batches and then go on: later bursts arrive whole.
        for (int burst = 0; burst < 3; ++burst) {
            QTest::qWait(15);
            for (int i = 0; i < 7; ++i)
                motor->writeFrame(QCanBusFrame(0x10, QByteArray::fromHex("018000800800")));
        }
        QTRY_COMPARE(sampleCount(), 50);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "host") == 0) {
        // Hosts the virtual bus until it is killed.
        QCanBusDevice *peer = openPeer();
        printf("ready\n");
        fflush(stdout);
        return peer ? app.exec() : 1;
    }
    TestCanLink test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_canlink.moc"
