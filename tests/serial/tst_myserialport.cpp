// The serial worker, driven from another thread as the window drives it, puts exactly
// the adapter's frames on a real pseudo-terminal, recognises only the exact mode
// acknowledgement, moves every received byte into the shared receive buffer, and
// reports each failure once, in order, without leaving a port behind.
#include "frames.h"
#include "motorstate.h"
#include "myserialport.h"

#include <QThread>
#include <QtTest>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace {
// A thread's finish and QThread::wait() synchronise inside Qt, out of the thread
// sanitizer's sight: tell it that all the thread did happens before the wait returns.
QThread *newThread()
{
    auto *thread = new QThread;
#if defined(__SANITIZE_THREAD__)
    QObject::connect(
        thread, &QThread::finished, thread, [thread] { __tsan_release(thread); },
        Qt::DirectConnection);
#endif
    return thread;
}

bool stopThread(QThread *thread)
{
    thread->quit();
    const bool stopped = thread->wait(10000);
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(thread);
#endif
    return stopped;
}

// Queued by name, as the window's signals reach the worker.
void post(QObject *worker, const char *slot, QGenericArgument arg = QGenericArgument())
{
    QVERIFY(QMetaObject::invokeMethod(worker, slot, Qt::QueuedConnection, arg));
}

const QByteArray ack = QByteArray::fromHex("AAAA070201005E");
const QByteArray packed = QByteArray::fromHex("AAAF0FA1815685A0513338380301FD");
const QByteArray fallback = QByteArray::fromHex("AAAF0FA1000000000000000001010B");
const QString notPowered = QStringLiteral("Motor not powered or not connected.");
} // namespace

class TestMySerialPort : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void openFailureReportedInOrder_data();
    void openFailureReportedInOrder();
    void modeSwitchNeedsExactAck_data();
    void modeSwitchNeedsExactAck();
    void writeLoopSendsEvery20ms_data();
    void writeLoopSendsEvery20ms();
    void sendOnceWritesPreparedFrame_data();
    void sendOnceWritesPreparedFrame();
    void configTextBothWays_data();
    void configTextBothWays();
    void receivedBytesReachRxBuffer();
    void peerHangupGivesOneMessage();
    void directUnConnectFromAnotherThread();
    void slotsWithoutPortDoNothing();

private:
    QByteArray senderSignal() const
    {
        return sender()->metaObject()->method(senderSignalIndex()).name();
    }
    MySerialPort *startWorker(QThread **thread, const QString &location, int baud = 921600);
    void stopWorker(QThread **thread, MySerialPort **worker);
    QByteArray readAdapter(int bytes, int timeoutMs);
    void writeAdapter(const QByteArray &bytes);
    void enterConfigMode();
    void setSending(bool enabled, bool packedCommand = false);

    int m_master = -1;
    QString m_slavePath;
    QThread *m_thread = nullptr;
    MySerialPort *m_worker = nullptr;
    QThread *m_otherThread = nullptr;
    MySerialPort *m_other = nullptr;
    QStringList m_events;
};

// A worker in a thread of its own, set up and moved before the thread starts as the
// window does it, with every report logged in order on the test's thread.
MySerialPort *TestMySerialPort::startWorker(QThread **thread, const QString &location, int baud)
{
    auto *w = new MySerialPort;
    auto log = [this](const char *name) { return [this, name] { m_events << name; }; };
    auto logText = [this](const char *name) {
        return [this, name](const QString &t) { m_events << QLatin1String(name) + ':' + t; };
    };
    QObject::connect(w, &MySerialPort::connectFailed, this, log("connectFailed"));
    QObject::connect(w, &MySerialPort::connectSucceed, this, log("connectSucceed"));
    QObject::connect(w, &MySerialPort::unConnectSucceed, this, log("unConnectSucceed"));
    QObject::connect(w, &MySerialPort::toDisplaySecceed, this, log("toDisplaySecceed"));
    QObject::connect(w, &MySerialPort::toDisplayFailed, this, log("toDisplayFailed"));
    QObject::connect(w, &MySerialPort::toConfigSecceed, this, log("toConfigSecceed"));
    QObject::connect(w, &MySerialPort::toConfigFailed, this, log("toConfigFailed"));
    QObject::connect(w, &MySerialPort::statusMsg, this, logText("statusMsg"));
    QObject::connect(w, &MySerialPort::msgBox, this, logText("msgBox"));
    QObject::connect(w, &MySerialPort::appendConfigText, this, logText("appendConfigText"));
    w->setPortLocation(location);
    w->setBaud(baud);
    *thread = newThread();
    w->moveToThread(*thread);
    (*thread)->start();
    post(w, "connect");
    return w;
}

