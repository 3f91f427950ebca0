#pragma once

#include "frames.h"

#include <QByteArray>
#include <QtGlobal>

// What the adapter makes of the bytes the host sends.
struct InputEvent
{
    enum Kind
    {
        DisplayRequest, // mode request for display mode
        ConfigRequest,  // mode request for configuration mode
        Control,        // command frame with a control payload for our motor
        Enter,          // enter motor mode
        Exit,           // leave motor mode
        Zero,           // set the present position as zero
        ConfigText      // one chunk of text for the firmware's menu
    };
    Kind kind = Control;
    PayloadCodes codes; // Control only
    QByteArray text;    // ConfigText only
};

// What an 8-byte command payload asks of the motor: a control command, or enter, exit
// or zero.
InputEvent payloadEvent(const quint8 *payload);

struct ParserCounts
{
    quint64 commandFrames = 0;   // good command frames for our motor, special ones included
    quint64 specialCommands = 0; // enter, exit and zero for our motor
    quint64 otherIdFrames = 0;   // good command frames addressed to another motor
    quint64 badFrames = 0;       // wrong checksum or unknown mode
    quint64 skippedBytes = 0;    // bytes outside any frame
    quint64 modeRequests = 0;
    quint64 configInputs = 0;
};

// Cuts the host's byte stream into events. In display mode the stream is binary
// frames: anything that is not a frame with a good checksum is skipped byte by byte
// until the next AA AF, so one bad byte costs at most one frame. In configuration
// mode the stream is text; only mode requests are cut out of it.
//
// Events are pulled one at a time so that the caller can switch the mode right
// after a mode request, before the bytes behind it are read.
class CommandParser
{
public:
    explicit CommandParser(int motorId);

    void append(const QByteArray &bytes);
    // Drops buffered bytes, e.g. the partial frame of a client that went away.
    void clear();
    void setConfigMode(bool on);
    bool configMode() const { return m_configMode; }

    // Takes the next complete event, or returns false when the buffered bytes hold
    // none yet (a partial frame stays buffered for the next append).
    bool next(InputEvent *event);

    const ParserCounts &counts() const { return m_counts; }

private:
    enum class Candidate
    {
        NeedMore,
        NotAFrame,
        BadChecksum,
        Good
    };
    Candidate frameAt(int pos, int *length) const;
    bool takeFrame(int pos, int length, InputEvent *event);
    bool nextBinary(InputEvent *event);
    bool nextText(InputEvent *event);
    void compact();

    QByteArray m_buffer;
    int m_pos = 0;
    quint8 m_motorId;
    bool m_configMode = true;
    ParserCounts m_counts;
};
