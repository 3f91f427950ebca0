#include "myserialport.h"

#include "frames.h"
#include "motorstate.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <cstring>
#include <utility>

#ifdef KORVANE_LINUX
#include <unistd.h>
#endif

namespace {
// Received bytes are taken on the command tick, every 20 ms: about 1,840 bytes at 921600
// baud, well inside what the system buffers. One wake-up serves both; the plots and labels
// refresh every 100 ms, so reading more often would only add wake-ups. Each read's time
// still dates its bytes (less their line time), so the samples' times do not depend on
// the period.
constexpr int errorCheckPeriodMs = 500;
constexpr int modeReplyWaitMs = 500;
constexpr int modeDisplay = 0;
constexpr int modeConfig = 1;

// The error's number as Qt 5 counts: Qt 6 dropped three line errors from the middle of
// the list, and the messages show the same numbers with either.
int errorNumber(QSerialPort::SerialPortError code)
{
    switch (code) {
    case QSerialPort::WriteError:
        return 7;
    case QSerialPort::ReadError:
        return 8;
    case QSerialPort::ResourceError:
        return 9;
    case QSerialPort::UnsupportedOperationError:
        return 10;
    case QSerialPort::UnknownError:
        return 11;
    case QSerialPort::TimeoutError:
        return 12;
    case QSerialPort::NotOpenError:
        return 13;
    default:
        return int(code);
    }
}

QTimer *makeSingleShot(QObject *owner, int ms, Qt::TimerType type)
{
    auto *timer = new QTimer(owner);
    timer->setSingleShot(true);
    timer->setInterval(ms);
    timer->setTimerType(type);
    return timer;
}
} // namespace

MySerialPort::MySerialPort(QObject *parent)
    : QSerialPort(parent),
      m_writeTimer(makeSingleShot(this, WriteGrid::periodMs, Qt::PreciseTimer)),
      m_errorTimer(makeSingleShot(this, errorCheckPeriodMs, Qt::CoarseTimer)),
      m_modeTimer(makeSingleShot(this, modeReplyWaitMs, Qt::CoarseTimer))
{
    std::memcpy(fallbackFrame, fallbackFrameBytes, sizeof fallbackFrame);
    QObject::connect(m_writeTimer, &QTimer::timeout, this, &MySerialPort::writeWork);
    QObject::connect(m_errorTimer, &QTimer::timeout, this, &MySerialPort::checkIOError);
    QObject::connect(m_modeTimer, &QTimer::timeout, this, &MySerialPort::checkChange);
}

MySerialPort::~MySerialPort()
{
    delete port;
}

void MySerialPort::setPortLocation(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_settingsLock);
    portInfo = QSerialPortInfo();
    m_portLocation = path;
}

void MySerialPort::setInfo(const QSerialPortInfo &info)
{
    std::lock_guard<std::mutex> lock(m_settingsLock);
    portInfo = info;
    m_portLocation = info.systemLocation();
}

void MySerialPort::setBaud(int baud)
{
    std::lock_guard<std::mutex> lock(m_settingsLock);
    baudRate = baud;
}

bool MySerialPort::portOpen() const
{
    return port && port->isOpen();
}

bool MySerialPort::connect()
{
    // A second connect replaces the open connection instead of leaking it.
    closePort();

    QString location;
    qint32 baud;
    {
        std::lock_guard<std::mutex> lock(m_settingsLock);
        location = m_portLocation;
        baud = baudRate;
    }
    auto *opened = new QSerialPort;
    // setup before opening
    opened->setPortName(location);
    opened->setBaudRate(baud, QSerialPort::AllDirections);
    opened->setDataBits(QSerialPort::Data8);
    opened->setParity(QSerialPort::NoParity);
    opened->setStopBits(QSerialPort::OneStop);
    opened->setFlowControl(QSerialPort::NoFlowControl);

    if (opened->open(QIODevice::ReadWrite)) {
        opened->clear(QSerialPort::AllDirections);
        m_readErrorSeen = false;
        {
            std::lock_guard<std::mutex> lock(m_portLock);
            port = opened;
        }
        {
            // The decoder takes the bytes' line time from it.
            QMutexLocker lock(&stateMutex);
            motorState.lineBaud = baud;
        }
        emit connectSucceed();
        return true;
    }

    const QSerialPort::SerialPortError code = opened->error();
    delete opened;
    QString message;
    switch (code) {
    case QSerialPort::DeviceNotFoundError:
        message = QStringLiteral("Device not found");
        break;
    case QSerialPort::PermissionError:
        message = QStringLiteral("Device has been opened by another process or No permission");
        break;
    case QSerialPort::OpenError:
        message = QStringLiteral("Device has been opened");
        break;
    default:
        message = QStringLiteral("Unknown error happens , Error code = %1\nMaybe BaudRate is wrong")
                      .arg(errorNumber(code));
        break;
    }
    emit statusMsg(QStringLiteral("Open Port Failed."));
    emit msgBox(message);
    emit connectFailed();
    return false;
}

