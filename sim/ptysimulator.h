#pragma once

#include "commandparser.h"
#include "configmenu.h"
#include "feedbackstream.h"
#include "motormodel.h"
#include "simoptions.h"

#include <QByteArray>
#include <QStringList>
#include <QVector>
#include <atomic>
#include <chrono>
#include <signal.h>

struct SimStats
{
    quint64 feedbackSent = 0;    // feedback frames fully written to the terminal
    quint64 feedbackDropped = 0; // due while the client had the device closed or full
    quint64 acks = 0;
    quint64 refusedAcks = 0;
    quint64 garbledAcks = 0;
    double displaySeconds = 0; // time spent streaming to an open client
    ParserCounts input;
};

// Summary lines printed when the simulator stops, "name: value" each.
QStringList summaryLines(const SimStats &stats);

// The simulated adapter on the master side of a pseudo-terminal. The client (the
// tool) opens the slave side; it may close and reopen it any number of times, and
// nothing is written while it is closed, so a missing client never blocks the
// simulator or fills its memory.
class PtySimulator
{
public:
    enum class StopReason
    {
        Signal,
        Duration,
        Hangup,
        ClientClosed,
        Failed
    };

    explicit PtySimulator(const SimOptions &options);
    ~PtySimulator();
    PtySimulator(const PtySimulator &) = delete;
    PtySimulator &operator=(const PtySimulator &) = delete;

    // Creates the terminal in raw mode and the symbolic link to its slave side.
    bool open(QString *error);
    QString devicePath() const { return m_devicePath; }

    // Serves the client until `stop` turns non-zero, the duration or the hang-up
    // time is reached, or (with exitOnClose) the client closes the device. Signals
    // are expected to be blocked by the caller; `waitMask` is the mask in effect while
    // waiting, so a signal can only arrive there and is never missed.
    StopReason run(const std::atomic<int> &stop, const sigset_t *waitMask);

    // Closes the terminal (the client sees a hang-up) and removes the link.
    void close();

    SimStats stats() const;

private:
    using Clock = std::chrono::steady_clock;

    double elapsed() const;
    bool clientHungUp() const;
    void clientOpened(double now);
    void clientClosed(double now);
    bool readInput();
    void handleInput(double now);
    void answerModeRequest(bool display, double now);
    void produceFeedback(double now);
    void flushOutput();
    void discardOutput();
    void setStreaming(bool on, double now);

    SimOptions m_options;
    FeedbackPacer m_pacer;
    int m_master = -1;
    QString m_devicePath;
    bool m_linkCreated = false;
    Clock::time_point m_start;

    CommandParser m_parser;
    MotorModel m_model;
    FeedbackStream m_feedback;
    ConfigMenu m_menu;

    bool m_clientOpen = false;
    bool m_clientSeen = false;
    bool m_displayMode = false;
    bool m_streaming = false;
    double m_streamSince = 0;
    int m_refuseLeft;
    int m_garbleLeft;

    // The bytes of the next write, and where each feedback frame in them ends.
    QByteArray m_output;
    QVector<int> m_frameEnds;
    // m_output starts with the rest of a frame the terminal took only part of.
    bool m_tailPending = false;
    SimStats m_stats;
};
