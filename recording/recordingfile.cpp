#include "recordingfile.h"

#include <QFile>

#include <algorithm>
#include <charconv>

#ifdef KORVANE_LINUX
#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFileInfo>
#include <QSaveFile>
#endif

namespace recording {

namespace {

constexpr std::size_t bufferBytes = std::size_t(1) << 20;

QString failure(const char *what, const QString &path, const QString &reason)
{
    return QStringLiteral("%1 %2: %3").arg(QLatin1String(what), path, reason);
}

const char notRegularText[] = "it is not a regular file";

} // namespace

// Opens, reads, writes and closes one file, and keeps the first failure with the system's
// reason for it, also across close(). Reading refuses what is not a regular file: a pipe or
// a device could block the reader for ever.
#ifdef KORVANE_LINUX

// Plain system calls: no buffering or locking of its own between the caller's large blocks
// and the kernel.
class SystemFile
{
public:
    ~SystemFile() { close(); }

    bool openForReading(const QString &path)
    {
        close();
        m_errno = 0;
        m_notRegular = false;
        // Without O_NONBLOCK, opening a pipe that no one writes to would wait for ever.
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            return fail();
        struct stat info;
        if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            m_notRegular = true;
            close();
            return false;
        }
        return true;
    }

    // A regular file (or a name that does not exist yet) is written to a temporary file
    // beside it that replaces it only once complete, so a failed save leaves no partial
    // file and the old one as it was. A pipe or a device is written to directly: it has
    // no contents to keep.
    bool openForWriting(const QString &path)
    {
        close();
        m_errno = 0;
        m_notRegular = false;
        QByteArray target = QFile::encodeName(path);
        struct stat info;
        const bool exists = ::stat(target.constData(), &info) == 0;
        if (exists && !S_ISREG(info.st_mode)) {
            // O_NONBLOCK keeps a pipe with no reader from holding the open for ever (it
            // fails instead); the writes themselves block as usual.
            m_fd = ::open(target.constData(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
            if (m_fd < 0)
                return fail();
            ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
            return true;
        }
        if (exists) {
            // Replace what a link points to, not the link; and refuse a file the user may
            // not write, as writing into it would.
            char *resolved = ::realpath(target.constData(), nullptr);
            if (!resolved || ::access(resolved, W_OK) != 0) {
                std::free(resolved);
                return fail();
            }
            target = resolved;
            std::free(resolved);
        }
        static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; m_fd < 0; ++attempt) {
            m_temporary = target + '.';
            for (int i = 0; i < 6; ++i)
                m_temporary += letters[QRandomGenerator::global()->bounded(36)];
            // Mode 0666 lets the umask decide, as for any new file.
            m_fd = ::open(m_temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && (errno != EEXIST || attempt == 99)) {
                m_temporary.clear();
                return fail();
            }
        }
        m_target = target;
        if (exists)
            ::fchmod(m_fd, info.st_mode & 07777);
        return true;
    }

    // Up to `max` bytes; 0 at the end of the file, -1 after a failure.
    qint64 read(char *into, std::size_t max)
    {
        for (;;) {
            const ssize_t got = ::read(m_fd, into, max);
            if (got >= 0)
                return got;
            if (errno != EINTR) {
                m_errno = errno;
                return -1;
            }
        }
    }

    // All `length` bytes, or nothing more after the first failure.
    void write(const char *from, std::size_t length)
    {
        while (m_errno == 0 && length > 0) {
            const ssize_t done = ::write(m_fd, from, length);
            if (done > 0) {
                from += done;
                length -= std::size_t(done);
            } else if (done < 0 && errno != EINTR) {
                m_errno = errno;
            } else if (done == 0) {
                m_errno = EIO;
            }
        }
    }

    // Puts a complete file in place: its data on the disk first, so that a crash after the
    // rename cannot leave an empty file under the target's name. False if anything failed,
    // the temporary file then being removed.
    bool commit()
    {
        if (!m_temporary.isEmpty() && m_errno == 0 && ::fdatasync(m_fd) != 0)
            m_errno = errno;
        closeDescriptor();
        if (!m_temporary.isEmpty() && m_errno == 0) {
            if (::rename(m_temporary.constData(), m_target.constData()) == 0)
                m_temporary.clear();
            else
                m_errno = errno;
        }
        close();
        return m_errno == 0;
    }

    // Closes the file; a temporary file not committed is removed.
    void close()
    {
        closeDescriptor();
        if (!m_temporary.isEmpty())
            ::unlink(m_temporary.constData());
        m_temporary.clear();
    }

    bool isOpen() const { return m_fd >= 0; }
    bool failed() const { return m_errno != 0 || m_notRegular; }
    QString errorString() const
    {
        return m_notRegular ? QLatin1String(notRegularText) : qt_error_string(m_errno);
    }

private:
    // Some file systems report a failed write only when the file is closed.
    void closeDescriptor()
    {
        if (m_fd < 0)
            return;
        if (::close(m_fd) != 0 && m_errno == 0)
            m_errno = errno;
        m_fd = -1;
    }

    // Keeps the reason of the call that just failed; returns false for the caller.
    bool fail()
    {
        m_errno = errno;
        return false;
    }

    int m_fd = -1;
    int m_errno = 0;
    bool m_notRegular = false;
    QByteArray m_target;
    QByteArray m_temporary; // the file being written in place of m_target, if any
};

#else

// QFile and QSaveFile, unbuffered, as the caller collects large blocks itself. A regular
// file is saved through QSaveFile, so a failed save leaves no partial file and the old one
// as it was; a pipe or a device is written to directly. A pipe with no reader holds the
// open for writing until one comes.
class SystemFile
{
public:
    bool openForReading(const QString &path)
    {
        start(path);
        const QFileInfo info(path);
        if (info.exists() && !info.isFile()) {
            m_notRegular = true;
            return false;
        }
        return m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || fail();
    }