// The window's shutdown: close the port on its own thread, stop the thread, then the
// direct call that only reports.
void TestMySerialPort::stopWorker(QThread **thread, MySerialPort **worker)
{
    if (!*worker)
        return;
    QVERIFY(QMetaObject::invokeMethod(*worker, "unConnect", Qt::BlockingQueuedConnection));
    QVERIFY(stopThread(*thread));
    QVERIFY((*worker)->unConnect());
    delete *worker;
    delete *thread;
    *worker = nullptr;
    *thread = nullptr;
}

void TestMySerialPort::init()
{
    int slave = -1;
    char name[128] = {};
    QVERIFY(openpty(&m_master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    termios raw;
    QCOMPARE(tcgetattr(m_master, &raw), 0);
    cfmakeraw(&raw);
    QCOMPARE(tcsetattr(m_master, TCSANOW, &raw), 0);
    m_slavePath = QString::fromLatin1(name);
    m_worker = startWorker(&m_thread, m_slavePath);
    QTRY_VERIFY_WITH_TIMEOUT(!m_events.isEmpty(), 10000);
    QCOMPARE(m_events, QStringList{"connectSucceed"});
    m_events.clear();
}

void TestMySerialPort::cleanup()
{
    stopWorker(&m_otherThread, &m_other);
    stopWorker(&m_thread, &m_worker);
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
    QCoreApplication::processEvents();
    m_events.clear();
    setSending(false);
    QMutexLocker lock(&stateMutex);
    motorState.rxBuffer.clear();
}

QByteArray TestMySerialPort::readAdapter(int bytes, int timeoutMs)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (got.size() < bytes && !deadline.hasExpired()) {
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            break; // the worker closed its end
        got.append(buf, int(n));
    }
    return got;
}

void TestMySerialPort::writeAdapter(const QByteArray &bytes)
{
    QCOMPARE(::write(m_master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
}

void TestMySerialPort::setSending(bool enabled, bool packedCommand)
{
    QMutexLocker lock(&stateMutex);
    std::memcpy(motorState.commandFrame, packed.constData(), commandFrameLength);
    motorState.sendEnabled = enabled;
    motorState.usePackedCommand = packedCommand;
}

void TestMySerialPort::enterConfigMode()
{
    post(m_worker, "changeToConfig");
    QCOMPARE(readAdapter(modeFrameLength, 5000), frameBytes(toConfigFrame, modeFrameLength));
    writeAdapter(ack);
    QTRY_COMPARE_WITH_TIMEOUT(m_events, QStringList{"toConfigSecceed"}, 10000);
    m_events.clear();
}

void TestMySerialPort::openFailureReportedInOrder_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing device") << "missing" << 921600 << "Device not found";
    QTest::newRow("device held by another worker")
        << "held" << 921600 << "Device has been opened by another process or No permission";
    QTest::newRow("invalid baud rate")
        << "free" << 0 << "Unknown error happens , Error code = 10\nMaybe BaudRate is wrong";
}

// Opening fails with status text, message and connectFailed in that order.
void TestMySerialPort::openFailureReportedInOrder()
{
    QFETCH(QString, device);
    QFETCH(int, baud);
    QFETCH(QString, message);
    if (device == QLatin1String("free")) {
        QVERIFY(QMetaObject::invokeMethod(m_worker, "unConnect", Qt::BlockingQueuedConnection));
        QTRY_COMPARE_WITH_TIMEOUT(m_events, QStringList{"unConnectSucceed"}, 10000);
        m_events.clear();
    }
    // A name of its own: the port's lock file would clash with another process's.
    const QString missing = "/dev/korvane-missing-" + QString::number(getpid());
    const QString location = device == QLatin1String("missing") ? missing : m_slavePath;
    m_other = startWorker(&m_otherThread, location, baud);
    const QStringList expected{"statusMsg:Open Port Failed.", "msgBox:" + message, "connectFailed"};
    QTRY_COMPARE_WITH_TIMEOUT(m_events, expected, 10000);
}

void TestMySerialPort::modeSwitchNeedsExactAck_data()
{
    QTest::addColumn<bool>("config");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("good");
    QByteArray wrong = ack;
    wrong[4] = 0x00;
    const QByteArray trailing = ack + QByteArray::fromHex("AAAA0B0180008008000068");
    for (bool config : {false, true}) {
        const char *mode = config ? "config" : "display";
        QTest::addRow("%s: exact ack", mode) << config << ack << true;
        QTest::addRow("%s: ack and more", mode) << config << trailing << true;
        QTest::addRow("%s: six bytes", mode) << config << ack.left(6) << false;
        QTest::addRow("%s: one byte wrong", mode) << config << wrong << false;
        QTest::addRow("%s: silence", mode) << config << QByteArray() << false;
    }
}

// A switch succeeds only on the exact acknowledgement; afterwards configuration text
// flows to the console in configuration mode and after a failed switch to display.
void TestMySerialPort::modeSwitchNeedsExactAck()
{
    QFETCH(bool, config);
    QFETCH(QByteArray, reply);
    QFETCH(bool, good);
    {
        QMutexLocker lock(&stateMutex);
        motorState.connectPending = true;
    }
    post(m_worker, config ? "changeToConfig" : "changeToDisplay");
    const quint8 *request = config ? toConfigFrame : toDisplayFrame;
    QCOMPARE(readAdapter(modeFrameLength, 5000), frameBytes(request, modeFrameLength));
    if (!reply.isEmpty())
        writeAdapter(reply);
    const char *outcome = config ? (good ? "toConfigSecceed" : "toConfigFailed")
                                 : (good ? "toDisplaySecceed" : "toDisplayFailed");
    QTRY_COMPARE_WITH_TIMEOUT(m_events, QStringList{outcome}, 10000);
    {
        QMutexLocker lock(&stateMutex);
        QCOMPARE(motorState.connectPending, config || !good);
    }
    m_events.clear();
    writeAdapter(QByteArrayLiteral("menu\0"));
    if (config == good)
        QTRY_COMPARE_WITH_TIMEOUT(m_events, QStringList{"appendConfigText:menu"}, 10000);
    QTest::qWait(300);
    QCOMPARE(m_events, config == good ? QStringList{"appendConfigText:menu"} : QStringList{});
}

void TestMySerialPort::writeLoopSendsEvery20ms_data()
{
    QTest::addColumn<bool>("sendEnabled");
    QTest::addColumn<bool>("usePacked");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("packed command") << true << true << packed;
    QTest::newRow("fallback frame") << true << false << fallback;
    QTest::newRow("sending disabled") << false << true << QByteArray();
}

// While sending is enabled each write pass puts one whole frame on the line, one
// chain of passes however often the loops are restarted; otherwise nothing is sent.
void TestMySerialPort::writeLoopSendsEvery20ms()
{
    QFETCH(bool, sendEnabled);
    QFETCH(bool, usePacked);
    QFETCH(QByteArray, frame);
    setSending(sendEnabled, usePacked);
    m_worker->setLoop(true);
    m_worker->setLoop(false);
    m_worker->setLoop(true);
    m_worker->setLoop(true);
    const QByteArray wire = readAdapter(1 << 20, 1000);
    m_worker->setLoop(false);
    if (frame.isEmpty()) {
        QVERIFY2(wire.isEmpty(), wire.toHex(' ').constData());
        return;
    }
    QCOMPARE(wire.size() % commandFrameLength, 0);
    const int frames = wire.size() / commandFrameLength;
    QVERIFY2(frames >= 10 && frames <= 60, qPrintable(QString::number(frames) + " frames in 1 s"));
    QCOMPARE(wire, frame.repeated(frames));
}

void TestMySerialPort::sendOnceWritesPreparedFrame_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("command") << QString() << packed;
    QTest::newRow("enter") << "enter" << QByteArray::fromHex("AAAF0FA1FFFFFFFFFFFFFFFC250124");
    QTest::newRow("exit") << "exit" << QByteArray::fromHex("AAAF0FA1FFFFFFFFFFFFFFFD250125");
    QTest::newRow("zero") << "zero" << QByteArray::fromHex("AAAF0FA1FFFFFFFFFFFFFFFE250126");
    QTest::newRow("Zero is no word") << "Zero" << QByteArray();
}

// sendOnce writes exactly the frame prepared for motor 37, or nothing for unknown words.
void TestMySerialPort::sendOnceWritesPreparedFrame()
{
    QFETCH(QString, word);
    QFETCH(QByteArray, frame);
    setSending(false);
    {
        QMutexLocker lock(&stateMutex);
        prepareSpecialFrame(word, 37);
    }
    post(m_worker, "sendOnce", Q_ARG(QString, word));
    QCOMPARE(readAdapter(frame.isEmpty() ? 1 : frame.size(), frame.isEmpty() ? 300 : 5000), frame);
}

void TestMySerialPort::configTextBothWays_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("motor not powered")
        << QByteArray::fromHex("FF0102")
        << QStringList{"msgBox:" + notPowered, "appendConfigText:" + notPowered};
    QTest::newRow("text to the first zero byte")
        << QByteArrayLiteral("\r\n  Motor   ID:\t37 \r\n\0junk")
        << QStringList{"appendConfigText:Motor ID: 37"};
}