bool MySerialPort::unConnect()
{
    loopRunning = false;
    QThread *own = thread();
    // The port and its notifiers belong to the worker's thread: close it there while
    // that thread still runs its event loop, here once it has stopped.
    if (own && own != QThread::currentThread() && own->isRunning())
        closePortOnWorkerThread();
    else
        closePort();
    emit unConnectSucceed();
    return true;
}

void MySerialPort::closePort()
{
    if (QThread::currentThread() == thread()) {
        m_modeTimer->stop();
        // Only when the loops are off: a connect that replaces its port keeps them.
        if (!loopRunning) {
            m_writeTimer->stop();
            m_errorTimer->stop();
        }
    }
    QSerialPort *old;
    {
        std::lock_guard<std::mutex> lock(m_portLock);
        old = port;
        port = nullptr;
    }
    if (!old)
        return;
    if (old->isOpen())
        old->close();
    delete old;
}

void MySerialPort::closePortForCaller()
{
    closePort();
    {
        std::lock_guard<std::mutex> lock(m_portLock);
        ++m_closesDone;
    }
    m_portClosed.notify_all();
}

void MySerialPort::closePortOnWorkerThread()
{
    std::unique_lock<std::mutex> lock(m_portLock);
    const quint64 ticket = ++m_closeRequests;
    lock.unlock();
    QMetaObject::invokeMethod(this, "closePortForCaller", Qt::QueuedConnection);
    lock.lock();
    QDeadlineTimer deadline(5000);
    while (m_closesDone < ticket) {
        if (m_portClosed.wait_for(lock, std::chrono::milliseconds(10)) != std::cv_status::timeout)
            continue;
        // The thread left its loop before handling the request: nothing else can
        // touch the port any more.
        if (!thread()->isRunning()) {
            lock.unlock();
            closePort();
            return;
        }
        // A thread that stays busy keeps its port rather than have two threads use it.
        if (deadline.hasExpired())
            return;
    }
}

void MySerialPort::setLoop(bool on)
{
    const bool wasRunning = loopRunning.exchange(on);
    if (!on || wasRunning)
        return;
    if (QThread::currentThread() == thread())
        startLoopTimers();
    else
        QMetaObject::invokeMethod(this, "startLoopTimers", Qt::QueuedConnection);
}

void MySerialPort::startLoopTimers()
{
    // Restarting (rather than adding) the timers keeps one chain per loop even after
    // a quick setLoop(false), setLoop(true).
    m_writeGrid.restart();
    m_writeTimer->start();
    m_errorTimer->start();
}

void MySerialPort::readWork()
{
    if (!loopRunning || !portOpen())
        return;
    const QByteArray bytes = takeInput();
    if (!bytes.isEmpty()) {
        const qint64 now = monotonicNanoseconds();
        QMutexLocker lock(&stateMutex);
        appendReceived(motorState, bytes.constData(), bytes.size(), now);
    }
}

QByteArray MySerialPort::takeInput()
{
    // What the port has buffered came off the line before anything the system still
    // holds. Reading it re-arms the port's notifier.
    QByteArray bytes = port->readAll();
#ifdef KORVANE_LINUX
    const int fd = int(port->handle());
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        // Nothing more for now, or a fault, which the port's notifier reports when it
        // reads next.
        if (n <= 0)
            break;
        bytes.append(chunk, int(n));
    }
#endif
    return bytes;
}

void MySerialPort::writeWork()
{
    readWork();
    QByteArray frame;
    {
        QMutexLocker lock(&stateMutex);
        if (loopRunning && motorState.sendEnabled) {
            const quint8 *source =
                motorState.usePackedCommand ? motorState.commandFrame : fallbackFrame;
            frame = frameBytes(source, commandFrameLength);
        }
    }
    if (!frame.isEmpty() && portOpen()) {
        // A periodic frame the line has not carried yet is dropped in favour of the new
        // one; a one-shot frame still waiting in the port's buffer is not, however many
        // passes come before the port writes it out.
        if (m_oneShotQueued && port->bytesToWrite() == 0)
            m_oneShotQueued = false;
        if (!m_oneShotQueued)
            port->clear(QSerialPort::Output);
        port->write(frame);
    }
    if (loopRunning)
        m_writeTimer->start(m_writeGrid.nextDelayMs());
}

