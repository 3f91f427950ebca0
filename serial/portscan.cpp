#include "portscan.h"

#include <QFile>

#include <utility>

#ifdef KORVANE_LINUX
#include <sys/stat.h>
#endif

SystemPortScan::SystemPortScan(QStringList watchedDirs, Enumerate enumerate)
    : m_watchedDirs(std::move(watchedDirs)), m_enumerate(std::move(enumerate))
{
}

QStringList SystemPortScan::defaultWatchedDirs()
{
    // Device nodes appear in /dev; udev adds its stable names a moment later.
    return {QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id"),
            QStringLiteral("/dev/serial/by-path")};
}

#ifdef KORVANE_LINUX

const bool SystemPortScan::watchesDirectories = true;

QByteArray SystemPortScan::directoryStamp() const
{
    QByteArray stamp;
    for (const QString &dir : m_watchedDirs) {
        struct stat st = {};
        if (::stat(QFile::encodeName(dir).constData(), &st) != 0) {
            stamp += "-;";
            continue;
        }
        stamp += QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' +
                 QByteArray::number(qint64(st.st_mtim.tv_nsec)) + '.' +
                 QByteArray::number(quint64(st.st_ino)) + ';';
    }
    return stamp;
}

QList<QSerialPortInfo> SystemPortScan::ports()
{
    const QByteArray stamp = directoryStamp();
    if (stamp != m_stamp && m_valid)
        m_settleLeft = settleCalls;
    m_stamp = stamp;
    if (m_valid && m_settleLeft == 0 && m_cachedCalls < maxCachedCalls) {
        ++m_cachedCalls;
        return m_ports;
    }
    if (m_settleLeft > 0)
        --m_settleLeft;
    return refresh();
}

#else

// Elsewhere serial devices need not live in a folder at all (Windows lists them in its
// registry), so nothing tells a change and every call enumerates.
const bool SystemPortScan::watchesDirectories = false;

QList<QSerialPortInfo> SystemPortScan::ports()
{
    return refresh();
}

#endif

QList<QSerialPortInfo> SystemPortScan::refresh()
{
    m_ports = m_enumerate();
    m_valid = true;
    m_cachedCalls = 0;
    return m_ports;
}
