#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Command-line settings of the simulated adapter.
struct SimOptions
{
    // The ID the tool selects at start, so the two meet without a setting.
    int motorId = 0;
    double rate = 1000; // feedback frames per second asked for
    int baud = 921600;
    // "plugin:interface" to play the motor on a CAN bus; empty for the pseudo-terminal.
    QString can;
    int bitrate = 1000000; // of the CAN bus, for pacing
    QString link = QStringLiteral("/tmp/korvane-sim");
    int noise = 0;   // noise bytes per 100 feedback frames
    int corrupt = 0; // feedback frames in every 100 with a wrong checksum
    int refuseAcks = 0;
    int garbleAcks = 0;
    double hangupAfter = 0; // seconds; 0 never
    double duration = 0;    // seconds; 0 until stopped
    int frames = 0;         // feedback frames to produce in all; 0 without end
    bool notPowered = false;
    bool exitOnClose = false;
    quint32 seed = 1;
};

// Feedback frames per second a serial line of `baud` can carry: 11 bytes per frame,
// 10 bits per byte with start and stop bit.
double lineFrameRate(int baud);

// Replies per second a CAN bus of `bitrate` can carry: an 8-byte standard data frame is
// 111 bits with its gap, about 125 with the stuff bits of a typical payload.
double canFrameRate(int bitrate);

// The rate the simulator streams at: the one asked for, capped by the line or the bus.
double feedbackRate(const SimOptions &options);

enum class OptionsResult
{
    Run,
    Help,
    Version,
    Error
};

// Parses the program's arguments (the first being the program name). On Help the
// message holds the help text, on Version the version line, on Error a one-line reason.
OptionsResult parseSimOptions(const QStringList &arguments, SimOptions *options, QString *message);
