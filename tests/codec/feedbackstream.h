#pragma once

#include <QByteArray>
#include <numeric>

// One 11-byte feedback frame of the adapter, with a good or a wrong checksum.
inline QByteArray feedbackFrame(int position, int velocity, int current, bool goodChecksum = true)
{
    QByteArray f = QByteArray::fromHex("aaaa0b01");
    for (int b :
         {position >> 8, position, velocity >> 4, (velocity & 0xF) << 4 | current >> 8, current, 0})
        f += char(b);
    return f + char(std::accumulate(f.cbegin(), f.cend(), goodChecksum ? 0 : 1));
}
