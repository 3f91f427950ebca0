#pragma once

#include <QByteArray>
#include <QList>
#include <QSerialPortInfo>
#include <QStringList>

#include <functional>

// The ports the operating system enumerates, asked for once a second by the window.
// Enumeration walks udev and sysfs and costs milliseconds each time, so it is repeated
// only when the device directories have changed (and for a few calls after, while udev
// catches up with a new device), and otherwise once a minute as a safety net. Where
// the directories cannot be watched (see watchesDirectories), every call enumerates.
class SystemPortScan
{
public:
    using Enumerate = std::function<QList<QSerialPortInfo>()>;

    explicit SystemPortScan(QStringList watchedDirs = defaultWatchedDirs(),
                            Enumerate enumerate = &QSerialPortInfo::availablePorts);

    // The ports as of this call, enumerated again only when something may have changed.
    QList<QSerialPortInfo> ports();
    // A fresh enumeration, whatever the directories say.
    QList<QSerialPortInfo> refresh();

    static QStringList defaultWatchedDirs();

    // Calls that enumerate again after a change is seen, and the longest run of calls
    // answered from the last enumeration.
    static constexpr int settleCalls = 3;
    static constexpr int maxCachedCalls = 59;
    // True on Linux, whose device directories tell a change by their modification times.
    static const bool watchesDirectories;

private:
    QByteArray directoryStamp() const;

    QStringList m_watchedDirs;
    Enumerate m_enumerate;
    QByteArray m_stamp;
    QList<QSerialPortInfo> m_ports;
    bool m_valid = false;
    int m_settleLeft = 0;
    int m_cachedCalls = 0;
};