    bool openForWriting(const QString &path)
    {
        start(path);
        const QFileInfo info(path);
        if (info.exists() && !info.isFile())
            return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate |
                               QIODevice::Unbuffered) ||
                   fail();
        m_save.reset(new QSaveFile(path));
        m_device = m_save.get();
        return m_save->open(QIODevice::WriteOnly | QIODevice::Unbuffered) || fail();
    }

    qint64 read(char *into, std::size_t max)
    {
        const qint64 got = m_file.read(into, qint64(max));
        if (got < 0)
            fail();
        return got;
    }

    // A full disk may first take part of a block without an error; the rest then fails
    // with the reason.
    void write(const char *from, std::size_t length)
    {
        while (!m_failed && length > 0) {
            const qint64 done = m_device->write(from, qint64(length));
            if (done <= 0) {
                fail();
            } else {
                from += done;
                length -= std::size_t(done);
            }
        }
    }

    // Puts a complete file in place; false if anything failed.
    bool commit()
    {
        if (m_save && !m_failed && !m_save->commit())
            fail();
        close();
        return !m_failed;
    }

    // Closes the file; a save not committed is discarded.
    void close()
    {
        m_save.reset();
        m_device = &m_file;
        if (!m_file.isOpen())
            return;
        m_file.close();
        if (m_file.error() != QFileDevice::NoError && !m_failed)
            fail();
    }

    bool isOpen() const { return m_device->isOpen(); }
    bool failed() const { return m_failed || m_notRegular; }
    QString errorString() const { return m_notRegular ? QLatin1String(notRegularText) : m_error; }

private:
    void start(const QString &path)
    {
        close();
        m_file.setFileName(path);
        m_failed = m_notRegular = false;
        m_error.clear();
    }

    // Keeps the first failure; returns false for the caller's convenience.
    bool fail()
    {
        if (!m_failed)
            m_error = m_device->errorString();
        m_failed = true;
        return false;
    }

    QFile m_file;
    std::unique_ptr<QSaveFile> m_save;
    QFileDevice *m_device = &m_file; // the one being read or written
    QString m_error;
    bool m_failed = false;
    bool m_notRegular = false;
};