// In configuration mode console text goes out as its Latin-1 bytes, nothing added, and
// each chunk from the firmware reaches the console once.
void TestMySerialPort::configTextBothWays()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QStringList, events);
    enterConfigMode();
    post(m_worker, "sendConfigText", Q_ARG(QString, QStringLiteral(" ver \u00e9\x1b")));
    QCOMPARE(readAdapter(7, 5000), QByteArray(" ver \xe9\x1b"));
    QCOMPARE(readAdapter(1, 200), QByteArray());
    writeAdapter(chunk);
    QTRY_COMPARE_WITH_TIMEOUT(m_events, events, 10000);
}

// Every byte the adapter sends is appended to rxBuffer in order.
void TestMySerialPort::receivedBytesReachRxBuffer()
{
    m_worker->setLoop(true);
    const QByteArray first = QByteArray::fromHex("AAAA0B0180008008000068AAAA");
    const QByteArray second = QByteArray::fromHex("0B01800080080000680000");
    writeAdapter(first);
    auto received = [] {
        QMutexLocker lock(&stateMutex);
        return motorState.rxBuffer;
    };
    QTRY_COMPARE_WITH_TIMEOUT(received(), first, 10000);
    writeAdapter(second);
    QTRY_COMPARE_WITH_TIMEOUT(received(), first + second, 10000);
}

