#include "ptysimulator.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
// How often a closed terminal is checked for a new client.
constexpr double reopenCheckSeconds = 0.01;
constexpr double idleWaitSeconds = 0.02;
// At high rates frames go out in batches of at least this interval's worth.
constexpr double minBatchSeconds = 0.001;

const quint8 garbledAck[modeFrameLength] = {0xAA, 0xAA, 0x07, 0x02, 0x00, 0x00, 0x5D};

timespec toTimespec(double seconds)
{
    seconds = std::max(seconds, 0.0);
    timespec ts;
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - double(ts.tv_sec)) * 1e9);
    return ts;
}

QString errnoText()
{
    return QString::fromLocal8Bit(strerror(errno));
}
} // namespace

QStringList summaryLines(const SimStats &s)
{
    const double rate = s.displaySeconds > 0 ? double(s.feedbackSent) / s.displaySeconds : 0;
    auto line = [](const char *name, quint64 value) {
        return QStringLiteral("%1: %2").arg(QLatin1String(name)).arg(value);
    };
    return {line("feedback frames sent", s.feedbackSent),
            line("feedback frames dropped", s.feedbackDropped),
            QStringLiteral("feedback rate: %1 frames/s").arg(rate, 0, 'f', 1),
            line("command frames received", s.input.commandFrames),
            line("special commands", s.input.specialCommands),
            line("frames for other motors", s.input.otherIdFrames),
            line("bad frames", s.input.badFrames),
            line("skipped bytes", s.input.skippedBytes),
            line("mode requests", s.input.modeRequests),
            line("mode replies refused", s.refusedAcks),
            line("mode replies garbled", s.garbledAcks),
            line("configuration inputs", s.input.configInputs)};
}

PtySimulator::PtySimulator(const SimOptions &options)
    : m_options(options), m_pacer(1.0 / feedbackRate(options), options.frames),
      m_parser(options.motorId), m_feedback(options.noise, options.corrupt, options.seed),
      m_menu(options.motorId, options.notPowered), m_refuseLeft(options.refuseAcks),
      m_garbleLeft(options.garbleAcks)
{
}

PtySimulator::~PtySimulator()
{
    close();
}

bool PtySimulator::open(QString *error)
{
    termios raw{};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    int slave = -1;
    char name[256] = {};
    if (openpty(&m_master, &slave, name, &raw, nullptr) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(errnoText());
        return false;
    }
    // Closing our own slave leaves the terminal hung up until a client opens it, the
    // same state as after a client closes it.
    ::close(slave);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    m_devicePath = QFile::decodeName(name);

    const QByteArray link = QFile::encodeName(m_options.link);
    struct stat st;
    if (lstat(link.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *error = QStringLiteral("%1 exists and is not a symbolic link").arg(m_options.link);
        return false;
    }
    // Built beside the link and renamed over it, so the link never points nowhere.
    const QByteArray temporary = link + ".tmp" + QByteArray::number(getpid());
    ::unlink(temporary.constData());
    if (symlink(name, temporary.constData()) != 0 ||
        rename(temporary.constData(), link.constData()) != 0) {
        *error = QStringLiteral("cannot create the link %1: %2").arg(m_options.link, errnoText());
        ::unlink(temporary.constData());
        return false;
    }
    m_linkCreated = true;
    m_start = Clock::now();
    return true;
}

void PtySimulator::close()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    if (m_linkCreated) {
        // Only our own link: another simulator may have taken the name over since.
        if (QFile::symLinkTarget(m_options.link) == m_devicePath)
            ::unlink(QFile::encodeName(m_options.link).constData());
        m_linkCreated = false;
    }
}

SimStats PtySimulator::stats() const
{
    SimStats s = m_stats;
    s.input = m_parser.counts();
    if (m_streaming)
        s.displaySeconds += elapsed() - m_streamSince;
    return s;
}

double PtySimulator::elapsed() const
{
    return std::chrono::duration<double>(Clock::now() - m_start).count();
}

PtySimulator::StopReason PtySimulator::run(const std::atomic<int> &stop, const sigset_t *waitMask)
{
    if (m_master < 0)
        return StopReason::Failed;
    while (true) {
        if (stop.load() != 0)
            return StopReason::Signal;
        if (m_options.exitOnClose && m_clientSeen && !m_clientOpen)
            return StopReason::ClientClosed;
        const double now = elapsed();
        if (m_options.duration > 0 && now >= m_options.duration)
            return StopReason::Duration;
        if (m_options.hangupAfter > 0 && now >= m_options.hangupAfter) {
            setStreaming(false, now);
            close();
            return StopReason::Hangup;
        }

        // Input first: a mode request that has arrived must be answered before more
        // feedback goes out, or the feedback would land in front of the reply.
        if (m_clientOpen) {
            if (readInput())
                handleInput(now);
            else
                clientClosed(now);
        }
        produceFeedback(now);
        m_model.advanceTo(now);
        flushOutput();

        double wait = idleWaitSeconds;
        if (!m_clientOpen)
            wait = reopenCheckSeconds;
        else if (m_streaming)
            wait = std::max(m_pacer.nextDue() - now, minBatchSeconds);
        if (m_options.duration > 0)
            wait = std::min(wait, m_options.duration - now);
        if (m_options.hangupAfter > 0)
            wait = std::min(wait, m_options.hangupAfter - now);
        const timespec timeout = toTimespec(wait);

        if (m_clientOpen) {
            // Whatever ends the wait (input, hang-up, timer, signal), the next pass
            // reads what arrived and notices a hang-up by the read's EIO.
            // Room in the terminal also ends it while the rest of a frame waits.
            pollfd fd{m_master, short(POLLIN | (m_output.isEmpty() ? 0 : POLLOUT)), 0};
            ppoll(&fd, 1, &timeout, waitMask);
        } else {
            // A hung-up master polls readable at once, so it is only looked at
            // between sleeps.
            ppoll(nullptr, 0, &timeout, waitMask);
            if (!clientHungUp())
                clientOpened(elapsed());
        }
    }
}

