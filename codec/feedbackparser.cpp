#include "feedbackparser.h"

#include "framemath.h"
#include "frames.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {
// Index of the first pair of sync bytes at or after `from`, or -1.
int findHeader(const quint8 *bytes, int from, int size)
{
    int j = from;
    while (j + 1 < size) {
        const void *hit = std::memchr(bytes + j, syncByte, static_cast<std::size_t>(size - 1 - j));
        if (!hit)
            return -1;
        j = static_cast<int>(static_cast<const quint8 *>(hit) - bytes);
        if (bytes[j + 1] == syncByte)
            return j;
        // bytes[j + 1] is not a sync byte, so no pair starts at j or j + 1.
        j += 2;
    }
    return -1;
}

qint64 storableSamples(const MotorState &state)
{
    qint64 capacity = historyCapacity;
    for (const History &h : state.histories)
        capacity = std::min<qint64>(capacity, static_cast<qint64>(h.size()));
    return std::min<qint64>(capacity, static_cast<qint64>(state.timeHistory.size()));
}

// Gives each frame the time its last byte can have arrived: the time of the read
// that delivered that byte, less the line time of the bytes that read delivered after
// it, but not before the previous read and not before the previous frame.
class ReceiveClock
{
public:
    explicit ReceiveClock(const MotorState &state, double lastTime)
        : m_marks(state.readMarks), m_origin(state.timeOriginNs),
          m_previousRead(state.consumedReadNs),
          // 10 bits a byte on the line: a start bit, 8 data bits, a stop bit.
          m_byteSeconds(state.lineBaud > 0 ? 10.0 / state.lineBaud : 0.0),
          m_floor(std::max(lastTime, seconds(m_previousRead)))
    {
        enterRead();
    }

    // Seconds since the origin for a frame whose last byte is at `streamEnd`.
    double timeOf(qint64 streamEnd)
    {
        // Most frames end within the read the previous one ended in.
        while (streamEnd > m_readEnd && m_next < m_marks.size()) {
            m_previousRead = m_marks[m_next].nanoseconds;
            ++m_next;
            m_floor = std::max(m_floor, seconds(m_previousRead));
            enterRead();
        }
        m_floor = std::max(m_floor, m_readTime - double(m_readEnd - streamEnd) * m_byteSeconds);
        return m_floor;
    }

    // The time of the newest read whose bytes all lie before `streamEnd`.
    qint64 readBefore(qint64 streamEnd)
    {
        while (m_next < m_marks.size() && m_marks[m_next].streamEnd <= streamEnd) {
            m_previousRead = m_marks[m_next].nanoseconds;
            ++m_next;
        }
        return m_previousRead;
    }
    std::size_t readsDone() const { return m_next; }

private:
    double seconds(qint64 ns) const { return double(ns - m_origin) * 1e-9; }

    // Takes the read m_marks[m_next] as the one the next frames end in. Bytes no read
    // was noted for (none is left) take the previous read's time.
    void enterRead()
    {
        if (m_next < m_marks.size()) {
            m_readEnd = m_marks[m_next].streamEnd;
            m_readTime = seconds(m_marks[m_next].nanoseconds);
        } else {
            m_readEnd = std::numeric_limits<qint64>::max();
            m_readTime = m_floor;
            m_byteSeconds = 0;
        }
    }

    const std::vector<ReadMark> &m_marks;
    const qint64 m_origin;
    qint64 m_previousRead;
    double m_byteSeconds;
    // No frame is earlier than the previous read or the previous frame.
    double m_floor;
    qint64 m_readEnd = 0;
    double m_readTime = 0;
    std::size_t m_next = 0;
};

} // namespace