#endif

PieceReader::PieceReader()
    : m_file(new SystemFile), m_buffer(new char[bufferBytes]), m_pos(m_buffer.get()), m_end(m_pos)
{
}

PieceReader::~PieceReader() = default;

bool PieceReader::open(const QString &path)
{
    m_atEnd = false;
    m_pos = m_end = m_buffer.get();
    if (!m_file->openForReading(path))
        return false;
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
        const qint64 got = m_file->read(m_end, bufferBytes - std::size_t(m_end - base));
        if (got > 0)
            m_end += got;
        else
            m_atEnd = true; // the end of the file, or a failure kept for the caller
    }
}

bool PieceReader::failed() const
{
    return m_file->failed();
}

QString PieceReader::errorString() const
{
    return m_file->errorString();
}

void PieceReader::close()
{
    m_file->close();
}

BufferedWriter::BufferedWriter()
    : m_file(new SystemFile), m_buffer(new char[bufferBytes]), m_pos(m_buffer.get()),
      m_limit(m_pos + bufferBytes)
{
}

BufferedWriter::~BufferedWriter() = default;

bool BufferedWriter::open(const QString &path)
{
    m_pos = m_buffer.get();
    return m_file->openForWriting(path);
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
    m_file->write(m_buffer.get(), std::size_t(m_pos - m_buffer.get()));
    // After a failure the rest is dropped; the caller stops at the next check.
    m_pos = m_buffer.get();
}

bool BufferedWriter::finish()
{
    if (!m_file->isOpen())
        return false;
    flush();
    return m_file->commit();
}

bool BufferedWriter::failed() const
{
    return m_file->failed();
}

