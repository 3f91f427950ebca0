#include "simprocess.h"

SimProcess::SimProcess(const QString &binDir) : m_binDir(binDir)
{
    // The simulator's own account of why it stopped goes to the test's log.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SimProcess::~SimProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool SimProcess::start(const QString &link, const QStringList &arguments)
{
    m_process.start(m_binDir + QStringLiteral("/korvane-sim"),
                    QStringList{QStringLiteral("--link"), link} + arguments);
    if (!m_process.waitForStarted(5000))
        return false;
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
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    QMap<QString, QString> summary;
    for (const QByteArray &line : m_process.readAllStandardOutput().split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0)
            summary.insert(QString::fromLatin1(line.left(colon)).trimmed(),
                           QString::fromLatin1(line.mid(colon + 1)).trimmed());
    }
    return summary;
}

bool SimProcess::exitedCleanly() const
{
    return m_process.state() == QProcess::NotRunning &&
           m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}
