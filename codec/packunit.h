#pragma once

#include <QObject>
#include <QString>

#include <atomic>

class QTimer;

// The frame codec worker: packs the command parameters into the command frame and
// decodes the feedback bytes the serial worker collects.
//
// Lives in a thread of its own. setLoop and rePack may also be called directly
// from the window thread: setLoop only touches the atomic flag and arms the next
// pass on the worker's thread, rePack touches shared state only under stateMutex.
class PackUnit : public QObject
{
    Q_OBJECT
public:
    explicit PackUnit(QObject *parent = nullptr);

    // How every error-rate report begins, so the window can tell it from other texts.
    static QString errorRatePrefix();

    // The decoding loop re-arms itself while set.
    std::atomic<bool> loopRunning{false};
    // Events that were not good frames, and all events, since the last report.
    // Touched only on the worker's thread.
    qint32 errorCount = 0;
    qint32 frameCount = 0;

signals:
    void statusMsg(QString text);
    void msgBox(QString text);

public slots:
    void setLoop(bool on);
    void readWork();
    void rePack();

private:
    void schedulePass();

    // One single-shot timer for the next pass: arming it again while it is pending
    // restarts it, so however often the loop is switched on only one loop runs.
    QTimer *m_passTimer;
    bool m_fullReported = false;
    // The last error-rate text emitted, and whether the next one is emitted even if equal.
    QString m_lastRateText;
    std::atomic<bool> m_reportNextRate{true};
};
