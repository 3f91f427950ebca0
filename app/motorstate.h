#pragma once

#include "history.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QtGlobal>

#include <vector>

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

// One read that appended bytes to the receive buffer: where in the byte stream of the
// connection its last byte lies (counting from 0 at the connect reset), and when it
// was made (monotonicNanoseconds).
struct ReadMark
{
    qint64 streamEnd = 0;
    qint64 nanoseconds = 0;
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
    // Good feedback frames decoded since the connect reset, kept or not.
    qint64 framesReceived = 0;
    quint8 commandFrame[16] = {};
    // Position, velocity, current, in that order (see HistoryChannel).
    History histories[3];
    // When each sample's frame arrived, in seconds since the connect reset. Valid
    // for samples [0, sampleCount) while hasTimes is true; a recording read from a
    // file without times clears it.
    TimeHistory timeHistory;
    bool hasTimes = false;
    // The receive time base: the baud rate of the open port (0 when unknown), the
    // monotonic time of the connect reset, the stream position of rxBuffer[0], the
    // reads whose bytes are still in rxBuffer, oldest first, and the time of the
    // newest read whose bytes have all been consumed.
    qint32 lineBaud = 0;
    qint64 timeOriginNs = 0;
    qint64 rxStreamStart = 0;
    std::vector<ReadMark> readMarks;
    qint64 consumedReadNs = 0;
    QString appDir;

    History &positionHistory() { return histories[PositionChannel]; }
    History &velocityHistory() { return histories[VelocityChannel]; }
    History &currentHistory() { return histories[CurrentChannel]; }
    const History &positionHistory() const { return histories[PositionChannel]; }
    const History &velocityHistory() const { return histories[VelocityChannel]; }
    const History &currentHistory() const { return histories[CurrentChannel]; }
};

extern MotorState motorState;

// A monotonic clock in nanoseconds, the one the receive times are taken from.
qint64 monotonicNanoseconds();

// Appends bytes a read has just delivered to state.rxBuffer and notes the read's
// time for the decoder. The caller holds stateMutex.
void appendReceived(MotorState &state, const char *bytes, int count, qint64 nowNs);
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
