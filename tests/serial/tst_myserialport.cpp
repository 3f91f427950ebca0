// The serial worker, driven from another thread as the window drives it, puts exactly the
// adapter's frames on a real pseudo-terminal, accepts only the exact mode acknowledgement,
// moves received bytes into rxBuffer, and reports each failure once and in order.
#include "frames.h"
#include "motorstate.h"
#include "myserialport.h"
#include "ptypeer.h"
#include "testframes.h"
#include "threadsync.h"

#include <QThread>
#include <QtTest>

#include <cstring>

namespace {
// Queued by name, as the window's signals reach the worker.
void post(QObject *worker, const char *slot, QGenericArgument arg = QGenericArgument())
{
    QVERIFY(QMetaObject::invokeMethod(worker, slot, Qt::QueuedConnection, arg));
}

template <typename F> auto locked(F f)
{
    QMutexLocker lock(&stateMutex);
    return f(motorState);
}

const auto received = [] { return locked([](MotorState &s) { return s.rxBuffer; }); };

// Motor 37's request for motor mode.
const QByteArray enter = QByteArray::fromHex("AAAF0FA1FFFFFFFFFFFFFFFC250124");
// A frame and the start of the next.
const QByteArray feedback = workedFeedback + QByteArray::fromHex("AAAA");

void setSending(bool enabled, bool packedCommand = false)
{
    QMutexLocker lock(&stateMutex);
    std::memcpy(motorState.commandFrame, workedCommand.constData(), commandFrameLength);
    motorState.sendEnabled = enabled;
    motorState.usePackedCommand = packedCommand;
}
} // namespace

class TestMySerialPort : public QObject
{
    Q_OBJECT
    QScopedPointer<PtyPeer> m_peer;
    QThread *m_thread = nullptr;
    MySerialPort *m_worker = nullptr;
    QStringList m_events;

