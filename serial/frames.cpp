#include "frames.h"

#include "framemath.h"

#include <QQueue>
#include <cstring>

const quint8 toDisplayFrame[modeFrameLength] = {0xAA, 0xAF, 0x07, 0xA2, 0xA1, 0x01, 0xA4};
const quint8 toConfigFrame[modeFrameLength] = {0xAA, 0xAF, 0x07, 0xA2, 0xA2, 0x01, 0xA5};
const quint8 modeAckFrame[modeFrameLength] = {0xAA, 0xAA, 0x07, 0x02, 0x01, 0x00, 0x5E};
const quint8 fallbackFrameBytes[16] = {0xAA, 0xAF, 0x0F, 0xA1, 0x00, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x0B, 0x00};

quint8 enterFrame[16] = {0xAA, 0xAF, 0x0F, 0xA1, 0xFF, 0xFF, 0xFF, 0xFF,
                         0xFF, 0xFF, 0xFF, 0xFC, 0x01, 0x01, 0x00, 0x00};
quint8 exitFrame[16] = {0xAA, 0xAF, 0x0F, 0xA1, 0xFF, 0xFF, 0xFF, 0xFF,
                        0xFF, 0xFF, 0xFF, 0xFD, 0x01, 0x01, 0x01, 0x00};
quint8 zeroFrame[16] = {0xAA, 0xAF, 0x0F, 0xA1, 0xFF, 0xFF, 0xFF, 0xFF,
                        0xFF, 0xFF, 0xFF, 0xFE, 0x01, 0x01, 0x02, 0x00};

namespace {
struct PreparedFrame
{
    QString word;
    QByteArray bytes;
};
// Guarded by stateMutex, like the special frames themselves.
QQueue<PreparedFrame> preparedFrames;
} // namespace

void packPayload(const PayloadCodes &c, quint8 *payload)
{
    const quint32 p = static_cast<quint32>(c.position) & 0xFFFF;
    const quint32 v = static_cast<quint32>(c.velocity) & 0xFFF;
    const quint32 kp = static_cast<quint32>(c.kp) & 0xFFF;
    const quint32 kd = static_cast<quint32>(c.kd) & 0xFFF;
    const quint32 t = static_cast<quint32>(c.torque) & 0xFFF;
    payload[0] = static_cast<quint8>(p >> 8);
    payload[1] = static_cast<quint8>(p & 0xFF);
    payload[2] = static_cast<quint8>(v >> 4);
    payload[3] = static_cast<quint8>(((v & 0xF) << 4) | (kp >> 8));
    payload[4] = static_cast<quint8>(kp & 0xFF);
    payload[5] = static_cast<quint8>(kd >> 4);
    payload[6] = static_cast<quint8>(((kd & 0xF) << 4) | (t >> 8));
    payload[7] = static_cast<quint8>(t & 0xFF);
}

PayloadCodes unpackPayload(const quint8 *b)
{
    PayloadCodes c;
    c.position = b[0] * 256 + b[1];
    c.velocity = b[2] * 16 + (b[3] >> 4);
    c.kp = (b[3] & 0x0F) * 256 + b[4];
    c.kd = b[5] * 16 + (b[6] >> 4);
    c.torque = (b[6] & 0x0F) * 256 + b[7];
    return c;
}

void sealCommandFrame(quint8 *frame)
{
    frame[14] = static_cast<quint8>(byteSum(frame, 14) & 0xFF);
}

void buildCommandFrame(const PayloadCodes &codes, qint32 motorId, quint8 *frame)
{
    frame[0] = syncByte;
    frame[1] = hostSyncByte;
    frame[2] = commandFrameLength;
    frame[3] = commandType;
    packPayload(codes, frame + 4);
    frame[12] = static_cast<quint8>(static_cast<quint32>(motorId) & 0xFF);
    frame[13] = 0x01;
    sealCommandFrame(frame);
}

bool isModeAck(const QByteArray &reply)
{
    return reply.size() >= modeFrameLength &&
           std::memcmp(reply.constData(), modeAckFrame, modeFrameLength) == 0;
}

QByteArray frameBytes(const quint8 *frame, int length)
{
    return QByteArray(reinterpret_cast<const char *>(frame), length);
}

quint8 *specialFrameFor(const QString &word)
{
    if (word == QLatin1String("enter"))
        return enterFrame;
    if (word == QLatin1String("exit"))
        return exitFrame;
    if (word == QLatin1String("zero"))
        return zeroFrame;
    return nullptr;
}

void prepareSpecialFrame(const QString &word, quint32 motorId)
{
    quint8 *frame = specialFrameFor(word);
    if (!frame)
        return;
    frame[12] = static_cast<quint8>(motorId & 0xFF);
    sealCommandFrame(frame);
    preparedFrames.enqueue({word, frameBytes(frame, commandFrameLength)});
}

QByteArray takeSpecialFrame(const QString &word)
{
    const quint8 *frame = specialFrameFor(word);
    if (!frame)
        return QByteArray();
    for (int i = 0; i < preparedFrames.size(); ++i) {
        if (preparedFrames.at(i).word == word)
            return preparedFrames.takeAt(i).bytes;
    }
    return frameBytes(frame, commandFrameLength);
}

bool isNotPoweredChunk(const QByteArray &chunk)
{
    return !chunk.isEmpty() && static_cast<quint8>(chunk.at(0)) == 0xFF;
}

QString configTextFromChunk(const QByteArray &chunk)
{
    const int zero = chunk.indexOf('\0');
    const QByteArray text = zero < 0 ? chunk : chunk.left(zero);
    return QString::fromLatin1(text).simplified();
}
