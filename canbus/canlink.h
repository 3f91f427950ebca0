#pragma once

#include "canreply.h"
#include "writegrid.h"

#include <QCanBusDevice>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <mutex>

class QCanBusFrame;
class QSocketNotifier;
class QTimer;

// The link to the motor through a CAN interface that one of Qt's serial bus plugins
// serves. Lives in a worker thread; the device is created there on each connection.
// There is no adapter to switch: once open, the link is in display mode. While its loop
// runs it sends the command's 8-byte payload every 20 ms while sending is enabled, as a
// standard frame whose identifier is the motor ID, and decodes the motor's replies into
// the histories as they arrive.
class CanLink : public QObject
{
    Q_OBJECT
public:
    explicit CanLink(QObject *parent = nullptr);
    ~CanLink() override;

    // The interface the next connectLink() opens, e.g. "socketcan" and "can0". Called
    // from the window thread before it asks for the connection.
    void setInterface(const QString &plugin, const QString &name);

    // The loops run while set: the write loop every 20 ms and the decoding of replies.
    void setLoop(bool on);

signals:
    void connectFailed();
    void connectSucceed();
    void unConnectSucceed();
    void statusMsg(const QString &text);
    void msgBox(const QString &text);

public slots:
    void connectLink();
    void unConnect();
    // "" sends the packed command once; "enter", "exit" and "zero" the special frames.
    void sendOnce(const QString &word);

private:
    Q_INVOKABLE void startLoop();
    void writeWork();
    void framesArrived();
    void readFrames();
    void pauseReads();
    void resumeReads();
    void stateChanged(QCanBusDevice::CanBusDeviceState state);
    void deviceError(QCanBusDevice::CanBusError error);
    void failOpen(const QString &reason);
    void opened();
    void interrupted();
    void closeDevice();
    void writePayload(const QByteArray &frame);
    void report(int events, int errors);

    std::atomic<bool> loopRunning{false};
    QCanBusDevice *m_device = nullptr;
    bool m_opening = false;
    // Set when sendOnce wrote a frame the device has not sent yet: write passes queue
    // behind it instead of dropping it.
    bool m_oneShotQueued = false;
    std::mutex m_settingsLock;
    QString m_plugin;
    QString m_name;
    QString m_label; // "can0 (socketcan)", for messages
    QTimer *m_writeTimer;
    // Replies are taken in batches: a burst of framesReceived signals makes one read, and
    // the device's read notifiers then rest for a few milliseconds, so that a busy bus
    // wakes the thread a few hundred times a second instead of once for every frame.
    bool m_readQueued = false;
    QTimer *m_readPause;
    QList<QPointer<QSocketNotifier>> m_pausedNotifiers;
    WriteGrid m_writeGrid;
    ErrorRateReport m_rate;
};