    // Every signal of the worker, logged in order on this thread.
    QString senderName() { return sender()->metaObject()->method(senderSignalIndex()).name(); }
    Q_INVOKABLE void record() { m_events << senderName(); }
    Q_INVOKABLE void recordText(const QString &text) { m_events << senderName() + ':' + text; }

private slots:
    // A worker moved to a thread of its own before the thread starts, as the window does it.
    void init()
    {
        m_peer.reset(new PtyPeer);
        m_worker = new MySerialPort;
        const QMetaObject &mo = MySerialPort::staticMetaObject;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            const QMetaMethod sig = mo.method(i);
            const char *slot = sig.parameterCount() ? "recordText(QString)" : "record()";
            if (sig.methodType() == QMetaMethod::Signal)
                connect(m_worker, sig, this,
                        metaObject()->method(metaObject()->indexOfMethod(slot)));
        }
        m_worker->setPortLocation(m_peer->slavePath());
        m_worker->setBaud(921600);
        m_thread = new QThread;
        // Without a context object the call is direct, on the finishing thread.
        connect(m_thread, &QThread::finished, [thread = m_thread] { threadDone(thread); });
        m_worker->moveToThread(m_thread);
        m_thread->start();
        post(m_worker, "connect");
        QTRY_COMPARE_WITH_TIMEOUT(m_events, QStringList{"connectSucceed"}, 10000);
        m_events.clear();
    }
    // The window's shutdown: close on the worker's thread, stop it, then the direct call.
    void cleanup()
    {
        QVERIFY(QMetaObject::invokeMethod(m_worker, "unConnect", Qt::BlockingQueuedConnection));
        m_thread->quit();
        QVERIFY(m_thread->wait(10000));
        threadJoined(m_thread);
        QVERIFY(m_worker->unConnect());
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        delete m_worker;
        delete m_thread;
        m_events.clear();
        setSending(false);
        locked([](MotorState &s) { s.rxBuffer.clear(); });
    }

    void openFailureReportedInOrder_data()
    {
        // "pty": a terminal of its own, opened at 0 baud, "folder": a folder.
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("message");
        const QString unknown = "Unknown error happens , Error code = %1\nMaybe BaudRate is wrong";
        // A name of its own: the port's lock file would clash with another process's.
        QTest::newRow("missing device")
            << "/dev/korvane-missing-" + QString::number(QCoreApplication::applicationPid())
            << "Device not found";
        // An empty custom rate. The error numbers are Qt 5's, whichever Qt runs.
        QTest::newRow("baud rate 0") << "pty" << unknown.arg(10);
        QTest::newRow("a folder") << "folder" << unknown.arg(11);
    }
    // Opening fails with status text, message and connectFailed in that order.
    void openFailureReportedInOrder()
    {
        QFETCH(QString, device);
        QFETCH(QString, message);
        PtyPeer pty;
        QTemporaryDir folder;
        m_worker->setPortLocation(device == "pty"      ? pty.slavePath()
                                  : device == "folder" ? folder.path()
                                                       : device);
        m_worker->setBaud(device == "pty" ? 0 : 921600);
        post(m_worker, "connect");
        const QStringList expected{"statusMsg:Open Port Failed.", "msgBox:" + message,
                                   "connectFailed"};
        QTRY_COMPARE_WITH_TIMEOUT(m_events, expected, 10000);
    }

    void modeSwitchNeedsExactAck_data()
    {
        QTest::addColumn<bool>("config");
        QTest::addColumn<QByteArray>("reply"); // good if it starts with the whole ack
        const QByteArray wrong = QByteArray::fromHex("AAAA070201005F"); // the checksum
        for (bool config : {false, true}) {
            const char *mode = config ? "config" : "display";
            QTest::addRow("%s: ack and feedback", mode) << config << modeAck + feedback;
            QTest::addRow("%s: six bytes", mode) << config << modeAck.left(6);
            QTest::addRow("%s: last byte wrong", mode) << config << wrong;
        }
    }
    // Feedback that came with a display acknowledgement is kept.
    void modeSwitchNeedsExactAck()
    {
        QFETCH(bool, config);
        QFETCH(QByteArray, reply);
        const bool good = reply.startsWith(modeAck);
        locked([](MotorState &s) { s.connectPending = true; });
        post(m_worker, config ? "changeToConfig" : "changeToDisplay");
        QCOMPARE(m_peer->readAtLeast(modeFrameLength, 5000),
                 config ? toConfigRequest : toDisplayRequest);
        m_peer->write(reply);
        const QString to = config ? "toConfig" : "toDisplay";
        QTRY_COMPARE_WITH_TIMEOUT(m_events, QStringList{to + (good ? "Secceed" : "Failed")}, 10000);
        m_events.clear();
        QCOMPARE(received(), !config && good ? reply.mid(modeFrameLength) : QByteArray());
        QCOMPARE(locked([](MotorState &s) { return s.connectPending; }), config || !good);
        // Console text, cut at its zero byte, is shown in configuration mode and after a failed
        // switch to display; a chunk starting with FF says the motor is off.
        const QString off = "Motor not powered or not connected.";
        const QStringList text{"appendConfigText:ID 37", "msgBox:" + off,
                               "appendConfigText:" + off};
        const QStringList shown = config == good ? text : QStringList();
        m_peer->write(QByteArrayLiteral("ID 37\0junk"));
        QTRY_COMPARE_WITH_TIMEOUT(m_events, shown.mid(0, 1), 10000);
        m_peer->write(QByteArray("\xff\1"));
        QTRY_COMPARE_WITH_TIMEOUT(m_events, shown, 10000);
        QTest::qWait(300);
        QCOMPARE(m_events, shown);
    }

    void writeLoopSendsEvery20ms_data()
    {
        QTest::addColumn<bool>("usePacked");
        QTest::addColumn<QByteArray>("frame"); // none: sending is disabled
        QTest::newRow("commandFrame") << true << workedCommand;
        QTest::newRow("fallbackFrame") << false << fallbackCommand;
        QTest::newRow("sending disabled") << true << QByteArray();
    }
    // One chain of write passes however often the loops are restarted.
    void writeLoopSendsEvery20ms()
    {
        QFETCH(bool, usePacked);
        QFETCH(QByteArray, frame);
        setSending(!frame.isEmpty(), usePacked);
        for (bool on : {true, false, true, true})
            m_worker->setLoop(on);
        const QByteArray wire = m_peer->readAtLeast(1 << 20, 1000);
        m_worker->setLoop(false);
        const int frames = wire.size() / commandFrameLength;
        QCOMPARE(wire, frame.repeated(frames));
        if (!frame.isEmpty())
            QVERIFY2(frames >= 10 && frames <= 60, qPrintable(QString::number(frames) + " in 1 s"));
    }

    // A one-shot frame the far end has not read yet is not discarded by the write passes that
    // follow it: a motor-mode request must not vanish because Run came quickly after it.
    void oneShotFrameSurvivesLaterWritePasses()
    {
        locked([](MotorState &) { prepareSpecialFrame(QStringLiteral("enter"), 37); });
        setSending(true, true);
        m_worker->setLoop(true);
        {
            // All three calls are queued before the worker can take the first, so both
            // write passes run while the one-shot frame still waits in the port's own
            // buffer, as they do when the worker falls a period behind.
            QMutexLocker lock(&stateMutex);
            post(m_worker, "sendOnce", Q_ARG(QString, QStringLiteral("enter")));
            post(m_worker, "writeWork");
            post(m_worker, "writeWork");
        }
        QByteArray wire = m_peer->readAtLeast(10 * commandFrameLength, 5000);
        m_worker->setLoop(false);
        wire.chop(wire.size() % commandFrameLength);
        const int at = wire.indexOf(enter);
        QVERIFY2(at >= 0 && at % commandFrameLength == 0, wire.left(60).toHex().constData());
        const QByteArray rest = QByteArray(wire).remove(at, commandFrameLength);
        QCOMPARE(rest, workedCommand.repeated(rest.size() / commandFrameLength));
    }

    // While the loops run every received byte reaches rxBuffer in order; an adapter that then
    // goes away gives one message box and a disconnection.
    void loopsRunUntilPeerHangsUp()
    {
        setSending(true);
        m_worker->setLoop(true);
        for (const QByteArray &sofar : {feedback, feedback + feedback}) {
            m_peer->write(feedback);
            QTRY_COMPARE_WITH_TIMEOUT(received(), sofar, 10000);
        }
        m_peer->hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(m_events.contains("unConnectSucceed"), 10000);
        QTest::qWait(1200);
        QCOMPARE(m_events, (QStringList{"msgBox:Connection interrupted, check your connection",
                                        "unConnectSucceed"}));
    }

    // unConnect called directly from the window thread while the loops run closes the port:
    // afterwards every slot is quiet and the device can be opened again.
    void directUnConnectClosesThePort()
    {
        m_worker->setLoop(true);
        const QDeadlineTimer soon(4000);
        QVERIFY(m_worker->unConnect());
        // The close is handed to the idle worker and confirmed at once, not waited out.
        QVERIFY(!soon.hasExpired());
        setSending(true);
        m_worker->setLoop(true);
        post(m_worker, "sendOnce", Q_ARG(QString, QStringLiteral("zero")));
        for (const char *slot : {"changeToConfig", "checkChange", "configModeReadWork"})
            post(m_worker, slot);
        QCOMPARE(m_peer->readAtLeast(1, 700), QByteArray());
        post(m_worker, "connect");
        QTRY_COMPARE_WITH_TIMEOUT(m_events, (QStringList{"unConnectSucceed", "connectSucceed"}),
                                  10000);
    }
};

QTEST_GUILESS_MAIN(TestMySerialPort)
#include "tst_myserialport.moc"
