#pragma once

#include "history.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QtGlobal>

// The numbers the window thread and the three worker threads share.
//
// Every field below, and every field of `limits`, is read and written only while
// `stateMutex` is held. The mutex is never held while a signal is emitted, a dialog
// is shown, or another lock is taken.

constexpr int historyCapacity = 32000000;
constexpr int rxBufferReserve = 1048576;

// Indexes into MotorState::histories; the plots select their history by them.
enum HistoryChannel
{
    PositionChannel = 0,
    VelocityChannel = 1,
    CurrentChannel = 2
};

// The twelve Limits: they bound what the user may command and are the scaling
// ranges of the protocol's fixed-point fields.
struct Limits
{
    double positionMin = -95.5;
    double positionMax = 95.5;
    double velocityMin = -45;
    double velocityMax = 45;
    double torqueMin = -18;
    double torqueMax = 18;
    double currentMin = -40;
    double currentMax = 40;
    double kpMin = 0;
    double kpMax = 500;
    double kdMin = 0;
    double kdMax = 5;
};

struct MotorState
{
    bool sendEnabled = false;
    bool connectPending = false;
    bool usePackedCommand = false;
    QByteArray rxBuffer;
    float keyPosition = 0;
    float keyVelocity = 0;
    float cmdKp = 0;
    float cmdKd = 0;
    float cmdTorque = 0;
    float cmdVelocity = 0;
    float cmdPosition = 0;
    float decodeCurrentMin = -40;
    float decodeCurrentMax = 40;
    float decodeVelocityMin = -45;
    float decodeVelocityMax = 45;
    float decodePositionMin = -95.5f;
    float decodePositionMax = 95.5f;
    qint32 motorId = 0;
    qint32 sampleCount = 0;
    quint8 commandFrame[16] = {};
    // Position, velocity, current, in that order (see HistoryChannel).
    History histories[3];
    QString appDir;

    History &positionHistory() { return histories[PositionChannel]; }
    History &velocityHistory() { return histories[VelocityChannel]; }
    History &currentHistory() { return histories[CurrentChannel]; }
    const History &positionHistory() const { return histories[PositionChannel]; }
    const History &velocityHistory() const { return histories[VelocityChannel]; }
    const History &currentHistory() const { return histories[CurrentChannel]; }
};

extern MotorState motorState;
extern Limits limits;
extern QMutex stateMutex;

// A copy of the Limits taken under stateMutex; the caller must not hold it.
Limits currentLimits();

// Start-up preparation, run once by main() before the window exists: sets appDir,
// empties the receive buffer and gives each history its full, zeroed capacity.
// Returns false if the histories could not be mapped.
bool prepareMotorState(const QString &applicationDir);

// The reset a successful connection performs. Takes stateMutex itself; the caller
// must not hold it.
void connectReset();

// The same reset for a caller that already holds stateMutex.
void connectResetLocked();

// Count of recordings in progress; see RecordingGuard in the recording worker.
// connectReset waits while one runs so that a file operation never sees its
// histories replaced underneath it.
void beginHistoryOperation();
void endHistoryOperation();
// True while a recording is being saved or read. Takes stateMutex itself.
bool historyOperationRunning();
