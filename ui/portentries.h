#pragma once

#include <QList>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>

// One entry of the port list: a port the operating system enumerates, a device path
// named in KORVANE_EXTRA_PORTS or on the command line (a pseudo-terminal, which is never
// enumerated), or a CAN interface of one of Qt's bus plugins (location "plugin:name").
struct PortEntry
{
    QSerialPortInfo info;
    QString name;
    QString description;
    QString manufacturer;
    QString location;
    bool isExtra = false;
    QString canPlugin; // empty for a serial port

    QString itemText() const;
};

// The CAN interfaces that Qt's bus plugins report, as entries "can0 (socketcan)", for the
// plugins named in KORVANE_CAN_PLUGINS (separated by colons). When it is unset, every
// plugin but those that list interfaces with no hardware behind them: Qt's virtual bus
// (always can0 and can1) and tinycan (always can0.0). A plugin that cannot list its
// interfaces (its vendor library is missing) is asked no more.
class CanPortScan
{
public:
    // `namedPort` ("virtualcan:can0", from the command line; may be empty) is listed
    // last if it names an interface of an installed plugin that the scan left out.
    QList<PortEntry> entries(const QString &namedPort = QString());

private:
    QStringList m_failed;
};

// The extra device paths that exist (those of KORVANE_EXTRA_PORTS, then `morePaths`),
// then the system's ports in its order.
QList<PortEntry> availablePortEntries(const QList<QSerialPortInfo> &systemPorts,
                                      const QStringList &morePaths = {});

// The port list when `namedPort` (a path or name from the command line; may be empty)
// is to be listed even if the system does not list it.
QList<PortEntry> portEntriesWith(const QList<QSerialPortInfo> &systemPorts,
                                 const QString &namedPort);

// What to do with the port asked for at start-up, once the list has been read.
struct StartPortChoice
{
    int index = -1; // the entry to select; -1 to leave the selection
    bool connect = false;
    QString message; // for the status line; empty for none
};

// `wanted` is a location or name (empty for none), `named` says it came from the
// command line rather than from the remembered settings, `connectAsked` that the
// command line asked to connect. A port named on the command line that is not there is
// said, and then nothing is opened: never a port other than the one asked for.
StartPortChoice chooseStartPort(const QList<PortEntry> &ports, const QString &wanted, bool named,
                                bool connectAsked);

// The baud rate in the baud box's text; a text that is not a decimal number gives 0.
int baudRateFromText(const QString &text);
