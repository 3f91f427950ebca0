#pragma once

#include "commandparser.h"
#include "feedbackstream.h"
#include "motormodel.h"
#include "ptysimulator.h"
#include "simoptions.h"

#include <QByteArray>
#include <QObject>
#include <atomic>

class QCanBusDevice;
class QTimer;

// The motor alone on a CAN bus, through one of Qt's serial bus plugins. It takes 8-byte
// standard frames on its motor ID as commands (the control payload or one of the three
// special ones) and, from the moment the interface is open, streams replies at the
// feedback rate on identifier 0x100 + motor ID, outside the identifiers commands use:
// byte 0 the motor ID, bytes 1 to 5 the position, velocity and current codes as the
// adapter's feedback frame carries them, bytes 6 and 7 a 16-bit count of the replies sent
// before, so that a listener can tell how many it missed.
class CanSimulator : public QObject
{
    Q_OBJECT
public:
    explicit CanSimulator(const SimOptions &options, QObject *parent = nullptr);
    ~CanSimulator() override;

    // Opens the interface named by the options; false with the plugin's reason.
    bool open(QString *error);
    // Runs the event loop until `stop` turns non-zero, the duration or the hang-up time
    // is reached, or the interface goes away (Failed).
    PtySimulator::StopReason run(const std::atomic<int> &stop);
    void close();

    SimStats stats() const;
    // The summary lines of stats(), then the payload of the last control command.
    QStringList summary() const;

private:
    double elapsed() const;
    void readFrames();
    void produceReplies();
    void finish(PtySimulator::StopReason reason);

    SimOptions m_options;
    FeedbackPacer m_pacer;
    MotorModel m_model;
    QCanBusDevice *m_device = nullptr;
    QTimer *m_streamTimer;
    QTimer *m_watchTimer;
    const std::atomic<int> *m_stop = nullptr;
    PtySimulator::StopReason m_reason = PtySimulator::StopReason::Failed;
    std::chrono::steady_clock::time_point m_start;
    quint64 m_replies = 0;
    QByteArray m_lastControl;
    SimStats m_stats;
};
