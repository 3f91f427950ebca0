#pragma once

#include "motorstate.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QLockFile;
class QTimer;

// The run journal: every sample of a connection, appended to a file as it is stored, so
// that a run survives a crash of the tool.
//
// All numbers are little-endian. The file begins with a header of headerBytes: the magic
// "KORVJRNL", the format version, the header's size, the start of the run (milliseconds
// since the epoch, UTC), the baud rate, the motor ID, the twelve Limits in the order of
// struct Limits, and a CRC-32 of the bytes before it. Blocks follow, each a tag, the size
// of its payload, the index of the sample it starts at, the payload, and a CRC-32 of all
// the block's bytes before it. A samples block holds `count` times (double, seconds), then
// `count` positions, velocities and currents (float), one column after another so that each
// column is stored with one copy. A limits block holds the twelve Limits from its sample on.
// A block that is cut, fails its check or does not follow the one before ends the journal:
// what came before it is kept.

namespace journal {

constexpr quint32 formatVersion = 1;
constexpr int headerBytes = 132;
constexpr int blockOverhead = 20;
constexpr int sampleBytes = 20;
constexpr int limitsBytes = 96;
// 1.3 MB: a block never needs more memory than that to be written or checked.
constexpr int maxBlockSamples = 65536;
constexpr quint32 samplesTag = 1;
constexpr quint32 limitsTag = 2;

// The CRC-32 of zlib and PNG (reflected polynomial 0xEDB88320), continued from `crc`.
quint32 crc32(const char *data, std::size_t size, quint32 crc = 0);

struct Header
{
    qint64 startMs = 0;
    qint32 baud = 0;
    qint32 motorId = 0;
    Limits limits;
};

// Appends to one journal file. Every failure is kept in errorString(); nothing is
// written after one.
class Writer
{
public:
    bool create(const QString &path, const Header &header);
    bool appendSamples(qint64 first, int count, const double *times, const float *positions,
                       const float *velocities, const float *currents);
    bool appendLimits(qint64 at, const Limits &limits);
    // Makes what was written durable.
    bool sync();
    void close() { m_file.close(); }
    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_error; }

private:
    bool writeBlock(quint32 tag, qint64 first, int payload);

    QFile m_file;
    std::vector<char> m_block;
    QString m_error;
};

// Receives what read() finds, block by block, in order.
class Sink
{
public:
    virtual ~Sink() = default;
    virtual void samples(qint64 first, int count, const char *times, const char *positions,
                         const char *velocities, const char *currents) = 0;
    virtual void progress(qint64 done, qint64 total)
    {
        Q_UNUSED(done)
        Q_UNUSED(total)
    }
};

struct Info
{
    // The header was read, and is of a format this build knows.
    bool readable = false;
    QString error;
    Header header;
    // The Limits in force at the end of the journal.
    Limits limits;
    qint64 samples = 0;
    // Bytes at the end that were left out: cut, damaged, or out of step.
    qint64 droppedBytes = 0;
};

// Reads the header and counts the samples the blocks announce, without checking them.
Info scan(const QString &path);
// Hands every good block to `sink`; the samples it held, the final Limits and what was
// dropped come back.
Info read(const QString &path, Sink &sink);

// A journal that no running Korvane holds, found at start-up. Its lock is held from now
// until the offer is dropped or the journal is taken over.
struct Offer
{
    QString path;
    std::shared_ptr<QLockFile> lock;
    Info info;
};

// The journals in `folder` whose lock no running Korvane holds, newest first.
std::vector<Offer> unheldJournals(const QString &folder);
// Removes a journal and its lock.
void remove(const QString &path, std::shared_ptr<QLockFile> &lock);

} // namespace journal

// The writer of this instance's journal, in a thread of its own. Several times a second it
// copies the samples stored since its last pass, under stateMutex, and appends them once
// the lock is released, so the decoder never waits for the disk; what it wrote is made
// durable at least once a second. A failure stops the journal with `stopped` and the run
// goes on in memory.
class RunJournal : public QObject
{
    Q_OBJECT
public:
    explicit RunJournal(QObject *parent = nullptr);
    ~RunJournal() override;

signals:
    void stopped(QString reason);

public slots:
    // A connection has just reset the histories: this instance's earlier journal goes and
    // a new one is started in `folder`, created if need be.
    void begin(QString folder, qint32 baud, qint32 motorId);
    // Holds a recovered journal as this instance's own.
    void adopt(QString path, std::shared_ptr<QLockFile> lock);
    // The connection has ended: what is left is written and made durable; the file stays.
    void finish();
    // The run is saved, let go or replaced: the journal goes.
    void discard();
    // Lets go of the lock and keeps the file, as a crash would; for a worker whose
    // thread has ended.
    void release();

private slots:
    void pass();

private:
    void stop(const QString &reason);

    QTimer *m_timer;
    journal::Writer m_writer;
    std::shared_ptr<QLockFile> m_lock;
    QString m_path;
    qint64 m_written = 0;
    bool m_finishing = false;
    bool m_unsynced = false;
    QElapsedTimer m_sinceSync;
    Limits m_limits;
    std::vector<double> m_times;
    std::vector<float> m_values[3];
};
