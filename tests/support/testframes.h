#pragma once

// Frames that several suites put on the line or expect from it, written out by the protocol's
// rules (AA AF from the computer, AA AA from the adapter, byte 2 the length, the last byte the
// low 8 bits of the sum of the others), never built with the product's own helpers.
#include <QByteArray>

#include <numeric>

// The protocol's worked command: position 1, velocity 2, Kp 10, Kd 1, torque 0.5 for motor 3
// under the default limits.
inline const QByteArray workedCommand = QByteArray::fromHex("aaaf0fa1815685a0513338380301fd");
// What the write loop sends before anything was packed: all-zero codes for motor 1.
inline const QByteArray fallbackCommand = QByteArray::fromHex("aaaf0fa1000000000000000001010b");
inline const QByteArray toDisplayRequest = QByteArray::fromHex("aaaf07a2a101a4");
inline const QByteArray toConfigRequest = QByteArray::fromHex("aaaf07a2a201a5");
// The adapter's answer to either mode request.
inline const QByteArray modeAck = QByteArray::fromHex("aaaa070201005e");

// One 11-byte feedback frame with these codes (16-bit position, 12-bit velocity and current),
// with a good or a wrong checksum.
inline QByteArray feedbackFrame(int position, int velocity, int current, bool goodChecksum = true)
{
    QByteArray f = QByteArray::fromHex("aaaa0b01");
    for (int b :
         {position >> 8, position, velocity >> 4, (velocity & 0xF) << 4 | current >> 8, current, 0})
        f += char(b);
    return f + char(std::accumulate(f.cbegin(), f.cend(), goodChecksum ? 0 : 1));
}

// The protocol's worked feedback frame: codes 32768, 2048 and 2048, the middle of each range.
inline const QByteArray workedFeedback = QByteArray::fromHex("aaaa0b0180008008000068");