QString BufferedWriter::errorString() const
{
    return m_file->errorString();
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
    if (source.hasTimes() && !out.failed()) {
        out.writeLine(timeHeader);
        std::unique_ptr<double[]> times(new double[blockSamples]);
        for (qint64 first = 0; first < count && !out.failed(); first += blockSamples) {
            const int n = int(std::min<qint64>(blockSamples, count - first));
            source.copyTimes(first, n, times.get());
            for (int j = 0; j < n; ++j) {
                char *q = out.reserve(timeTextMax + 1);
                q += formatTime(times[j], q);
                *q++ = '\n';
                out.commit(q);
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
    const bool hasTimes = source.hasTimes();
    // The three sections of a block side by side, so that each row is written in one go.
    std::unique_ptr<float[]> block(new float[sectionCount * blockSamples]);
    std::unique_ptr<double[]> times(new double[blockSamples]);
    constexpr std::size_t rowMax = 20 + 1 + timeTextMax + sectionCount * (1 + sampleTextMax) + 1;
    qint64 nextProgress = 0;
    for (qint64 first = 0; first < count && !out.failed(); first += blockSamples) {
        const int n = int(std::min<qint64>(blockSamples, count - first));
        for (int section = 0; section < sectionCount; ++section)
            source.copySamples(section, first, n, block.get() + section * blockSamples);
        if (hasTimes)
            source.copyTimes(first, n, times.get());
        for (int j = 0; j < n; ++j) {
            char *q = out.reserve(rowMax);
            q = std::to_chars(q, q + 20, first + j).ptr;
            *q++ = ',';
            if (hasTimes)
                q += formatTime(times[j], q);
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

// Walks a recording past its count and position header, as the read will: the section
// whose header is not where the count puts it, or -1 if all are (or the file ends first).
int misplacedHeader(PieceReader &scan, qint64 count)
{
    const char *piece = nullptr;
    scan.next(piece);
    scan.next(piece);
    for (int section = 1; section < sectionCount; ++section) {
        for (qint64 i = 0; i < count; ++i) {
            if (scan.next(piece) == 0)
                return -1;
        }
        const std::size_t length = scan.next(piece);
        if (length == 0)
            return -1;
        if (headerSection(piece, length) != section)
            return section;
    }
    return -1;
}

// Why a file that was opened is not read, its count and misplaced header being what
// parseCount and misplacedHeader found.
QString refusal(const QString &path, qint64 count, int misplaced)
{
    if (count == countTooLarge)
        return QStringLiteral("%1 holds no recording that can be read: its sample count is "
                              "too large.")
            .arg(path);
    if (count < 0 || misplaced < 0)
        return QStringLiteral("%1 holds no recording: it does not begin with a sample count "
                              "and \"%2\".")
            .arg(path, QLatin1String(sectionHeaders[0]));
    const QString before = misplaced == 0 ? QStringLiteral("the sample count")
                                          : QStringLiteral("the %1 samples of \"%2\"")
                                                .arg(count)
                                                .arg(QLatin1String(sectionHeaders[misplaced - 1]));
    return QStringLiteral("%1 holds its sections out of order: \"%2\" does not follow %3.")
        .arg(path, QLatin1String(sectionHeaders[misplaced]), before);
}

// Reads the time section of a recording of `count` samples and stores the times of the
// first `kept`. Sets result.hasTimes if they are all from 0 to timeLimit and none earlier
// than the one before, or else says in result.timeError why they are no times.
void readTimes(PieceReader &in, qint64 count, qint64 kept, RecordingSink &sink,
               RecordingResult &result)
{
    std::unique_ptr<double[]> block(new double[blockSamples]);
    double previous = 0;
    const char *piece = nullptr;
    for (qint64 first = 0; first < count; first += blockSamples) {
        const int n = int(std::min<qint64>(blockSamples, count - first));
        const int keep = int(std::clamp<qint64>(kept - first, 0, n));
        for (int j = 0; j < n; ++j) {
            const std::size_t length = in.next(piece);
            if (length == 0) {
                result.timeError = QStringLiteral("its %1 section ends after %2 of its %3 times")
                                       .arg(QLatin1String(timeHeader))
                                       .arg(first + j)
                                       .arg(count);
                return;
            }
            if (j >= keep)
                continue;
            double &seconds = block[j];
            QString problem;
            if (!parseTime(piece, length, seconds))
                problem = QStringLiteral("is not a number");
            else if (!(seconds >= 0 && seconds <= timeLimit))
                problem = QStringLiteral("is not from 0 to %1 s").arg(timeLimit, 0, 'f', 0);
            else if (seconds < previous)
                problem = QStringLiteral("is earlier than the one before it");
            if (!problem.isNull()) {
                result.timeError =
                    QStringLiteral("the time of sample %1 %2").arg(first + j).arg(problem);
                return;
            }
            previous = seconds;
        }
        if (keep > 0)
            sink.storeTimes(first, keep, block.get());
        if (!sink.keepReading()) {
            result.abandoned = true;
            return;
        }
    }
    result.hasTimes = true;
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
    qint64 count = parseCount(piece, length);
    // Digits that run on past a piece make a count of 20 digits or more.
    const bool countRunsOn = count > 0 && length == pieceLimit && piece[length - 1] != '\n';
    length = in.next(piece);
    if (countRunsOn && length > 0 && unsigned(piece[0] - '0') < 10)
        count = countTooLarge;
    const int firstHeader = headerSection(piece, length);
    // Another section's header first puts the sections out of order; any other text
    // makes the file no recording.
    int misplaced = firstHeader > 0 ? 0 : -1;
    if (count >= 0 && firstHeader == 0) {
        PieceReader scan;
        if (!scan.open(path)) {
            result.error = failure("Could not read", path, scan.errorString());
            return result;
        }
        misplaced = misplacedHeader(scan, count);
    }
    if (count < 0 || firstHeader != 0 || misplaced >= 0) {
        result.error = in.failed() ? failure("Could not read", path, in.errorString())
                                   : refusal(path, count, misplaced);
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
                    const float value = parseSample(piece, length, result.notNumbers);
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
    if (result.endedInSection < 0) {
        length = in.next(piece);
        if (headerSection(piece, length) == timeSection)
            readTimes(in, count, kept, sink, result);
        if (result.abandoned)
            return result;
    }
    sink.timesRead(result.hasTimes);
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
