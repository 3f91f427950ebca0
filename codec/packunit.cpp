#include "packunit.h"

#include "feedbackparser.h"
#include "framemath.h"
#include "frames.h"
#include "motorstate.h"

#include <QMutexLocker>
#include <QThread>
#include <QTimer>

#include <cmath>

namespace {
// ms between decoder passes: a few a refresh of the window, which shows the samples
// every 100 ms; a shorter period only adds wake-ups.
constexpr int passInterval = 25;
constexpr int eventsPerReport = 30; // the error rate is reported about this often

float clampToLimits(float x, float min, float max)
{
    // A NaN command packs as 0 brought into the Limits, never as one of them (fmaxf
    // alone would turn it into min and drive the motor to its lowest limit).
    if (std::isnan(x))
        x = 0;
    return std::fminf(std::fmaxf(min, x), max);
}

struct Bounds
{
    float min;
    float max;
};

Bounds bounds(double min, double max)
{
    return {static_cast<float>(min), static_cast<float>(max)};
}

qint32 code(float x, Bounds b, qint32 bits)
{
    return floatToFixed(clampToLimits(x, b.min, b.max), b.min, b.max, bits);
}
} // namespace

PackUnit::PackUnit(QObject *parent) : QObject(parent), m_passTimer(new QTimer(this))
{
    m_passTimer->setSingleShot(true);
    m_passTimer->setTimerType(Qt::PreciseTimer);
    m_passTimer->setInterval(passInterval);
    connect(m_passTimer, &QTimer::timeout, this, &PackUnit::readWork);
}

QString PackUnit::errorRatePrefix()
{
    return QStringLiteral("USB data error : ");
}

void PackUnit::setLoop(bool on)
{
    // The flag is set before the first pass is armed: that pass may run on the
    // worker's thread before this call returns, and must see the loop running.
    const bool wasRunning = loopRunning.exchange(on);
    if (on && !wasRunning) {
        // A new run reports its first error rate even if it equals the last one shown.
        m_reportNextRate = true;
        schedulePass();
    }
}

void PackUnit::schedulePass()
{
    // A timer is started only on its own thread; the window thread asks through
    // the worker's event queue.
    if (QThread::currentThread() == thread())
        m_passTimer->start();
    else
        QMetaObject::invokeMethod(m_passTimer, "start", Qt::QueuedConnection);
}

void PackUnit::readWork()
{
    FeedbackPass pass;
    {
        QMutexLocker lock(&stateMutex);
        pass = parseFeedback(motorState, limits);
    }
    frameCount += pass.events;
    errorCount += pass.errors;
    if (frameCount >= eventsPerReport) {
        const float rate = static_cast<float>(errorCount) / static_cast<float>(frameCount) * 100.0f;
        errorCount = 0;
        frameCount = 0;
        // Posted only when it changes: at the line rate an unchanged figure would otherwise
        // overwrite the status line every few milliseconds.
        const QString text = errorRatePrefix() + QStringLiteral("%1%").arg(double(rate), 0, 'f', 2);
        if (m_reportNextRate.exchange(false) || text != m_lastRateText) {
            m_lastRateText = text;
            emit statusMsg(text);
        }
    }
    if (pass.historiesFull) {
        if (!m_fullReported) {
            m_fullReported = true;
            const QString text =
                QStringLiteral("Recording memory full: %1 samples stored, later samples are not "
                               "kept. Reconnect to start a new recording.")
                    .arg(historyCapacity);
            emit statusMsg(text);
            emit msgBox(text);
        }
    } else {
        m_fullReported = false;
    }
    if (loopRunning)
        schedulePass();
}

void PackUnit::rePack()
{
    float position, velocity, torque, kp, kd;
    Bounds positionBounds, velocityBounds, torqueBounds, kpBounds, kdBounds;
    {
        QMutexLocker lock(&stateMutex);
        position = motorState.cmdPosition + motorState.keyPosition;
        velocity = motorState.cmdVelocity + motorState.keyVelocity;
        torque = motorState.cmdTorque;
        kp = motorState.cmdKp;
        kd = motorState.cmdKd;
        positionBounds = bounds(limits.positionMin, limits.positionMax);
        velocityBounds = bounds(limits.velocityMin, limits.velocityMax);
        torqueBounds = bounds(limits.torqueMin, limits.torqueMax);
        kpBounds = bounds(limits.kpMin, limits.kpMax);
        kdBounds = bounds(limits.kdMin, limits.kdMax);
    }
    PayloadCodes codes;
    codes.position = code(position, positionBounds, 16);
    codes.velocity = code(velocity, velocityBounds, 12);
    codes.kp = code(kp, kpBounds, 12);
    codes.kd = code(kd, kdBounds, 12);
    codes.torque = code(torque, torqueBounds, 12);

    QMutexLocker lock(&stateMutex);
    buildCommandFrame(codes, motorState.motorId, motorState.commandFrame);
}
