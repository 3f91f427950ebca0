#pragma once

#include "recordingformat.h"

#include <QString>

#include <memory>

// Writing and reading whole recordings through large buffers.
//
// The histories are reached only through a RecordingSource or RecordingSink, one
// block of samples at a time, so the caller decides how each block is locked and
// where it is stored; no callback is made while file I/O is in progress.

namespace recording {

constexpr int blockSamples = 65536;

// Where a recording being written takes its samples from.
class RecordingSource
{
public:
    virtual ~RecordingSource() = default;
    // The file is open and nothing has been written yet.
    virtual void opened() {}
    // Copies entries [first, first + count) of `section` into `out`.
    virtual void copySamples(int section, qint64 first, int count, float *out) = 0;
    // Whether the samples have receive times; asked once, when the file is open.
    virtual bool hasTimes() { return false; }
    // Copies the times of samples [first, first + count) into `out`; asked only when
    // hasTimes() is true.
    virtual void copyTimes(qint64 first, int count, double *out)
    {
        Q_UNUSED(first)
        Q_UNUSED(count)
        Q_UNUSED(out)
    }
    // Sample line `index` of `section` has been written; called for every multiple
    // of progressStep.
    virtual void sampleWritten(int section, qint64 index, qint64 total)
    {
        Q_UNUSED(section)
        Q_UNUSED(index)
        Q_UNUSED(total)
    }
    // Row `index` of a CSV export has been written; called for every multiple of
    // progressStep.
    virtual void rowWritten(qint64 index, qint64 total)
    {
        Q_UNUSED(index)
        Q_UNUSED(total)
    }
};

// Where a recording being read puts what it finds.
class RecordingSink
{
public:
    virtual ~RecordingSink() = default;
    // The file is open and begins like a recording; nothing has been stored yet.
    virtual void opened() {}
    // The read is over: `storedCount` samples of each section are kept, every entry
    // below it has been stored, and entries from it on are to read as 0.
    virtual void countRead(qint64 fileCount, qint64 storedCount) = 0;
    // Entries [first, first + count) of `section`; values the file did not hold are 0.
    virtual void storeSamples(int section, qint64 first, int count, const float *values) = 0;
    // The times of samples [first, first + count), as the file holds them; whether they
    // are the samples' times is known only at timesRead.
    virtual void storeTimes(qint64 first, int count, const double *seconds)
    {
        Q_UNUSED(first)
        Q_UNUSED(count)
        Q_UNUSED(seconds)
    }
    // Called before countRead: whether the stored times are the samples' times, false
    // when the file has no time section or a broken one.
    virtual void timesRead(bool valid) { Q_UNUSED(valid) }
    // Sample `index` of `section` has been taken (and stored, if below the capacity);
    // called for every multiple of progressStep.
    virtual void sampleRead(int section, qint64 index, qint64 total)
    {
        Q_UNUSED(section)
        Q_UNUSED(index)
        Q_UNUSED(total)
    }
    // The section is complete: the smallest and largest stored sample, both
    // widened to include 0.
    virtual void sectionRead(int section, float low, float high) = 0;
    // Asked once per block: false abandons the read where it stands.
    virtual bool keepReading() { return true; }
};

struct RecordingResult
{
    // The file could be opened; for reading, it also began like a recording, so
    // the histories were replaced.
    bool opened = false;
    // Everything was written and the file closed, or everything was read.
    bool ok = false;
    // "Could not save to <file>: <reason>", "Could not read <file>: <reason>", or
    // why a file that was read is not a recording.
    QString error;
    // Samples per section announced by line 1.
    qint64 fileCount = 0;
    // Samples per section actually written or kept.
    qint64 storedCount = 0;
    // Where a file that ended early ended: the section (-1 if it did not) and how
    // many of that section's samples it held.
    int endedInSection = -1;
    qint64 endedAfter = 0;
    // The sink asked to stop.
    bool abandoned = false;
    // Sample texts stored as 0 because they were no finite number.
    qint64 notNumbers = 0;
    // The file held valid times for the samples kept; or why its time section was
    // taken for no times.
    bool hasTimes = false;
    QString timeError;
};

// Writes `count` samples of each section to `path`. A regular file is replaced only once
// the whole recording is written, so a failure leaves no partial file and an existing one
// untouched; a pipe or a device is written to directly.
RecordingResult saveRecording(const QString &path, qint64 count, RecordingSource &source);

// Writes the csvHeader line and `count` rows to `path`, replacing a file as
// saveRecording does; failures are reported as saveRecording reports them.
RecordingResult saveCsv(const QString &path, qint64 count, RecordingSource &source);

// Reads `path`, keeping at most `capacity` samples of each section; lines beyond
// that are still consumed so that later sections stay in step. Nothing is stored
// from a file that does not begin with a count and the position header, whose count
// is too large, or whose later headers are not each where the count puts them (its
// sections are out of order). A file that ends early stops the read there: what it
// held is kept and the values it did not hold are stored as 0. A time section after
// the current section gives the samples' times when it holds a time from 0 to timeLimit
// for every sample, none earlier than the one before.
RecordingResult loadRecording(const QString &path, qint64 capacity, RecordingSink &sink);

// The operating system's side of a recording file (see recordingfile.cpp).
class SystemFile;

// Hands out the pieces of a file: each ends after a line feed or after pieceLimit
// bytes, whichever comes first; at the end of the file a piece is empty. A read
// error ends the pieces as the end of the file would and is kept for the caller.
class PieceReader
{
public:
    PieceReader();
    ~PieceReader();
    PieceReader(const PieceReader &) = delete;
    PieceReader &operator=(const PieceReader &) = delete;

