#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Every byte that crosses the serial line to the USB-CAN adapter.
//
// Frames from the computer start AA AF, frames from the adapter AA AA; byte 2 is
// the whole frame's length and the last byte the low 8 bits of the sum of the
// bytes before it.

constexpr int commandFrameLength = 15;
constexpr int feedbackFrameLength = 11;
constexpr int modeFrameLength = 7;
constexpr int payloadLength = 8;

constexpr quint8 syncByte = 0xAA;
constexpr quint8 hostSyncByte = 0xAF;
constexpr quint8 commandType = 0xA1;
constexpr quint8 modeRequestType = 0xA2;
constexpr quint8 feedbackType = 0x01;

extern const quint8 toDisplayFrame[modeFrameLength];
extern const quint8 toConfigFrame[modeFrameLength];
extern const quint8 modeAckFrame[modeFrameLength];
// All-zero payload, motor ID 1: what the write loop sends before anything was packed.
extern const quint8 fallbackFrameBytes[16];

// The three special commands. Their payloads are fixed; the window fills in the
// motor ID and checksum just before each send (see prepareSpecialFrame).
extern quint8 enterFrame[16];
extern quint8 exitFrame[16];
extern quint8 zeroFrame[16];

// The five fixed-point codes of a control payload.
struct PayloadCodes
{
    qint32 position = 0; // 16 bits
    qint32 velocity = 0; // 12 bits
    qint32 kp = 0;       // 12 bits
    qint32 kd = 0;       // 12 bits
    qint32 torque = 0;   // 12 bits
};

// The three codes of a feedback frame.
struct FeedbackCodes
{
    qint32 position = 0; // 16 bits
    qint32 velocity = 0; // 12 bits
    qint32 current = 0;  // 12 bits
};

// Packs the codes big-endian and bit-packed into 8 payload bytes. Bits above each
// field's width are dropped.
void packPayload(const PayloadCodes &codes, quint8 *payload);
PayloadCodes unpackPayload(const quint8 *payload);

// Writes a whole 15-byte command frame: header, payload, motor ID (low 8 bits),
// the constant 01 and the checksum.
void buildCommandFrame(const PayloadCodes &codes, qint32 motorId, quint8 *frame);

// Sets byte 14 of a 15-byte frame to the low 8 bits of the sum of bytes 0 to 13.
void sealCommandFrame(quint8 *frame);

inline FeedbackCodes unpackFeedback(const quint8 *f)
{
    FeedbackCodes c;
    c.position = f[4] * 256 + f[5];
    c.velocity = f[6] * 16 + (f[7] >> 4);
    c.current = (f[7] & 0x0F) * 256 + f[8];
    return c;
}

// True when `reply` starts with the 7 bytes of the mode acknowledgement.
bool isModeAck(const QByteArray &reply);

QByteArray frameBytes(const quint8 *frame, int length);

// The special frame for a command word ("enter", "exit", "zero"), or null for any
// other word (case-sensitive).
quint8 *specialFrameFor(const QString &word);

// Completes the special frame for `word` with `motorId` and a fresh checksum and
// queues a copy for the serial worker, so each send writes exactly the bytes
// prepared for it even if the user clicks again before the first is handled.
// The caller must hold stateMutex.
void prepareSpecialFrame(const QString &word, quint32 motorId);

// The bytes to write for a special command word: the oldest prepared copy for
// that word, else the frame as it stands. Empty for any other word.
// The caller must hold stateMutex.
QByteArray takeSpecialFrame(const QString &word);

// Text from the firmware in configuration mode: a chunk starting with FF means the
// motor is not powered; otherwise Latin-1 up to the first zero byte, white space
// simplified.
bool isNotPoweredChunk(const QByteArray &chunk);
QString configTextFromChunk(const QByteArray &chunk);
