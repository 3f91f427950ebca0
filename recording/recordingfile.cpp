#include "recordingfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace recording {

namespace {

constexpr std::size_t bufferBytes = std::size_t(1) << 20;

QString failure(const char *what, const QString &path, const QString &reason)
{
    return QStringLiteral("%1 %2: %3").arg(QLatin1String(what), path, reason);
}

} // namespace

PieceReader::PieceReader() : m_buffer(new char[bufferBytes]), m_pos(m_buffer.get()), m_end(m_pos)
{
}

PieceReader::~PieceReader()
{
    close();
}

bool PieceReader::open(const QString &path)
{
    close();
    m_errno = 0;
    m_atEnd = false;
    m_pos = m_end = m_buffer.get();
    if (path.isEmpty()) {
        m_errno = ENOENT;
        return false;
    }
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        m_errno = errno;
        return false;
    }
    // A directory opens but cannot be read: find that out before anything changes.
    refill();
    if (failed()) {
        close();
        return false;
    }
    return true;
}

void PieceReader::refill()
{
    char *base = m_buffer.get();
    const std::size_t kept = std::size_t(m_end - m_pos);
    std::memmove(base, m_pos, kept);
    m_pos = base;
    m_end = base + kept;
    while (!m_atEnd && m_end - m_pos < pieceLimit) {
        const ssize_t got = ::read(m_fd, m_end, bufferBytes - std::size_t(m_end - base));
        if (got > 0) {
            m_end += got;
        } else if (got == 0) {
            m_atEnd = true;
        } else if (errno != EINTR) {
            m_errno = errno;
            m_atEnd = true;
        }
    }
}

QString PieceReader::errorString() const
{
    return qt_error_string(m_errno);
}

void PieceReader::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

BufferedWriter::BufferedWriter()
    : m_buffer(new char[bufferBytes]), m_pos(m_buffer.get()), m_limit(m_pos + bufferBytes)
{
}

BufferedWriter::~BufferedWriter()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool BufferedWriter::open(const QString &path)
{
    m_errno = 0;
    m_pos = m_buffer.get();
    if (path.isEmpty()) {
        m_errno = ENOENT;
        return false;
    }
    m_fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_errno = errno;
        return false;
    }
    return true;
}

void BufferedWriter::writeLine(const char *text)
{
    const std::size_t length = std::strlen(text);
    char *p = reserve(length + 1);
    std::memcpy(p, text, length);
    p[length] = '\n';
    commit(p + length + 1);
}

void BufferedWriter::flush()
{
    const char *p = m_buffer.get();
    while (m_errno == 0 && p < m_pos) {
        const ssize_t done = ::write(m_fd, p, std::size_t(m_pos - p));
        if (done > 0)
            p += done;
        else if (done < 0 && errno != EINTR)
            m_errno = errno;
        else if (done == 0)
            m_errno = EIO;
    }
    // After a failure the rest is dropped; the caller stops at the next check.
    m_pos = m_buffer.get();
}

bool BufferedWriter::finish()
{
    if (m_fd < 0)
        return false;
    flush();
    // Some file systems report a failed write only when the file is closed.
    if (::close(m_fd) != 0 && m_errno == 0)
        m_errno = errno;
    m_fd = -1;
    return m_errno == 0;
}

QString BufferedWriter::errorString() const
{
    return qt_error_string(m_errno);
}

RecordingResult saveRecording(const QString &path, int count, RecordingSource &source)
{
    RecordingResult result;
    BufferedWriter out;
    if (!out.open(path)) {
        result.error = failure("Could not save to", path, out.errorString());
        return result;
    }
    result.opened = true;
    result.fileCount = count;
    source.opened();

    char *p = out.reserve(16);
    p = std::to_chars(p, p + 16, count).ptr;
    *p++ = '\n';
    out.commit(p);

    std::unique_ptr<float[]> block(new float[blockSamples]);
    for (int section = 0; section < sectionCount && !out.failed(); ++section) {
        out.writeLine(sectionHeaders[section]);
        int nextProgress = 0;
        for (int first = 0; first < count && !out.failed(); first += blockSamples) {
            const int n = std::min(blockSamples, count - first);
            source.copySamples(section, first, n, block.get());
            for (int j = 0; j < n; ++j) {
                char *q = out.reserve(sampleTextMax + 1);
                q += formatSample(block[j], q);
                *q++ = '\n';
                out.commit(q);
                if (first + j == nextProgress) {
                    source.sampleWritten(section, nextProgress, count);
                    nextProgress += progressStep;
                }
            }
        }
    }
    if (!out.finish()) {
        result.error = failure("Could not save to", path, out.errorString());
        return result;
    }
    result.storedCount = std::max(count, 0);
    result.ok = true;
    return result;
}

RecordingResult loadRecording(const QString &path, int capacity, RecordingSink &sink)
{
    RecordingResult result;
    PieceReader in;
    if (!in.open(path)) {
        result.error = failure("Could not read", path, in.errorString());
        return result;
    }
    result.opened = true;
    sink.opened();

    const char *piece = nullptr;
    std::size_t length = in.next(piece);
    const int count = std::max(parseCount(piece, length), 0);
    const int stored = std::min(count, std::max(capacity, 0));
    result.fileCount = count;
    result.storedCount = stored;
    sink.countRead(count, stored);

    std::unique_ptr<float[]> block(new float[blockSamples]);
    for (int section = 0; section < sectionCount; ++section) {
        in.next(piece); // the header is not checked
        float low = 0;
        float high = 0;
        int nextProgress = 0;
        for (int first = 0; first < count; first += blockSamples) {
            const int n = std::min(blockSamples, count - first);
            const int keep = first < stored ? std::min(n, stored - first) : 0;
            for (int j = 0; j < keep; ++j) {
                length = in.next(piece);
                const float value = parseSample(piece, length);
                block[j] = value;
                high = value >= high ? value : high;
                low = value <= low ? value : low;
            }
            for (int j = keep; j < n; ++j)
                in.next(piece);
            if (keep > 0)
                sink.storeSamples(section, first, keep, block.get());
            for (; nextProgress < first + n; nextProgress += progressStep)
                sink.sampleRead(section, nextProgress, count);
        }
        sink.sectionRead(section, low, high);
    }
    in.close();
    if (in.failed()) {
        result.error = failure("Could not read", path, in.errorString());
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace recording
