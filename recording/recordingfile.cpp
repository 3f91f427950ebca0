#include "recordingfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
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
    m_notRegular = false;
    m_atEnd = false;
    m_pos = m_end = m_buffer.get();
    // Without O_NONBLOCK, opening a pipe that no one writes to would wait for ever.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        m_errno = errno;
        return false;
    }
    struct stat info;
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_notRegular = true;
        close();
        return false;
    }
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
    if (m_notRegular)
        return QStringLiteral("it is not a regular file");
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
    // O_NONBLOCK keeps a pipe with no reader from holding the open for ever (it fails
    // instead); the writes themselves block as usual.
    m_fd = ::open(QFile::encodeName(path).constData(),
                  O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_errno = errno;
        return false;
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
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

namespace {

// Opens `path` for a save of `count` samples; false, with the reason in `result`, if it
// cannot be opened.
bool beginSave(BufferedWriter &out, const QString &path, qint64 count, RecordingSource &source,
               RecordingResult &result)
{
    if (!out.open(path)) {
        result.error = failure("Could not save to", path, out.errorString());
        return false;
    }
    result.opened = true;
    result.fileCount = count;
    source.opened();
    return true;
}

// Writes out what is buffered, closes the file and completes `result`.
RecordingResult endSave(BufferedWriter &out, const QString &path, qint64 count,
                        RecordingResult result)
{
    if (!out.finish()) {
        result.error = failure("Could not save to", path, out.errorString());
        return result;
    }
    result.storedCount = std::max<qint64>(count, 0);
    result.ok = true;
    return result;
}

} // namespace

RecordingResult saveRecording(const QString &path, qint64 count, RecordingSource &source)
{
    RecordingResult result;
    BufferedWriter out;
    if (!beginSave(out, path, count, source, result))
        return result;

    char *p = out.reserve(16);
    p = std::to_chars(p, p + 16, count).ptr;
    *p++ = '\n';
    out.commit(p);

    std::unique_ptr<float[]> block(new float[blockSamples]);
    for (int section = 0; section < sectionCount && !out.failed(); ++section) {
        out.writeLine(sectionHeaders[section]);
        qint64 nextProgress = 0;
        for (qint64 first = 0; first < count && !out.failed(); first += blockSamples) {
            const int n = int(std::min<qint64>(blockSamples, count - first));
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
    return endSave(out, path, count, result);
}

RecordingResult saveCsv(const QString &path, qint64 count, RecordingSource &source)
{
    RecordingResult result;
    BufferedWriter out;
    if (!beginSave(out, path, count, source, result))
        return result;
    out.writeLine(csvHeader);
    // The three sections of a block side by side, so that each row is written in one go.
    std::unique_ptr<float[]> block(new float[sectionCount * blockSamples]);
    constexpr std::size_t rowMax = 20 + sectionCount * (1 + sampleTextMax) + 1;
    qint64 nextProgress = 0;
    for (qint64 first = 0; first < count && !out.failed(); first += blockSamples) {
        const int n = int(std::min<qint64>(blockSamples, count - first));
        for (int section = 0; section < sectionCount; ++section)
            source.copySamples(section, first, n, block.get() + section * blockSamples);
        for (int j = 0; j < n; ++j) {
            char *q = out.reserve(rowMax);
            q = std::to_chars(q, q + 20, first + j).ptr;
            for (int section = 0; section < sectionCount; ++section) {
                *q++ = ',';
                q += formatSample(block[section * blockSamples + j], q);
            }
            *q++ = '\n';
            out.commit(q);
            if (first + j == nextProgress) {
                source.rowWritten(nextProgress, count);
                nextProgress += progressStep;
            }
        }
    }
    return endSave(out, path, count, result);
}

namespace {

// Stores zeros in entries [from, to) of `section`, a block at a time.
void storeZeros(RecordingSink &sink, int section, qint64 from, qint64 to, float *block)
{
    std::fill(block, block + blockSamples, 0.0f);
    for (qint64 first = from; first < to; first += blockSamples)
        sink.storeSamples(section, first, int(std::min<qint64>(blockSamples, to - first)), block);
}

} // namespace

RecordingResult loadRecording(const QString &path, qint64 capacity, RecordingSink &sink)
{
    RecordingResult result;
    PieceReader in;
    if (!in.open(path)) {
        result.error = failure("Could not read", path, in.errorString());
        return result;
    }
    // A recording begins with its count and the position header; anything else is
    // refused before a single sample is stored.
    const char *piece = nullptr;
    std::size_t length = in.next(piece);
    const qint64 count = parseCount(piece, length);
    length = in.next(piece);
    if (count < 0 || !isSectionHeader(piece, length, 0)) {
        result.error = in.failed() ? failure("Could not read", path, in.errorString())
                                   : QStringLiteral("%1 holds no recording: it does not begin "
                                                    "with a sample count and \"%2\".")
                                         .arg(path, QLatin1String(sectionHeaders[0]));
        return result;
    }
    result.opened = true;
    result.fileCount = count;
    sink.opened();

    const qint64 stored = std::min(count, std::max<qint64>(capacity, 0));
    // Samples kept of each section: those of the first one that the file held.
    qint64 kept = stored;
    std::unique_ptr<float[]> block(new float[blockSamples]);
    for (int section = 0; section < sectionCount; ++section) {
        // The header is checked only where it tells a recording from other files.
        if (section > 0 && result.endedInSection < 0 && in.next(piece) == 0)
            result.endedInSection = section; // at its header, before any of its samples
        float low = 0;
        float high = 0;
        qint64 taken = 0; // samples of this section the file held
        qint64 nextProgress = 0;
        for (qint64 first = 0; first < count && result.endedInSection < 0; first += blockSamples) {
            const int n = int(std::min<qint64>(blockSamples, count - first));
            const int keep = int(std::clamp<qint64>(stored - first, 0, n));
            int got = 0;
            for (; got < n; ++got) {
                length = in.next(piece);
                if (length == 0)
                    break;
                if (got < keep) {
                    const float value = parseSample(piece, length);
                    block[got] = value;
                    high = value >= high ? value : high;
                    low = value <= low ? value : low;
                }
            }
            taken = first + got;
            if (std::min(keep, got) > 0)
                sink.storeSamples(section, first, std::min(keep, got), block.get());
            for (; nextProgress < taken; nextProgress += progressStep)
                sink.sampleRead(section, nextProgress, count);
            if (got < n) {
                result.endedInSection = section;
                result.endedAfter = taken;
            }
            if (!sink.keepReading()) {
                result.abandoned = true;
                return result;
            }
        }
        if (section == 0)
            kept = std::min(taken, stored);
        // What a file that ended early did not hold reads as 0.
        const qint64 storedHere = std::min(taken, kept);
        if (storedHere < kept)
            storeZeros(sink, section, storedHere, kept, block.get());
        sink.sectionRead(section, low, high);
    }
    sink.countRead(count, kept);
    result.storedCount = kept;
    in.close();
    if (in.failed()) {
        result.error = failure("Could not read", path, in.errorString());
        return result;
    }
    result.ok = result.endedInSection < 0;
    return result;
}

} // namespace recording