void MySerialPort::checkIOError()
{
    if (!loopRunning)
        return;
    if (!port) {
        m_errorTimer->start();
        return;
    }
    const QSerialPort::SerialPortError code = port->error();
    // A flush between the poll that saw input and the read that follows leaves the read
    // empty, which the port library reports as a read error although the line is fine. It
    // takes the reason from errno, which the empty read did not set, so now and then the
    // same read is reported as a lost resource instead. A real fault keeps failing every
    // read, so only such an error seen again at the next check, after this one was
    // cleared, counts.
    const bool readFault = code == QSerialPort::ReadError || code == QSerialPort::ResourceError;
    const bool readFaultAgain = std::exchange(m_readErrorSeen, readFault);
    if (readFault && !readFaultAgain) {
        port->clearError();
        m_errorTimer->start();
        return;
    }
    QString message;
    switch (code) {
    case QSerialPort::NoError:
        m_errorTimer->start();
        return;
    case QSerialPort::WriteError:
        message = QStringLiteral("Write error happened, reconnect may solve it");
        break;
    case QSerialPort::ReadError:
        message = QStringLiteral("Read error happened, reconnect may solve it");
        break;
    case QSerialPort::ResourceError:
        message = QStringLiteral("Connection interrupted, check your connection");
        break;
    case QSerialPort::UnknownError:
        message = QStringLiteral("Unknown error happened, error code = %1").arg(errorNumber(code));
        break;
    default:
        // Line errors (framing, parity, timeout ...) are not fatal; forget them so a
        // later unplug is still noticed.
        port->clearError();
        m_errorTimer->start();
        return;
    }
    emit msgBox(message);
    unConnect();
}

void MySerialPort::sendOnce(const QString &word)
{
    QByteArray frame;
    if (word.isEmpty()) {
        QMutexLocker lock(&stateMutex);
        frame = frameBytes(motorState.commandFrame, commandFrameLength);
    } else if (specialFrameFor(word)) {
        // Taken even without a port, so a stale prepared copy is never sent later.
        QMutexLocker lock(&stateMutex);
        frame = takeSpecialFrame(word);
    }
    if (!frame.isEmpty() && portOpen()) {
        port->write(frame);
        m_oneShotQueued = true;
    }
}

void MySerialPort::sendConfigText(const QString &text)
{
    if (portOpen())
        port->write(text.toLatin1());
}

void MySerialPort::changeToDisplay()
{
    requestMode(modeDisplay, toDisplayFrame);
}

void MySerialPort::changeToConfig()
{
    requestMode(modeConfig, toConfigFrame);
}

void MySerialPort::requestMode(int mode, const quint8 *frame)
{
    if (!portOpen())
        return;
    requestedMode = mode;
    loopRunning = false;
    port->clear(QSerialPort::AllDirections);
    m_oneShotQueued = false;
    // The acknowledgement must reach checkChange, not the console, and whatever the
    // adapter streams behind it is buffered until then.
    setConfigTextHandling(false);
    setStreaming(false);
    port->write(frameBytes(frame, modeFrameLength));
    m_modeTimer->start();
}

void MySerialPort::setConfigTextHandling(bool on)
{
    if (on)
        QObject::connect(port, &QIODevice::readyRead, this, &MySerialPort::configModeReadWork,
                         Qt::UniqueConnection);
    else
        QObject::disconnect(port, &QIODevice::readyRead, this, &MySerialPort::configModeReadWork);
}

void MySerialPort::setStreaming(bool on)
{
#ifdef KORVANE_LINUX
    // While the adapter streams, the port's own read notifier takes one byte and then
    // pauses until the next read (see takeInput) instead of waking this thread at every
    // arrival, and it still notices a hang-up. Otherwise it buffers all that arrives.
    port->setReadBufferSize(on ? 1 : 0);
#else
    Q_UNUSED(on);
#endif
}

void MySerialPort::checkChange()
{
    if (!portOpen())
        return;
    const QByteArray reply = takeInput();
    const qint64 readNs = monotonicNanoseconds();
    const bool good = isModeAck(reply);
    if (requestedMode == modeConfig) {
        if (good) {
            setConfigTextHandling(true);
            emit toConfigSecceed();
        } else {
            emit toConfigFailed();
        }
    } else if (requestedMode == modeDisplay) {
        if (good) {
            {
                QMutexLocker lock(&stateMutex);
                motorState.connectPending = false;
                // The adapter starts streaming right after its acknowledgement; what came
                // with it in this read is feedback and must not be lost.
                appendReceived(motorState, reply.constData() + modeFrameLength,
                               reply.size() - modeFrameLength, readNs);
            }
            setStreaming(true);
            emit toDisplaySecceed();
        } else {
            setConfigTextHandling(true);
            port->clear(QSerialPort::AllDirections);
            emit toDisplayFailed();
        }
    }
}

void MySerialPort::configModeReadWork()
{
    if (!portOpen())
        return;
    const QByteArray chunk = takeInput();
    if (isNotPoweredChunk(chunk)) {
        const QString text = QStringLiteral("Motor not powered or not connected.");
        emit msgBox(text);
        emit appendConfigText(text);
        return;
    }
    emit appendConfigText(configTextFromChunk(chunk));
}

bool MySerialPort::dataEqual(QByteArray *data, char *bytes, int n)
{
    if (!data || data->size() < n)
        return false;
    if (n < 1)
        return true;
    return bytes && std::memcmp(data->constData(), bytes, size_t(n)) == 0;
}
