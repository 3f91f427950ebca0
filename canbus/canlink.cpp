#include "canlink.h"

#include "frames.h"
#include "motorstate.h"
#include "packunit.h"

#include <QCanBus>
#include <QCanBusFrame>
#include <QFile>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {
const QString socketCan = QStringLiteral("socketcan");

// How long the device's read notifiers rest after a batch of replies is taken. A SocketCAN
// socket's receive buffer holds a few hundred frames, some 30 ms of a full 1 Mbit/s bus, so
// nothing is lost if the thread is late; a plugin that stamps no times dates a batch's
// frames alike, so the pause is kept well below what a plot can show.
constexpr int readPauseMs = 5;

// Whether a SocketCAN interface is there and up; if not, the system's reason. A raw CAN
// socket binds to an interface that is down without complaint, and every write then fails.
bool interfaceUp(const QString &name, QString *why)
{
#ifdef Q_OS_LINUX
    QFile flags(QStringLiteral("/sys/class/net/%1/flags").arg(name));
    if (!flags.open(QIODevice::ReadOnly)) {
        *why = QString::fromLocal8Bit(std::strerror(ENODEV));
        return false;
    }
    const uint value = flags.readAll().trimmed().toUInt(nullptr, 16);
    // IFF_UP
    if ((value & 0x1) == 0) {
        *why = QString::fromLocal8Bit(std::strerror(ENETDOWN));
        return false;
    }
#else
    Q_UNUSED(name)
    Q_UNUSED(why)
#endif
    return true;
}

// The frame's receive time in microseconds, or 0 when the plugin gave none.
qint64 stampMicroseconds(const QCanBusFrame &frame)
{
    const QCanBusFrame::TimeStamp stamp = frame.timeStamp();
    return qint64(stamp.seconds()) * 1000000 + qint64(stamp.microSeconds());
}
} // namespace

CanLink::CanLink(QObject *parent)
    : QObject(parent), m_writeTimer(new QTimer(this)), m_readPause(new QTimer(this)),
      m_rate(PackUnit::errorRatePrefix())
{
    m_readPause->setSingleShot(true);
    m_readPause->setInterval(readPauseMs);
    connect(m_readPause, &QTimer::timeout, this, &CanLink::resumeReads);
    m_writeTimer->setSingleShot(true);
    m_writeTimer->setTimerType(Qt::PreciseTimer);
    connect(m_writeTimer, &QTimer::timeout, this, &CanLink::writeWork);
}

CanLink::~CanLink()
{
    delete m_device;
}

void CanLink::setInterface(const QString &plugin, const QString &name)
{
    std::lock_guard<std::mutex> lock(m_settingsLock);
    m_plugin = plugin;
    m_name = name;
}

void CanLink::connectLink()
{
    closeDevice();
    QString plugin, name;
    {
        std::lock_guard<std::mutex> lock(m_settingsLock);
        plugin = m_plugin;
        name = m_name;
    }
    m_label = QStringLiteral("%1 (%2)").arg(name, plugin);
    m_opening = true;
    QString why;
    if (plugin == socketCan && !interfaceUp(name, &why)) {
        failOpen(why);
        return;
    }
    m_device = QCanBus::instance()->createDevice(plugin, name, &why);
    if (!m_device) {
        failOpen(why.isEmpty() ? QStringLiteral("no such CAN plugin") : why);
        return;
    }
    // Error frames (bus-off among them) count in the error rate; only SocketCAN has
    // the setting.
    if (plugin == socketCan)
        m_device->setConfigurationParameter(
            QCanBusDevice::ErrorFilterKey,
            QVariant::fromValue(QCanBusFrame::FrameErrors(QCanBusFrame::AnyError)));
    connect(m_device, &QCanBusDevice::framesReceived, this, &CanLink::framesArrived);
    connect(m_device, &QCanBusDevice::stateChanged, this, &CanLink::stateChanged);
    connect(m_device, &QCanBusDevice::errorOccurred, this, &CanLink::deviceError);
    // Some plugins connect at once, others later through stateChanged. A refusal is also
    // told through stateChanged, which lets the device go before connectDevice returns.
    QCanBusDevice *device = m_device;
    if (!device->connectDevice())
        failOpen(device->errorString());
    else if (m_device && m_device->state() == QCanBusDevice::ConnectedState)
        opened();
}