// An adapter that goes away while the loops run gives one message box and a disconnection.
void TestMySerialPort::peerHangupGivesOneMessage()
{
    setSending(true);
    m_worker->setLoop(true);
    QVERIFY(!readAdapter(commandFrameLength, 5000).isEmpty());
    ::close(m_master);
    m_master = -1;
    QTRY_VERIFY_WITH_TIMEOUT(m_events.contains("unConnectSucceed"), 10000);
    QTest::qWait(1200);
    QCOMPARE(m_events.size(), 2);
    QCOMPARE(m_events.last(), QStringLiteral("unConnectSucceed"));
    const QStringList fatal{"msgBox:Read error happened, reconnect may solve it",
                            "msgBox:Write error happened, reconnect may solve it",
                            "msgBox:Connection interrupted, check your connection"};
    QVERIFY2(fatal.contains(m_events.first()), qPrintable(m_events.first()));
}

// unConnect called directly from another thread closes the port on the worker's thread.
void TestMySerialPort::directUnConnectFromAnotherThread()
{
    m_worker->setLoop(true);
    QVERIFY(m_worker->unConnect());
    QCOMPARE(m_events, QStringList{"unConnectSucceed"});
    pollfd p{m_master, POLLIN, 0};
    QCOMPARE(poll(&p, 1, 5000), 1);
    QVERIFY(p.revents & POLLHUP);
}

// Without a port every slot returns quietly.
void TestMySerialPort::slotsWithoutPortDoNothing()
{
    QVERIFY(QMetaObject::invokeMethod(m_worker, "unConnect", Qt::BlockingQueuedConnection));
    setSending(true);
    m_worker->setLoop(true);
    post(m_worker, "sendOnce", Q_ARG(QString, QString()));
    post(m_worker, "sendOnce", Q_ARG(QString, QStringLiteral("zero")));
    post(m_worker, "sendConfigText", Q_ARG(QString, QStringLiteral("x")));
    for (const char *slot :
         {"changeToDisplay", "changeToConfig", "checkChange", "configModeReadWork"})
        post(m_worker, slot);
    QTest::qWait(700);
    m_worker->setLoop(false);
    QCOMPARE(m_events, QStringList{"unConnectSucceed"});
}

QTEST_GUILESS_MAIN(TestMySerialPort)
#include "tst_myserialport.moc"
