#include "motorstate.h"

#include <QWaitCondition>

#include <chrono>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
// The wait unlocks and relocks inside Qt, where the thread sanitizer cannot see it. Qt 6's
// mutex tells the sanitizer that it is a mutex, so the wait says it unlocks and relocks
// one; Qt 5's is known to the sanitizer only by the release and acquire of tsanmutex.cpp.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#define KORVANE_BEFORE_WAIT(m) (__tsan_mutex_pre_unlock(m, 0), __tsan_mutex_post_unlock(m, 0))
#define KORVANE_AFTER_WAIT(m) (__tsan_mutex_pre_lock(m, 0), __tsan_mutex_post_lock(m, 0, 0))
#else
#define KORVANE_BEFORE_WAIT(m) __tsan_release(m)
#define KORVANE_AFTER_WAIT(m) __tsan_acquire(m)
#endif
#else
#define KORVANE_BEFORE_WAIT(m)
#define KORVANE_AFTER_WAIT(m)
#endif

MotorState motorState;
Limits limits;
QMutex stateMutex;

namespace {
QWaitCondition historyIdle;
int historyOperations = 0; // guarded by stateMutex
} // namespace

qint64 monotonicNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void appendReceived(MotorState &state, const char *bytes, int count, qint64 nowNs)
{
    if (count <= 0)
        return;
    state.rxBuffer.append(bytes, count);
    const qint64 end = state.rxStreamStart + state.rxBuffer.size();
    // Should nothing decode for a long time, the oldest marks go: their bytes then take
    // the time of a later read less their line time, which is still close.
    constexpr std::size_t markLimit = 1 << 16;
    if (state.readMarks.size() >= markLimit)
        state.readMarks.erase(state.readMarks.begin(),
                              state.readMarks.begin() + std::ptrdiff_t(markLimit / 4));
    state.readMarks.push_back({end, nowNs});
}

Limits currentLimits()
{
    QMutexLocker lock(&stateMutex);
    return limits;
}

bool prepareMotorState(const QString &applicationDir)
{
    QMutexLocker lock(&stateMutex);
    motorState.appDir = applicationDir;
    motorState.sampleCount = 0;
    motorState.rxBuffer.clear();
    motorState.rxBuffer.reserve(rxBufferReserve);
    bool ok = true;
    for (History &h : motorState.histories)
        ok = h.allocate(historyCapacity) && ok;
    ok = motorState.timeHistory.allocate(historyCapacity) && ok;
    return ok;
}

void connectResetLocked()
{
    MotorState &s = motorState;
    s.keyPosition = 0;
    s.keyVelocity = 0;
    s.usePackedCommand = false;
    const int used = s.sampleCount;
    s.sampleCount = 0;
    s.rxBuffer.clear();
    s.rxBuffer.reserve(rxBufferReserve);
    // The storage keeps its address: readers in other threads never see it move.
    for (History &h : s.histories) {
        h.allocate(historyCapacity);
        h.zeroPrefix(used > 0 ? static_cast<std::size_t>(used) : 0);
    }
    s.timeHistory.allocate(historyCapacity);
    s.timeHistory.zeroPrefix(used > 0 ? static_cast<std::size_t>(used) : 0);
    // The connection's time starts now; its reads are stamped from here on.
    s.hasTimes = true;
    s.framesReceived = 0;
    s.timeOriginNs = monotonicNanoseconds();
    s.rxStreamStart = 0;
    s.readMarks.clear();
    s.consumedReadNs = s.timeOriginNs;
    s.decodePositionMax = static_cast<float>(limits.positionMax);
    s.decodePositionMin = static_cast<float>(limits.positionMin);
    s.decodeVelocityMax = static_cast<float>(limits.velocityMax);
    s.decodeVelocityMin = static_cast<float>(limits.velocityMin);
    s.decodeCurrentMax = static_cast<float>(limits.currentMax);
    s.decodeCurrentMin = static_cast<float>(limits.currentMin);
}

void connectReset()
{
    QMutexLocker lock(&stateMutex);
    // A recording being saved or read owns the histories until it ends.
    while (historyOperations > 0) {
        KORVANE_BEFORE_WAIT(&stateMutex);
        historyIdle.wait(&stateMutex);
        KORVANE_AFTER_WAIT(&stateMutex);
    }
    connectResetLocked();
}

void beginHistoryOperation()
{
    QMutexLocker lock(&stateMutex);
    ++historyOperations;
}

void endHistoryOperation()
{
    {
        QMutexLocker lock(&stateMutex);
        --historyOperations;
    }
    historyIdle.wakeAll();
}

bool historyOperationRunning()
{
    QMutexLocker lock(&stateMutex);
    return historyOperations > 0;
}
