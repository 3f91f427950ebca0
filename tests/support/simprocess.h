#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

// The korvane-sim program of this build, run as a separate process: the simulated adapter
// on a pseudo-terminal that a symbolic link of the test's choosing points to.
class SimProcess
{
public:
    // The simulator's own account of why it stopped goes to the test's log. A simulator
    // still running is killed with the object, as QProcess does.
    SimProcess() { m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel); }

    // Starts `korvane-sim --link <link> <arguments>` (no --link for an empty one) from the
    // bin folder CTest names in KORVANE_BIN_DIR and waits up to 5 s for the "device: <path>"
    // line it prints once the terminal or interface is open; false if none came.
    bool start(const QString &link, const QStringList &arguments = QStringList());
    // The pseudo-terminal named on the "device: " line.
    QString devicePath() const { return m_device; }
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    // Terminates the simulator if it still runs, waits up to 5 s for it to end and returns
    // the summary it printed, one "key: value" line each ("feedback frames sent" -> "1234").
    QMap<QString, QString> stop();
    // After stop(): whether the simulator ended by itself with exit code 0.
    bool exitedCleanly() const
    {
        return m_process.state() == QProcess::NotRunning &&
               m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

private:
    QString m_device;
    QProcess m_process;
};
