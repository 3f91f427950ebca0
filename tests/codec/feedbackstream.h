#pragma once

#include <QByteArray>
#include <QtGlobal>

// Builds the adapter's 11-byte feedback frames for the codec tests.
inline QByteArray feedbackFrame(int position, int velocity, int current, bool goodChecksum = true)
{
    QByteArray f(11, '\0');
    f[0] = char(0xAA);
    f[1] = char(0xAA);
    f[2] = char(0x0B);
    f[3] = char(0x01);
    f[4] = char(position >> 8);
    f[5] = char(position & 0xFF);
    f[6] = char(velocity >> 4);
    f[7] = char(((velocity & 0xF) << 4) | (current >> 8));
    f[8] = char(current & 0xFF);
    quint8 sum = 0;
    for (int i = 0; i < 10; ++i)
        sum += quint8(f[i]);
    f[10] = char(goodChecksum ? sum : quint8(sum + 1));
    return f;
}

inline QByteArray repeated(const QByteArray &frame, int times)
{
    QByteArray out;
    for (int i = 0; i < times; ++i)
        out += frame;
    return out;
}
