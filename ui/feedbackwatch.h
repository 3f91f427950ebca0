#pragma once

#include <QString>
#include <QtGlobal>

// Whether feedback still arrives while the adapter is in display mode: a motor that is
// switched off, a CAN cable pulled or a firmware fault leave the last values on show,
// and they must not pass for live ones. Times are milliseconds of a monotonic clock.
class FeedbackWatch
{
public:
    static constexpr qint64 silentAfterMs = 500;

    // Display mode holds from `nowMs`, with `samples` samples stored so far.
    void start(qint64 samples, qint64 nowMs);
    // Display mode has ended: nothing is watched.
    void stop();
    // At a refresh, with `samples` samples stored: how long no frame has arrived, or -1
    // while frames arrive (or nothing is watched). Full histories store no more samples
    // while frames go on arriving, so they never count as a silence.
    qint64 silence(qint64 samples, qint64 nowMs);

    // The status line's text for a silence of `ms`, e.g. "No feedback for 2.4 s".
    static QString text(qint64 ms);

private:
    bool m_watching = false;
    qint64 m_samples = 0;
    qint64 m_lastArrival = 0;
};
