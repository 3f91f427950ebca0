#pragma once

#include "motorstate.h"

#include <QString>
#include <QtGlobal>

#include <utility>

// The motor's feedback as it arrives on a CAN bus: byte 0 the replying motor's ID, bytes 1
// and 2 the 16-bit position code, byte 3 and the high nibble of byte 4 the 12-bit velocity
// code, the low nibble of byte 4 and byte 5 the 12-bit current code (the codes of the
// adapter's feedback frame, in the same order). Further bytes are not read.
constexpr int canReplyMinLength = 6;

enum class CanReplyOutcome
{
    Stored,  // decoded into the histories
    Ignored, // another motor's reply
    Error,   // too short to be a reply
    Dropped  // a good reply that the full histories could not keep
};

// Decodes one reply's data bytes for motor `motorId` (low 8 bits) into the histories at
// index sampleCount, with its arrival time `seconds` since the connect reset (never
// before the previous sample's), and widens the decode ranges as the serial decoder does.
// The caller holds stateMutex; the codes decode to the ranges `scale` gives.
CanReplyOutcome storeCanReply(MotorState &state, const Limits &scale, const quint8 *data,
                              int length, qint32 motorId, double seconds);

// The error-rate report of a link: counts feedback events and those that were not good
// replies, and gives the status text about every 30 events, only when it has changed
// since the last one given (or is the first of a run).
class ErrorRateReport
{
public:
    static constexpr int eventsPerReport = 30;

    explicit ErrorRateReport(QString prefix) : m_prefix(std::move(prefix)) {}
    // The next report is given even if it equals the last.
    void restart() { m_forceNext = true; }
    // Adds a pass's counts; the text to post now, or an empty one.
    QString add(int events, int errors);

private:
    QString m_prefix;
    QString m_last;
    int m_events = 0;
    int m_errors = 0;
    bool m_forceNext = true;
};
