#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>
#include <utility>

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

// The feedback rate the readout shows: frames per second over the last second, from the
// count of frames received noted at each refresh; 0 when nothing arrives.
class FeedbackRate
{
public:
    static constexpr qint64 windowMs = 1000;

    // `frames` frames have been received by `nowMs`.
    void note(qint64 frames, qint64 nowMs);
    double perSecond() const;

    // The readout's text, e.g. "Feedback: 8378 frames/s".
    static QString text(double perSecond);

private:
    // (time, frames) of the refreshes of the last second, and the one just before it.
    std::deque<std::pair<qint64, qint64>> m_notes;
};

// The readout's text for the run's elapsed time, e.g. "Elapsed: 1:02:03.4".
QString elapsedText(double seconds);
