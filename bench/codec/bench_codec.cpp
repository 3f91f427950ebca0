// Decoder throughput through the same pass the codec worker runs, over 1 MiB of
// valid feedback frames and over the same frames with 10 % noise bytes between them.
// Prints frames decoded per second of the median pass.
#include "feedbackparser.h"
#include "frames.h"
#include "motorstate.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
constexpr int streamBytes = 1 << 20;

QByteArray frame(QRandomGenerator &rng)
{
    QByteArray f(feedbackFrameLength, '\0');
    const quint32 position = rng.bounded(65536), velocity = rng.bounded(4096),
                  current = rng.bounded(4096);
    const quint8 bytes[10] = {0xAA,
                              0xAA,
                              0x0B,
                              0x01,
                              quint8(position >> 8),
                              quint8(position),
                              quint8(velocity >> 4),
                              quint8(((velocity & 0xF) << 4) | (current >> 8)),
                              quint8(current),
                              0};
    std::memcpy(f.data(), bytes, 10);
    quint8 sum = 0;
    for (quint8 b : bytes)
        sum += b;
    f[10] = char(sum);
    return f;
}

// Frames until the stream holds 1 MiB; with noise, one byte in ten is a non-sync byte
// placed between frames.
QByteArray makeStream(bool noise, int &frames)
{
    QRandomGenerator rng(42);
    QByteArray out;
    out.reserve(streamBytes + 64);
    frames = 0;
    qint64 noiseBytes = 0;
    while (out.size() + feedbackFrameLength <= streamBytes) {
        while (noise && noiseBytes * 10 < qint64(out.size()) && out.size() < streamBytes) {
            char c;
            do
                c = char(rng.bounded(256));
            while (quint8(c) == syncByte);
            out += c;
            ++noiseBytes;
        }
        if (out.size() + feedbackFrameLength > streamBytes)
            break;
        out += frame(rng);
        ++frames;
    }
    return out;
}

void run(const char *name, bool noise)
{
    int frames = 0;
    const QByteArray stream = makeStream(noise, frames);
    MotorState state;
    for (History &h : state.histories)
        h.allocate(historyCapacity);
    state.timeHistory.allocate(historyCapacity);
    state.rxBuffer.reserve(rxBufferReserve);
    state.lineBaud = 921600;
    const Limits limits;
    // Reads of 184 bytes, what a 2 ms read period brings at 921600 baud, so the time
    // stamping does its usual work.
    constexpr int readBytes = 184;
    std::vector<ReadMark> marks;
    for (qint64 end = readBytes; end < stream.size() + readBytes; end += readBytes)
        marks.push_back({std::min<qint64>(end, stream.size()), end * 10852});

    // The median pass keeps other processes on a shared machine out of the figure.
    std::vector<qint64> passTimes;
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < 1500) {
        state.rxBuffer.resize(stream.size());
        std::memcpy(state.rxBuffer.data(), stream.constData(), std::size_t(stream.size()));
        state.sampleCount = 0;
        state.rxStreamStart = 0;
        state.readMarks = marks;
        QElapsedTimer t;
        t.start();
        const FeedbackPass pass = parseFeedback(state, limits);
        passTimes.push_back(t.nsecsElapsed());
        if (pass.stored != frames) {
            std::fprintf(stderr, "%s: decoded %d of %d frames\n", name, pass.stored, frames);
            return;
        }
    }
    std::nth_element(passTimes.begin(), passTimes.begin() + passTimes.size() / 2, passTimes.end());
    const qint64 median = passTimes[passTimes.size() / 2];
    std::printf("%s: %.1f Mframes/s\n", name, double(frames) * 1e3 / double(median));
}
} // namespace

int main()
{
    run("decode_valid", false);
    run("decode_noise10", true);
    return 0;
}