bool PtySimulator::clientHungUp() const
{
    pollfd fd{m_master, POLLIN, 0};
    return poll(&fd, 1, 0) > 0 && (fd.revents & POLLHUP);
}

void PtySimulator::clientOpened(double now)
{
    m_clientOpen = true;
    m_clientSeen = true;
    setStreaming(m_displayMode, now);
}

void PtySimulator::clientClosed(double now)
{
    m_clientOpen = false;
    setStreaming(false, now);
    discardOutput();
    m_parser.clear();
}

bool PtySimulator::readInput()
{
    char buffer[65536];
    // Bounded per pass so that a client that never stops writing cannot starve the
    // feedback.
    for (int chunk = 0; chunk < 16; ++chunk) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            m_parser.append(QByteArray(buffer, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: all read. EIO: the client closed its side.
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

void PtySimulator::handleInput(double now)
{
    InputEvent event;
    while (m_parser.next(&event)) {
        switch (event.kind) {
        case InputEvent::DisplayRequest:
        case InputEvent::ConfigRequest:
            answerModeRequest(event.kind == InputEvent::DisplayRequest, now);
            break;
        case InputEvent::Control:
        case InputEvent::Enter:
        case InputEvent::Exit:
        case InputEvent::Zero:
            applyCommand(event, &m_model);
            break;
        case InputEvent::ConfigText:
            m_output.append(m_menu.reply(event.text, m_model.position()));
            break;
        }
    }
}

void PtySimulator::answerModeRequest(bool display, double now)
{
    if (m_refuseLeft > 0) {
        --m_refuseLeft;
        ++m_stats.refusedAcks;
        return;
    }
    // The host discarded its input before asking: anything answered to earlier input
    // of the same read would arrive in front of the reply and spoil it.
    discardOutput();
    if (m_garbleLeft > 0) {
        --m_garbleLeft;
        ++m_stats.garbledAcks;
        m_output.append(frameBytes(garbledAck, modeFrameLength));
    } else {
        ++m_stats.acks;
        m_output.append(frameBytes(modeAckFrame, modeFrameLength));
    }
    m_displayMode = display;
    m_parser.setConfigMode(!display);
    setStreaming(display && m_clientOpen, now);
}

void PtySimulator::setStreaming(bool on, double now)
{
    if (on == m_streaming)
        return;
    if (on) {
        m_streamSince = now;
        m_pacer.start(now);
    } else {
        m_stats.displaySeconds += now - m_streamSince;
    }
    m_streaming = on;
}

void PtySimulator::produceFeedback(double now)
{
    if (!m_streaming)
        return;
    m_stats.feedbackDropped += m_pacer.skipLate(now);
    for (double due; m_pacer.next(now, &due);) {
        m_model.advanceTo(due);
        m_feedback.append(&m_output,
                          feedbackCodes(m_model.position(), m_model.velocity(), m_model.current()));
        m_frameEnds.append(m_output.size());
    }
}

void PtySimulator::flushOutput()
{
    int written = 0;
    bool lost = false;
    while (written < m_output.size() && m_clientOpen) {
        const ssize_t n =
            ::write(m_master, m_output.constData() + written, size_t(m_output.size() - written));
        if (n > 0) {
            written += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        lost = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
        break;
    }
    // What does not fit is dropped, not kept: a client that stopped reading gets
    // fresh frames once it reads again, and the reply to its next request first.
    // A frame the terminal took only part of is finished first, though: a serial
    // line never cuts a frame short.
    const int sent = int(std::upper_bound(m_frameEnds.cbegin(), m_frameEnds.cend(), written) -
                         m_frameEnds.cbegin());
    const int pieceStart = sent > 0 ? m_frameEnds[sent - 1] : 0;
    const bool cutShort = sent < m_frameEnds.size() && m_clientOpen && !lost &&
                          (written > pieceStart || (sent == 0 && m_tailPending));
    QByteArray tail;
    if (cutShort)
        tail = m_output.mid(written, m_frameEnds[sent] - written);
    m_stats.feedbackSent += quint64(sent);
    m_stats.feedbackDropped += quint64(m_frameEnds.size() - sent - (cutShort ? 1 : 0));
    m_output = tail;
    m_frameEnds.clear();
    if (cutShort)
        m_frameEnds.append(tail.size());
    m_tailPending = cutShort;
    if (lost)
        clientClosed(elapsed());
}

void PtySimulator::discardOutput()
{
    m_stats.feedbackDropped += quint64(m_frameEnds.size());
    m_frameEnds.clear();
    m_output.clear();
    m_tailPending = false;
}