void CanLink::opened()
{
    if (!std::exchange(m_opening, false))
        return;
    m_oneShotQueued = false;
    {
        QMutexLocker lock(&stateMutex);
        // No mode to switch: display mode holds from now, and frames carry no line time.
        motorState.connectPending = false;
        motorState.lineBaud = 0;
    }
    emit connectSucceed();
}

void CanLink::failOpen(const QString &reason)
{
    if (!std::exchange(m_opening, false))
        return;
    closeDevice();
    emit statusMsg(QStringLiteral("Open Port Failed."));
    emit msgBox(QStringLiteral("Cannot open %1: %2").arg(m_label, reason));
    emit connectFailed();
}

void CanLink::stateChanged(QCanBusDevice::CanBusDeviceState state)
{
    if (state == QCanBusDevice::ConnectedState)
        opened();
    else if (state == QCanBusDevice::UnconnectedState && m_opening)
        failOpen(m_device->errorString());
    else if (state == QCanBusDevice::UnconnectedState)
        interrupted();
}

void CanLink::deviceError(QCanBusDevice::CanBusError error)
{
    if (m_opening || !m_device)
        return;
    switch (error) {
    case QCanBusDevice::ReadError:
    case QCanBusDevice::ConnectionError:
        // An interface that is down or gone fails every read.
        interrupted();
        break;
    case QCanBusDevice::WriteError:
        // Bus-off, or a full queue: the frame is lost.
        report(1, 1);
        break;
    default:
        break;
    }
}

void CanLink::interrupted()
{
    if (!m_device)
        return;
    closeDevice();
    emit msgBox(QStringLiteral("Connection interrupted, check your connection"));
    unConnect();
}

void CanLink::unConnect()
{
    loopRunning = false;
    m_opening = false;
    if (QThread::currentThread() == thread())
        m_writeTimer->stop();
    closeDevice();
    emit unConnectSucceed();
}

void CanLink::closeDevice()
{
    QCanBusDevice *device = std::exchange(m_device, nullptr);
    if (!device)
        return;
    // Its last state changes are ours, not an interruption. It closes as it was opened.
    device->disconnect(this);
    resumeReads();
    if (device->state() != QCanBusDevice::UnconnectedState)
        device->disconnectDevice();
    // May be inside one of its own signals.
    device->deleteLater();
}

void CanLink::setLoop(bool on)
{
    const bool wasRunning = loopRunning.exchange(on);
    if (!on || wasRunning)
        return;
    if (QThread::currentThread() == thread())
        startLoop();
    else
        QMetaObject::invokeMethod(this, "startLoop", Qt::QueuedConnection);
}

void CanLink::startLoop()
{
    m_rate.restart();
    m_writeGrid.restart();
    m_writeTimer->start(WriteGrid::periodMs);
}

void CanLink::writeWork()
{
    if (!loopRunning)
        return;
    m_writeTimer->start(m_writeGrid.nextDelayMs());
    QByteArray frame;
    {
        QMutexLocker lock(&stateMutex);
        if (motorState.sendEnabled) {
            const quint8 *source =
                motorState.usePackedCommand ? motorState.commandFrame : fallbackFrameBytes;
            frame = frameBytes(source, commandFrameLength);
        }
    }
    if (frame.isEmpty() || !m_device || m_device->state() != QCanBusDevice::ConnectedState)
        return;
    // A periodic frame still waiting is dropped in favour of the new one; a one-shot
    // frame is not.
    if (m_oneShotQueued && m_device->framesToWrite() == 0)
        m_oneShotQueued = false;
    if (!m_oneShotQueued && m_device->framesToWrite() > 0)
        m_device->clear(QCanBusDevice::Output);
    writePayload(frame);
}

