#pragma once

#include "frames.h"

#include <QByteArray>
#include <QRandomGenerator>

// The feedback codes of position, velocity and current, each clamped into its
// default Limit pair and converted with floatToFixed.
FeedbackCodes feedbackCodes(double position, double velocity, double current);

// Writes the 11-byte feedback frame for `codes`, checksum included.
void buildFeedbackFrame(const FeedbackCodes &codes, quint8 *frame);

// When the feedback frames of a stream fall due: one every `period` seconds from the
// start, `frames` in all (0 without end). Frames due longer ago than 50 ms are dropped
// rather than sent in one burst.
class FeedbackPacer
{
public:
    FeedbackPacer(double period, int frames) : m_period(period), m_frames(frames) {}

    void start(double now) { m_next = now + m_period; }
    double nextDue() const { return m_next; }
    // Skips the frames that are too late by `now`; how many.
    quint64 skipLate(double now);
    // The due time of the next frame if it is due by `now`, moving past it.
    bool next(double now, double *due);

private:
    double m_period;
    int m_frames;
    double m_next = 0;
    quint64 m_produced = 0;
};

// The byte stream of feedback frames, with the faults asked for: `noise` random
// bytes per 100 frames between frames, and `corrupt` of every 100 frames with a
// wrong checksum. Both are spread evenly over the stream. Noise never holds two
// AA bytes in a row, nor forms a pair with the sync bytes around it, so it can
// never pass for the start of a frame.
class FeedbackStream
{
public:
    FeedbackStream(int noise, int corrupt, quint32 seed);

    void append(QByteArray *out, const FeedbackCodes &codes);

    quint64 frames() const { return m_frames; }
    quint64 corruptedFrames() const { return m_corrupted; }
    quint64 noiseBytes() const { return m_noiseBytes; }

private:
    void appendNoise(QByteArray *out, int count);

    int m_noise;
    int m_corrupt;
    QRandomGenerator m_random;
    quint64 m_frames = 0;
    quint64 m_corrupted = 0;
    quint64 m_noiseBytes = 0;
};
