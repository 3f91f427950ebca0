#include "cansimulator.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace {
// Replies go out in batches at this interval: 8 a pass at 8,000 replies/s.
constexpr int streamPeriodMs = 1;
// How often the stop signal, the duration and the hang-up time are looked at.
constexpr int watchPeriodMs = 20;
constexpr quint32 replyIdBase = 0x100;
// A cut reply (--corrupt) is too short to carry the codes.
constexpr int cutReplyLength = 4;
} // namespace

CanSimulator::CanSimulator(const SimOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_pacer(1.0 / feedbackRate(options), options.frames),
      m_streamTimer(new QTimer(this)), m_watchTimer(new QTimer(this))
{
    m_streamTimer->setInterval(streamPeriodMs);
    m_streamTimer->setTimerType(Qt::PreciseTimer);
    connect(m_streamTimer, &QTimer::timeout, this, &CanSimulator::produceReplies);
    m_watchTimer->setInterval(watchPeriodMs);
    connect(m_watchTimer, &QTimer::timeout, this, [this] {
        const double now = elapsed();
        if (m_stop->load() != 0)
            finish(PtySimulator::StopReason::Signal);
        else if (m_options.duration > 0 && now >= m_options.duration)
            finish(PtySimulator::StopReason::Duration);
        else if (m_options.hangupAfter > 0 && now >= m_options.hangupAfter)
            finish(PtySimulator::StopReason::Hangup);
    });
}

CanSimulator::~CanSimulator()
{
    close();
}

bool CanSimulator::open(QString *error)
{
    const int colon = m_options.can.indexOf(QLatin1Char(':'));
    const QString plugin = m_options.can.left(colon);
    const QString name = m_options.can.mid(colon + 1);
    QString why;
    m_device = QCanBus::instance()->createDevice(plugin, name, &why);
    if (!m_device) {
        *error = QStringLiteral("cannot open %1: %2")
                     .arg(m_options.can, why.isEmpty() ? QStringLiteral("no such plugin") : why);
        return false;
    }
    // Some plugins connect at once, others a moment later.
    QEventLoop wait;
    connect(m_device, &QCanBusDevice::stateChanged, &wait, &QEventLoop::quit);
    QTimer::singleShot(3000, &wait, &QEventLoop::quit);
    if (m_device->connectDevice() && m_device->state() == QCanBusDevice::ConnectingState)
        wait.exec();
    if (m_device->state() != QCanBusDevice::ConnectedState) {
        *error = QStringLiteral("cannot open %1: %2").arg(m_options.can, m_device->errorString());
        close();
        return false;
    }
    connect(m_device, &QCanBusDevice::framesReceived, this, &CanSimulator::readFrames);
    connect(m_device, &QCanBusDevice::stateChanged, this,
            [this](QCanBusDevice::CanBusDeviceState s) {
                if (s == QCanBusDevice::UnconnectedState)
                    finish(PtySimulator::StopReason::Failed);
            });
    m_start = std::chrono::steady_clock::now();
    m_pacer.start(0);
    return true;
}

PtySimulator::StopReason CanSimulator::run(const std::atomic<int> &stop)
{
    if (!m_device)
        return PtySimulator::StopReason::Failed;
    m_stop = &stop;
    m_streamTimer->start();
    m_watchTimer->start();
    QCoreApplication::exec();
    m_stats.displaySeconds = elapsed();
    return m_reason;
}

void CanSimulator::finish(PtySimulator::StopReason reason)
{
    m_reason = reason;
    m_streamTimer->stop();
    m_watchTimer->stop();
    QCoreApplication::exit(0);
}

void CanSimulator::close()
{
    if (!m_device)
        return;
    m_device->disconnect(this);
    m_device->disconnectDevice();
    delete m_device;
    m_device = nullptr;
}

double CanSimulator::elapsed() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

SimStats CanSimulator::stats() const
{
    return m_stats;
}

QStringList CanSimulator::summary() const
{
    // The lines up to "bad frames" are those that have a meaning on a bus.
    return summaryLines(m_stats).mid(0, 7) << QStringLiteral("last control payload: %1")
                                                  .arg(QString::fromLatin1(m_lastControl.toHex()));
}

void CanSimulator::readFrames()
{
    ParserCounts &counts = m_stats.input;
    for (const QCanBusFrame &frame : m_device->readAllFrames()) {
        if (frame.frameType() != QCanBusFrame::DataFrame)
            continue;
        if (frame.frameId() != quint32(m_options.motorId) || frame.hasExtendedFrameFormat()) {
            ++counts.otherIdFrames;
            continue;
        }
        const QByteArray payload = frame.payload();
        if (payload.size() != payloadLength) {
            ++counts.badFrames;
            continue;
        }
        ++counts.commandFrames;
        const InputEvent event =
            payloadEvent(reinterpret_cast<const quint8 *>(payload.constData()));
        if (event.kind == InputEvent::Control)
            m_lastControl = payload;
        else
            ++counts.specialCommands;
        applyCommand(event, &m_model);
    }
}

void CanSimulator::produceReplies()
{
    const double now = elapsed();
    m_stats.feedbackDropped += m_pacer.skipLate(now);
    const quint8 id = quint8(m_options.motorId);
    for (double due; m_pacer.next(now, &due);) {
        m_model.advanceTo(due);
        const FeedbackCodes c =
            feedbackCodes(m_model.position(), m_model.velocity(), m_model.current());
        const quint16 count = quint16(m_replies);
        const char reply[payloadLength] = {char(id),
                                           char(c.position >> 8),
                                           char(c.position),
                                           char(c.velocity >> 4),
                                           char((c.velocity & 0xF) << 4 | c.current >> 8),
                                           char(c.current),
                                           char(count >> 8),
                                           char(count)};
        // Reply n is cut short when the running total of cut replies, n * N / 100, grows.
        const quint64 n = m_replies++;
        const bool cut =
            (n + 1) * quint64(m_options.corrupt) / 100 > n * quint64(m_options.corrupt) / 100;
        QCanBusFrame frame(replyIdBase + id,
                           QByteArray(reply, cut ? cutReplyLength : payloadLength));
        if (m_device->writeFrame(frame))
            ++m_stats.feedbackSent;
        else
            ++m_stats.feedbackDropped;
    }
    m_model.advanceTo(now);
}