FeedbackPass parseFeedback(MotorState &state, const Limits &scale)
{
    FeedbackPass pass;
    QByteArray &buffer = state.rxBuffer;
    const int size = buffer.size();
    const qint64 capacity = storableSamples(state);
    if (size >= 3) {
        const quint8 *bytes = reinterpret_cast<const quint8 *>(buffer.constData());
        const float positionMin = static_cast<float>(scale.positionMin);
        const float positionMax = static_cast<float>(scale.positionMax);
        const float velocityMin = static_cast<float>(scale.velocityMin);
        const float velocityMax = static_cast<float>(scale.velocityMax);
        const float currentMin = static_cast<float>(scale.currentMin);
        const float currentMax = static_cast<float>(scale.currentMax);
        float *positions = state.positionHistory().data();
        float *velocities = state.velocityHistory().data();
        float *currents = state.currentHistory().data();
        double *times = state.timeHistory.data();
        float positionLow = state.decodePositionMin, positionHigh = state.decodePositionMax;
        float velocityLow = state.decodeVelocityMin, velocityHigh = state.decodeVelocityMax;
        float currentLow = state.decodeCurrentMin, currentHigh = state.decodeCurrentMax;
        qint64 count = state.sampleCount;
        ReceiveClock clock(state, count > 0 && count <= capacity ? times[count - 1] : 0.0);
        const qint64 streamStart = state.rxStreamStart;

        int at = 0;
        while (size - at >= 3) {
            const quint8 *frame = bytes + at;
            if (frame[0] == syncByte && frame[1] == syncByte) {
                const int length = static_cast<qint8>(frame[2]);
                if (length <= 0) {
                    // Often a stray sync byte before a real header: dropping one byte
                    // lets that header be read next.
                    ++pass.events;
                    ++pass.errors;
                    ++at;
                    continue;
                }
                if (size - at < length)
                    break;
                at += length;
                ++pass.events;
                if (length != feedbackFrameLength || frame[3] != feedbackType ||
                    static_cast<quint8>(byteSum(frame, 10)) != frame[10]) {
                    ++pass.errors;
                    continue;
                }
                if (count < 0 || count >= capacity) {
                    ++pass.dropped;
                    continue;
                }
                const FeedbackCodes codes = unpackFeedback(frame);
                const float position = fixedToFloat(codes.position, positionMin, positionMax, 16);
                const float velocity = fixedToFloat(codes.velocity, velocityMin, velocityMax, 12);
                const float current = fixedToFloat(codes.current, currentMin, currentMax, 12);
                positions[count] = position;
                velocities[count] = velocity;
                currents[count] = current;
                times[count] = clock.timeOf(streamStart + at);
                ++count;
                ++pass.stored;
                widen(position, positionLow, positionHigh);
                widen(velocity, velocityLow, velocityHigh);
                widen(current, currentLow, currentHigh);
            } else {
                ++pass.events;
                ++pass.errors;
                const int next = findHeader(bytes, at + 1, size);
                if (next >= 0)
                    at = next;
                else
                    // A final sync byte may be the first half of a header still arriving.
                    at = bytes[size - 1] == syncByte ? size - 1 : size;
            }
        }

        state.sampleCount = static_cast<qint32>(count);
        state.framesReceived += pass.stored + pass.dropped;
        state.decodePositionMin = positionLow;
        state.decodePositionMax = positionHigh;
        state.decodeVelocityMin = velocityLow;
        state.decodeVelocityMax = velocityHigh;
        state.decodeCurrentMin = currentLow;
        state.decodeCurrentMax = currentHigh;
        // Removing once per pass, not once per frame: each removal moves the rest of
        // the buffer, so per-frame removal would be quadratic in the buffer's length.
        if (at > 0)
            buffer.remove(0, at);
        pass.consumed = at;
        state.consumedReadNs = clock.readBefore(streamStart + at);
        state.readMarks.erase(state.readMarks.begin(),
                              state.readMarks.begin() + std::ptrdiff_t(clock.readsDone()));
        state.rxStreamStart = streamStart + at;
    }
    pass.historiesFull = state.sampleCount >= capacity;
    return pass;
}
