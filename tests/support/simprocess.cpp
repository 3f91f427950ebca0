#include "simprocess.h"

bool SimProcess::start(const QString &link, const QStringList &arguments)
{
    m_process.start(qEnvironmentVariable("KORVANE_BIN_DIR") + QStringLiteral("/korvane-sim"),
                    (link.isEmpty() ? QStringList() : QStringList{QStringLiteral("--link"), link}) +
                        arguments);
    // Waiting for output waits for the start too.
    while (!m_process.canReadLine())
        if (!m_process.waitForReadyRead(5000))
            return false;
    const QByteArray line = m_process.readLine().trimmed();
    if (!line.startsWith("device: "))
        return false;
    m_device = QString::fromLocal8Bit(line.mid(8));
    return true;
}

QMap<QString, QString> SimProcess::stop()
{
    m_process.terminate(); // nothing to do if it has ended
    m_process.waitForFinished(5000);
    QMap<QString, QString> summary;
    for (const QByteArray &line : m_process.readAllStandardOutput().split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0)
            summary.insert(QString::fromLatin1(line.left(colon)).trimmed(),
                           QString::fromLatin1(line.mid(colon + 1)).trimmed());
    }
    return summary;
}
