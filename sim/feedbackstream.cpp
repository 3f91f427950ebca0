#include "feedbackstream.h"

#include "framemath.h"
#include "motorstate.h"

#include <algorithm>

namespace {
qint32 code(double value, double min, double max, int bits)
{
    const float x = std::clamp(float(value), float(min), float(max));
    return floatToFixed(x, float(min), float(max), bits);
}
} // namespace

FeedbackCodes feedbackCodes(double position, double velocity, double current)
{
    const Limits l;
    FeedbackCodes c;
    c.position = code(position, l.positionMin, l.positionMax, 16);
    c.velocity = code(velocity, l.velocityMin, l.velocityMax, 12);
    c.current = code(current, l.currentMin, l.currentMax, 12);
    return c;
}

void buildFeedbackFrame(const FeedbackCodes &codes, quint8 *frame)
{
    const quint32 p = static_cast<quint32>(codes.position) & 0xFFFF;
    const quint32 v = static_cast<quint32>(codes.velocity) & 0xFFF;
    const quint32 i = static_cast<quint32>(codes.current) & 0xFFF;
    frame[0] = syncByte;
    frame[1] = syncByte;
    frame[2] = feedbackFrameLength;
    frame[3] = feedbackType;
    frame[4] = static_cast<quint8>(p >> 8);
    frame[5] = static_cast<quint8>(p & 0xFF);
    frame[6] = static_cast<quint8>(v >> 4);
    frame[7] = static_cast<quint8>(((v & 0xF) << 4) | (i >> 8));
    frame[8] = static_cast<quint8>(i & 0xFF);
    frame[9] = 0;
    frame[10] = static_cast<quint8>(byteSum(frame, 10) & 0xFF);
}

quint64 FeedbackPacer::skipLate(double now)
{
    constexpr double maxBacklogSeconds = 0.05;
    // Once all frames are out, none is late.
    if (now - m_next <= maxBacklogSeconds || (m_frames > 0 && m_produced >= quint64(m_frames)))
        return 0;
    const auto late = static_cast<quint64>((now - m_next) / m_period);
    m_next += double(late) * m_period;
    return late;
}

bool FeedbackPacer::next(double now, double *due)
{
    if (m_next > now || (m_frames > 0 && m_produced >= quint64(m_frames)))
        return false;
    ++m_produced;
    *due = m_next;
    m_next += m_period;
    return true;
}

FeedbackStream::FeedbackStream(int noise, int corrupt, quint32 seed)
    : m_noise(noise), m_corrupt(corrupt), m_random(seed)
{
}

void FeedbackStream::append(QByteArray *out, const FeedbackCodes &codes)
{
    quint8 frame[feedbackFrameLength];
    buildFeedbackFrame(codes, frame);
    // Frame n gets the faults that bring the running totals to floor((n+1) * N / 100).
    const quint64 n = m_frames;
    if ((n + 1) * m_corrupt / 100 > n * m_corrupt / 100) {
        frame[10] ^= 0xFF;
        ++m_corrupted;
    }
    out->append(reinterpret_cast<const char *>(frame), feedbackFrameLength);
    ++m_frames;
    appendNoise(out, int((n + 1) * m_noise / 100 - n * m_noise / 100));
}

void FeedbackStream::appendNoise(QByteArray *out, int count)
{
    quint8 previous = out->isEmpty() ? 0 : static_cast<quint8>(out->back());
    for (int i = 0; i < count; ++i) {
        auto byte = static_cast<quint8>(m_random.bounded(256));
        // The next frame starts with AA, so the last noise byte must not be one.
        if (byte == syncByte && (previous == syncByte || i == count - 1))
            byte = static_cast<quint8>(m_random.bounded(syncByte));
        out->append(static_cast<char>(byte));
        previous = byte;
    }
    m_noiseBytes += quint64(count);
}
