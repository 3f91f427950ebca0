#pragma once

#include "writegrid.h"

#include <QByteArray>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>

class QTimer;

// The serial link to the USB-CAN adapter. Lives in a worker thread of its own; the
// device it opens is a separate QSerialPort created on each connection (the base
// class's own device is never opened). While display mode runs, two self re-arming
// loops watch the port for fatal errors and, every 20 ms, move received bytes into the
// shared receive buffer and send the command frame while sending is enabled.
class MySerialPort : public QSerialPort
{
    Q_OBJECT
public:
    explicit MySerialPort(QObject *parent = nullptr);
    ~MySerialPort() override;

    // Makes the next connect() open this device path (for devices that
    // QSerialPortInfo cannot describe, such as pseudo-terminals).
    void setPortLocation(const QString &path);

signals:
    void appendConfigText(const QString &text);
    void connectFailed();
    void connectSucceed();
    void unConnectFailed();
    void unConnectSucceed();
    void toDisplaySecceed();
    void toDisplayFailed();
    void toConfigSecceed();
    void toConfigFailed();
    void statusMsg(const QString &text);
    void msgBox(const QString &text);

public slots:
    void sendConfigText(const QString &text);
    void changeToDisplay();
    void changeToConfig();
    void checkChange();
    void setLoop(bool on);
    void writeWork();
    void readWork();
    void configModeReadWork();
    void setInfo(const QSerialPortInfo &info);
    void setBaud(int baud);
    void checkIOError();
    void sendOnce(const QString &word);
    bool connect();
    bool unConnect();
    bool dataEqual(QByteArray *data, char *bytes, int n);

private:
    // Queued here by name from other threads: timers and the port may only be used
    // on the worker's own thread.
    Q_INVOKABLE void startLoopTimers();
    Q_INVOKABLE void closePortForCaller();

    bool portOpen() const;
    // Everything received and not yet taken, in the order it arrived.
    QByteArray takeInput();
    void requestMode(int mode, const quint8 *frame);
    void setConfigTextHandling(bool on);
    void setStreaming(bool on);
    void closePort();
    void closePortOnWorkerThread();

    std::atomic<bool> loopRunning{false};
    QSerialPort *port = nullptr;
    qint32 baudRate = 0;
    quint8 fallbackFrame[16];
    QSerialPortInfo portInfo;
    qint32 requestedMode = -1;
    // Set when sendOnce wrote a frame: until the port has written it out, write passes
    // queue behind it instead of discarding it, so a one-shot command is never lost to
    // the periodic one.
    bool m_oneShotQueued = false;
    // The last error check found a read error or a lost resource (and cleared it).
    bool m_readErrorSeen = false;

    // Guards portInfo, m_portLocation and baudRate, which the window thread sets
    // directly just before it asks this thread to connect.
    mutable std::mutex m_settingsLock;
    QString m_portLocation;

    // Guards the port pointer against a close from another thread, and counts the
    // closes done for such callers.
    std::mutex m_portLock;
    std::condition_variable m_portClosed;
    quint64 m_closeRequests = 0;
    quint64 m_closesDone = 0;

    QTimer *m_writeTimer;
    QTimer *m_errorTimer;
    QTimer *m_modeTimer;
    WriteGrid m_writeGrid;
};
