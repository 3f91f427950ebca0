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
    // binDir holds korvane-sim; by default the bin folder CTest names in KORVANE_BIN_DIR.
    explicit SimProcess(const QString &binDir = qEnvironmentVariable("KORVANE_BIN_DIR"));
    // Kills a simulator still running.
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts `<binDir>/korvane-sim --link <link> <arguments>` and waits up to 5 s for the
    // "device: <path>" line it prints once the terminal is open; false if none came.
    bool start(const QString &link, const QStringList &arguments = QStringList());
    // The pseudo-terminal named on the "device: " line.
    QString devicePath() const { return m_device; }
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    // Terminates the simulator if it still runs, waits up to 5 s for it to end and returns
    // the summary it printed, one "key: value" line each ("feedback frames sent" -> "1234").
    QMap<QString, QString> stop();
    // After stop(): whether the simulator ended by itself with exit code 0.
    bool exitedCleanly() const;

private:
    QString m_binDir;
    QString m_device;
    QProcess m_process;
};
