#include "commandparser.h"

#include "framemath.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr quint8 modeRequestHeader[4] = {syncByte, hostSyncByte, modeFrameLength, modeRequestType};
constexpr quint8 displayModeByte = 0xA1;
constexpr quint8 configModeByte = 0xA2;

bool isSpecialPayload(const quint8 *payload)
{
    for (int i = 0; i < payloadLength - 1; ++i) {
        if (payload[i] != 0xFF)
            return false;
    }
    return payload[payloadLength - 1] >= 0xFC && payload[payloadLength - 1] <= 0xFE;
}
} // namespace

InputEvent payloadEvent(const quint8 *payload)
{
    InputEvent event;
    if (isSpecialPayload(payload)) {
        const quint8 last = payload[payloadLength - 1];
        event.kind = last == 0xFC   ? InputEvent::Enter
                     : last == 0xFD ? InputEvent::Exit
                                    : InputEvent::Zero;
        return event;
    }
    event.kind = InputEvent::Control;
    event.codes = unpackPayload(payload);
    return event;
}

CommandParser::CommandParser(int motorId) : m_motorId(static_cast<quint8>(motorId & 0xFF))
{
}

void CommandParser::append(const QByteArray &bytes)
{
    m_buffer.append(bytes);
}

void CommandParser::clear()
{
    m_buffer.clear();
    m_pos = 0;
}

void CommandParser::setConfigMode(bool on)
{
    m_configMode = on;
}

bool CommandParser::next(InputEvent *event)
{
    const bool found = m_configMode ? nextText(event) : nextBinary(event);
    if (!found)
        compact();
    return found;
}

CommandParser::Candidate CommandParser::frameAt(int pos, int *length) const
{
    const auto *b = reinterpret_cast<const quint8 *>(m_buffer.constData()) + pos;
    const int available = m_buffer.size() - pos;
    for (int i = 0; i < 4; ++i) {
        if (i >= available)
            return Candidate::NeedMore;
        if (i < 2 && b[i] != (i == 0 ? syncByte : hostSyncByte))
            return Candidate::NotAFrame;
    }
    const bool command = b[2] == commandFrameLength && b[3] == commandType;
    const bool modeRequest = b[2] == modeFrameLength && b[3] == modeRequestType;
    if (!command && !modeRequest)
        return Candidate::NotAFrame;
    *length = b[2];
    if (available < *length)
        return Candidate::NeedMore;
    if ((byteSum(b, *length - 1) & 0xFF) != b[*length - 1])
        return Candidate::BadChecksum;
    if (modeRequest && b[4] != displayModeByte && b[4] != configModeByte)
        return Candidate::BadChecksum;
    return Candidate::Good;
}

// Consumes the good frame at `pos`; false when it yields no event (another motor).
bool CommandParser::takeFrame(int pos, int length, InputEvent *event)
{
    const auto *b = reinterpret_cast<const quint8 *>(m_buffer.constData()) + pos;
    m_pos = pos + length;
    if (b[3] == modeRequestType) {
        ++m_counts.modeRequests;
        event->kind =
            b[4] == displayModeByte ? InputEvent::DisplayRequest : InputEvent::ConfigRequest;
        return true;
    }
    if (b[12] != m_motorId) {
        ++m_counts.otherIdFrames;
        return false;
    }
    ++m_counts.commandFrames;
    *event = payloadEvent(b + 4);
    if (event->kind != InputEvent::Control)
        ++m_counts.specialCommands;
    return true;
}

bool CommandParser::nextBinary(InputEvent *event)
{
    while (m_pos < m_buffer.size()) {
        int length = 0;
        switch (frameAt(m_pos, &length)) {
        case Candidate::NeedMore:
            return false;
        case Candidate::BadChecksum:
            ++m_counts.badFrames;
            // The bad frame's bytes may hide the start of a good one.
            ++m_pos;
            break;
        case Candidate::NotAFrame:
            ++m_counts.skippedBytes;
            ++m_pos;
            break;
        case Candidate::Good:
            if (takeFrame(m_pos, length, event))
                return true;
            break;
        }
    }
    return false;
}

bool CommandParser::nextText(InputEvent *event)
{
    const int size = m_buffer.size();
    const auto *b = reinterpret_cast<const quint8 *>(m_buffer.constData());
    // Only the first sync byte of a mode request can end a chunk of text; a partial
    // header at the very end is held back until the next append tells what it is.
    int end = m_pos;
    while (end < size) {
        if (b[end] == syncByte) {
            const int tail = std::min(4, size - end);
            if (std::memcmp(b + end, modeRequestHeader, tail) == 0)
                break;
        }
        ++end;
    }
    if (end > m_pos) {
        event->kind = InputEvent::ConfigText;
        event->text = m_buffer.mid(m_pos, end - m_pos);
        m_pos = end;
        ++m_counts.configInputs;
        return true;
    }
    if (m_pos >= size)
        return false;
    int length = 0;
    switch (frameAt(m_pos, &length)) {
    case Candidate::NeedMore:
        return false;
    case Candidate::Good:
        return takeFrame(m_pos, length, event);
    case Candidate::BadChecksum:
    case Candidate::NotAFrame:
        ++m_counts.badFrames;
        break;
    }
    // A damaged request is passed on as text, as the firmware would see it.
    event->kind = InputEvent::ConfigText;
    event->text = m_buffer.mid(m_pos, modeFrameLength);
    m_pos += modeFrameLength;
    ++m_counts.configInputs;
    return true;
}

void CommandParser::compact()
{
    m_buffer.remove(0, m_pos);
    m_pos = 0;
}
