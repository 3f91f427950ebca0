#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <unistd.h>

// The fields of /proc/self/stat after the process name, so that index 0 is the
// state (field 3 of the whole line) and the kernel's field n is index n - 3.
inline QList<QByteArray> procSelfStat()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2).split(' ');
}

// Clock ticks (utime, stime, starttime) as seconds.
inline double ticksToSeconds(double ticks)
{
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}