    // Opens `path` and fills the buffer once. Returns false, with errorString()
    // set, if the file cannot be opened, is not a regular file (a pipe or a device
    // could block the reader for ever), or its first read fails.
    bool open(const QString &path);
    // Returns the length of the next piece and points `piece` at it.
    std::size_t next(const char *&piece)
    {
        if (m_end - m_pos < pieceLimit && !m_atEnd)
            refill();
        const std::size_t available = std::size_t(m_end - m_pos);
        if (available == 0) {
            piece = m_pos;
            return 0;
        }
        const std::size_t limit = available < pieceLimit ? available : pieceLimit;
        const void *feed = std::memchr(m_pos, '\n', limit);
        const std::size_t length =
            feed ? std::size_t(static_cast<const char *>(feed) - m_pos) + 1 : limit;
        piece = m_pos;
        m_pos += length;
        return length;
    }
    bool failed() const;
    // Why the last operation failed, in the system's words.
    QString errorString() const;
    void close();

private:
    void refill();

    std::unique_ptr<SystemFile> m_file;
    bool m_atEnd = false;
    std::unique_ptr<char[]> m_buffer;
    char *m_pos = nullptr;
    char *m_end = nullptr;
};

// Collects text in a large buffer and writes it out when full. The first failure
// is kept; later writes are skipped.
class BufferedWriter
{
public:
    BufferedWriter();
    ~BufferedWriter();
    BufferedWriter(const BufferedWriter &) = delete;
    BufferedWriter &operator=(const BufferedWriter &) = delete;

    bool open(const QString &path);
    // Room for at least `bytes` more bytes; flushes first if needed.
    char *reserve(std::size_t bytes)
    {
        if (std::size_t(m_limit - m_pos) < bytes)
            flush();
        return m_pos;
    }
    void commit(char *end) { m_pos = end; }
    void writeLine(const char *text);
    // Writes what is buffered, closes the file and puts it in place; false if anything
    // failed, nothing then being left of it.
    bool finish();
    bool failed() const;
    QString errorString() const;

private:
    void flush();

    std::unique_ptr<SystemFile> m_file;
    std::unique_ptr<char[]> m_buffer;
    char *m_pos = nullptr;
    char *m_limit = nullptr;
};

} // namespace recording
