#include "portentries.h"

#include <QCanBus>
#include <QFileInfo>

#include <algorithm>

QString PortEntry::itemText() const
{
    if (!canPlugin.isEmpty())
        return QStringLiteral("%1 (%2)").arg(name, canPlugin);
    return QStringLiteral("%1:%2,%3").arg(name, description, manufacturer);
}

namespace {
PortEntry canEntry(const QString &plugin, const QString &name, const QString &description)
{
    PortEntry e;
    e.name = name;
    e.description = description;
    e.location = plugin + QLatin1Char(':') + name;
    e.canPlugin = plugin;
    return e;
}
} // namespace

QList<PortEntry> CanPortScan::entries(const QString &namedPort)
{
    const QStringList installed = QCanBus::instance()->plugins();
    QStringList plugins = installed;
    if (qEnvironmentVariableIsSet("KORVANE_CAN_PLUGINS")) {
        const QStringList wanted =
            qEnvironmentVariable("KORVANE_CAN_PLUGINS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
        plugins.erase(std::remove_if(plugins.begin(), plugins.end(),
                                     [&](const QString &p) { return !wanted.contains(p); }),
                      plugins.end());
    } else {
        plugins.removeAll(QStringLiteral("virtualcan"));
        plugins.removeAll(QStringLiteral("tinycan"));
    }
    QList<PortEntry> entries;
    for (const QString &plugin : plugins) {
        if (m_failed.contains(plugin))
            continue;
        QString error;
        const auto devices = QCanBus::instance()->availableDevices(plugin, &error);
        if (!error.isEmpty())
            m_failed.append(plugin);
        for (const QCanBusDeviceInfo &device : devices)
            entries.append(canEntry(plugin, device.name(), device.description()));
    }
    const int colon = namedPort.indexOf(QLatin1Char(':'));
    const QString plugin = namedPort.left(colon);
    const bool listed = std::any_of(entries.cbegin(), entries.cend(),
                                    [&](const PortEntry &e) { return e.location == namedPort; });
    if (colon > 0 && colon + 1 < namedPort.size() && installed.contains(plugin) && !listed)
        entries.append(canEntry(plugin, namedPort.mid(colon + 1), QString()));
    return entries;
}

QList<PortEntry> availablePortEntries(const QList<QSerialPortInfo> &systemPorts,
                                      const QStringList &morePaths)
{
    QList<PortEntry> entries;
    // Pseudo-terminals (a simulator, an emulator) are never enumerated by the system;
    // the user names them instead. They come first: whoever names one means to use it.
    const QString extra = qEnvironmentVariable("KORVANE_EXTRA_PORTS");
    const auto paths = extra.split(QLatin1Char(':'), Qt::SkipEmptyParts) + morePaths;
    for (const QString &path : paths) {
        const QFileInfo file(path);
        if (!file.exists())
            continue;
        PortEntry e;
        e.name = path;
        e.description = QStringLiteral("Virtual serial port");
        e.manufacturer = file.isSymLink() ? file.symLinkTarget() : QString();
        e.location = path;
        e.isExtra = true;
        entries.append(e);
    }
    for (const QSerialPortInfo &info : systemPorts) {
        PortEntry e;
        e.info = info;
        e.name = info.portName();
        e.description = info.description();
        e.manufacturer = info.manufacturer();
        e.location = info.systemLocation();
        entries.append(e);
    }
    return entries;
}

QList<PortEntry> portEntriesWith(const QList<QSerialPortInfo> &systemPorts,
                                 const QString &namedPort)
{
    bool listed = namedPort.isEmpty();
    for (const QSerialPortInfo &info : systemPorts)
        listed = listed || info.systemLocation() == namedPort || info.portName() == namedPort;
    return availablePortEntries(systemPorts, listed ? QStringList() : QStringList{namedPort});
}

StartPortChoice chooseStartPort(const QList<PortEntry> &ports, const QString &wanted, bool named,
                                bool connectAsked)
{
    StartPortChoice choice;
    for (int i = 0; i < ports.size() && !wanted.isEmpty(); ++i) {
        if (ports.at(i).location == wanted || ports.at(i).name == wanted) {
            choice.index = i;
            break;
        }
    }
    const bool missing = named && !wanted.isEmpty() && choice.index < 0;
    if (missing)
        choice.message = QStringLiteral("Port %1 was not found.").arg(wanted);
    else if (connectAsked && ports.isEmpty())
        choice.message = QStringLiteral("No port to connect to.");
    choice.connect = connectAsked && !missing && !ports.isEmpty();
    return choice;
}

int baudRateFromText(const QString &text)
{
    bool ok = false;
    const int baud = text.toInt(&ok, 10);
    return ok ? baud : 0;
}