void CanLink::sendOnce(const QString &word)
{
    QByteArray frame;
    if (word.isEmpty()) {
        QMutexLocker lock(&stateMutex);
        frame = frameBytes(motorState.commandFrame, commandFrameLength);
    } else if (specialFrameFor(word)) {
        QMutexLocker lock(&stateMutex);
        frame = takeSpecialFrame(word);
    }
    if (!frame.isEmpty() && m_device && m_device->state() == QCanBusDevice::ConnectedState) {
        writePayload(frame);
        m_oneShotQueued = true;
    }
}

void CanLink::writePayload(const QByteArray &frame)
{
    // The adapter's command frame carries the CAN message: payload at bytes 4 to 11, the
    // motor ID (the identifier) at byte 12.
    QCanBusFrame message(quint8(frame.at(12)), frame.mid(4, payloadLength));
    message.setExtendedFrameFormat(false);
    m_device->writeFrame(message);
}

void CanLink::framesArrived()
{
    // Plugins may signal each frame of a burst on its own; the burst is read once, after
    // the plugin's own handling of it is done.
    if (!std::exchange(m_readQueued, true))
        QMetaObject::invokeMethod(this, &CanLink::readFrames, Qt::QueuedConnection);
}

void CanLink::pauseReads()
{
    if (m_readPause->isActive())
        return;
    // Only what is enabled now is paused, and given back as it was. A plugin whose reads
    // need no notifier of this kind is simply read as its frames come.
    const QList<QSocketNotifier *> notifiers = m_device->findChildren<QSocketNotifier *>();
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read && notifier->isEnabled()) {
            notifier->setEnabled(false);
            m_pausedNotifiers.append(notifier);
        }
    }
    m_readPause->start();
}

void CanLink::resumeReads()
{
    m_readPause->stop();
    for (const QPointer<QSocketNotifier> &notifier : std::exchange(m_pausedNotifiers, {}))
        if (notifier)
            notifier->setEnabled(true);
}

void CanLink::readFrames()
{
    m_readQueued = false;
    if (!m_device)
        return;
    const QVector<QCanBusFrame> frames = m_device->readAllFrames();
    pauseReads();
    if (!loopRunning || frames.isEmpty())
        return;
    const qint64 now = monotonicNanoseconds();
    const qint64 lastStamp = stampMicroseconds(frames.constLast());
    int events = 0;
    int errors = 0;
    {
        QMutexLocker lock(&stateMutex);
        const double readSeconds = double(now - motorState.timeOriginNs) * 1e-9;
        const double previousRead =
            double(motorState.consumedReadNs - motorState.timeOriginNs) * 1e-9;
        for (const QCanBusFrame &frame : frames) {
            if (frame.frameType() == QCanBusFrame::ErrorFrame ||
                frame.frameType() == QCanBusFrame::InvalidFrame) {
                ++events;
                ++errors;
                continue;
            }
            if (frame.frameType() != QCanBusFrame::DataFrame)
                continue;
            // The frames of one read share its time, less how much earlier the plugin
            // stamped each, but none is before the previous read.
            const qint64 stamp = stampMicroseconds(frame);
            double seconds = readSeconds;
            if (stamp > 0 && lastStamp >= stamp)
                seconds = std::max(previousRead, readSeconds - double(lastStamp - stamp) * 1e-6);
            const QByteArray data = frame.payload();
            const CanReplyOutcome outcome = storeCanReply(
                motorState, limits, reinterpret_cast<const quint8 *>(data.constData()), data.size(),
                motorState.motorId, seconds);
            if (outcome == CanReplyOutcome::Ignored)
                continue;
            ++events;
            if (outcome == CanReplyOutcome::Error)
                ++errors;
        }
        motorState.consumedReadNs = now;
    }
    report(events, errors);
}

void CanLink::report(int events, int errors)
{
    const QString text = m_rate.add(events, errors);
    if (!text.isEmpty())
        emit statusMsg(text);
}
