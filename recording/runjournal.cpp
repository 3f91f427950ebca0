#include "runjournal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLockFile>
#include <QSysInfo>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <signal.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

namespace journal {

namespace {
constexpr char magic[8] = {'K', 'O', 'R', 'V', 'J', 'R', 'N', 'L'};
const QString suffix = QStringLiteral(".kvj");
constexpr int passMs = 250;
// With passes every 250 ms this makes everything durable within a second of being stored.
constexpr int syncMs = 500;

constexpr double Limits::*limitFields[12] = {
    &Limits::positionMin, &Limits::positionMax, &Limits::velocityMin, &Limits::velocityMax,
    &Limits::torqueMin,   &Limits::torqueMax,   &Limits::currentMin,  &Limits::currentMax,
    &Limits::kpMin,       &Limits::kpMax,       &Limits::kdMin,       &Limits::kdMax};

// Slicing by eight: a table per byte of an eight-byte word, so that a full journal is
// checked in a fraction of a second rather than several.
struct CrcTables
{
    quint32 t[8][256];
    CrcTables()
    {
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (int s = 1; s < 8; ++s)
            for (int i = 0; i < 256; ++i)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

void putLimits(char *out, const Limits &limits)
{
    for (int i = 0; i < 12; ++i)
        qToLittleEndian(limits.*limitFields[i], out + 8 * i);
}

Limits takeLimits(const char *in)
{
    Limits limits;
    for (int i = 0; i < 12; ++i)
        limits.*limitFields[i] = qFromLittleEndian<double>(in + 8 * i);
    return limits;
}

// Takes the lock of a journal whose instance has ended. QLockFile replaces a stale lock only
// where it can first write files of its own beside it, which a full disk does not allow;
// the lock of a process that is gone is removed here first, which frees that room.
bool lockUnheld(QLockFile &lock)
{
    if (lock.tryLock(0))
        return true;
#if defined(Q_OS_UNIX)
    qint64 pid = 0;
    QString host, app;
    if (lock.error() != QLockFile::LockFailedError || !lock.getLockInfo(&pid, &host, &app) ||
        host != QSysInfo::machineHostName() || pid <= 0 || ::kill(pid_t(pid), 0) == 0 ||
        errno != ESRCH)
        return false;
    return lock.removeStaleLockFile() && lock.tryLock(0);
#else
    return false;
#endif
}

// Walks the blocks of a mapped journal, checking each when `sink` is given.
Info walk(const QString &path, Sink *sink)
{
    Info info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        info.error = file.errorString();
        return info;
    }
    const qint64 size = file.size();
    const char *data = size > 0 ? reinterpret_cast<const char *>(file.map(0, size)) : nullptr;
    if (size < 16 || !data || std::memcmp(data, magic, sizeof magic) != 0) {
        info.error =
            size > 0 && !data ? file.errorString() : QStringLiteral("it is not a run journal");
        return info;
    }
    const quint32 version = qFromLittleEndian<quint32>(data + 8);
    if (version > formatVersion) {
        info.error = QStringLiteral("it was written by a later version of Korvane (journal "
                                    "format %1)")
                         .arg(version);
        return info;
    }
    if (size < headerBytes || version != formatVersion ||
        qFromLittleEndian<quint32>(data + 12) != quint32(headerBytes) ||
        crc32(data, headerBytes - 4) != qFromLittleEndian<quint32>(data + headerBytes - 4)) {
        info.error = QStringLiteral("its header is damaged");
        return info;
    }
    info.readable = true;
    info.header.startMs = qFromLittleEndian<qint64>(data + 16);
    info.header.baud = qFromLittleEndian<qint32>(data + 24);
    info.header.motorId = qFromLittleEndian<qint32>(data + 28);
    info.header.limits = info.limits = takeLimits(data + 32);

    qint64 at = headerBytes;
    while (size - at >= blockOverhead) {
        const char *block = data + at;
        const quint32 tag = qFromLittleEndian<quint32>(block);
        const qint64 payload = qFromLittleEndian<quint32>(block + 4);
        const qint64 first = qFromLittleEndian<qint64>(block + 8);
        if (payload > size - at - blockOverhead)
            break;
        if (sink && crc32(block, std::size_t(16 + payload)) !=
                        qFromLittleEndian<quint32>(block + 16 + payload))
            break;
        if (tag == samplesTag) {
            const qint64 count = payload / sampleBytes;
            if (count == 0 || count > maxBlockSamples || payload % sampleBytes != 0 ||
                first != info.samples)
                break;
            if (sink) {
                const char *p = block + 16;
                sink->samples(first, int(count), p, p + 8 * count, p + 12 * count, p + 16 * count);
            }
            info.samples += count;
        } else if (tag == limitsTag) {
            if (payload != limitsBytes || first != info.samples)
                break;
            info.limits = takeLimits(block + 16);
        } // blocks of other kinds, from a later build of this format, are passed over
        at += blockOverhead + payload;
        if (sink)
            sink->progress(at, size);
    }
    info.droppedBytes = size - at;
    return info;
}
} // namespace

quint32 crc32(const char *data, std::size_t size, quint32 crc)
{
    static const CrcTables tables;
    const auto &t = tables.t;
    const uchar *p = reinterpret_cast<const uchar *>(data);
    crc = ~crc;
    for (; size >= 8; size -= 8, p += 8) {
        const quint32 lo = crc ^ qFromLittleEndian<quint32>(p);
        const quint32 hi = qFromLittleEndian<quint32>(p + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; size > 0; --size, ++p)
        crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

bool Writer::create(const QString &path, const Header &header)
{
    m_error.clear();
    m_file.setFileName(path);
    // Unbuffered, so that a full disk is known at the write that meets it.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    char h[headerBytes] = {};
    std::memcpy(h, magic, sizeof magic);
    qToLittleEndian(formatVersion, h + 8);
    qToLittleEndian(quint32(headerBytes), h + 12);
    qToLittleEndian(header.startMs, h + 16);
    qToLittleEndian(header.baud, h + 24);
    qToLittleEndian(header.motorId, h + 28);
    putLimits(h + 32, header.limits);
    qToLittleEndian(crc32(h, headerBytes - 4), h + headerBytes - 4);
    if (m_file.write(h, headerBytes) != headerBytes) {
        m_error = m_file.errorString();
        m_file.close();
        return false;
    }
    return true;
}

bool Writer::appendSamples(qint64 first, int count, const double *times, const float *positions,
                           const float *velocities, const float *currents)
{
    m_block.resize(std::size_t(blockOverhead + count * sampleBytes));
    char *p = m_block.data() + 16;
    qToLittleEndian<double>(times, count, p);
    qToLittleEndian<float>(positions, count, p + 8 * count);
    qToLittleEndian<float>(velocities, count, p + 12 * count);
    qToLittleEndian<float>(currents, count, p + 16 * count);
    return writeBlock(samplesTag, first, count * sampleBytes);
}

bool Writer::appendLimits(qint64 at, const Limits &limits)
{
    m_block.resize(blockOverhead + limitsBytes);
    putLimits(m_block.data() + 16, limits);
    return writeBlock(limitsTag, at, limitsBytes);
}

bool Writer::writeBlock(quint32 tag, qint64 first, int payload)
{
    if (!m_error.isEmpty() || !m_file.isOpen())
        return false;
    char *b = m_block.data();
    qToLittleEndian(tag, b);
    qToLittleEndian(quint32(payload), b + 4);
    qToLittleEndian(first, b + 8);
    qToLittleEndian(crc32(b, std::size_t(16 + payload)), b + 16 + payload);
    // A disk that fills takes part of a write; the next one says why.
    for (qint64 left = blockOverhead + payload, done = 0; left > 0; left -= done, b += done) {
        done = m_file.write(b, left);
        if (done <= 0) {
            m_error = m_file.errorString();
            return false;
        }
    }
    return true;
}

bool Writer::sync()
{
    if (!m_error.isEmpty() || !m_file.isOpen())
        return false;
#if defined(Q_OS_LINUX)
    const bool ok = ::fdatasync(m_file.handle()) == 0;
#elif defined(Q_OS_UNIX)
    const bool ok = ::fsync(m_file.handle()) == 0;
#elif defined(Q_OS_WIN)
    const bool ok = ::_commit(m_file.handle()) == 0;
#else
    const bool ok = m_file.flush();
#endif
    if (!ok)
        m_error = QString::fromLocal8Bit(std::strerror(errno));
    return ok;
}

Info scan(const QString &path)
{
    return walk(path, nullptr);
}

Info read(const QString &path, Sink &sink)
{
    return walk(path, &sink);
}

std::vector<Offer> unheldJournals(const QString &folder)
{
    std::vector<Offer> offers;
    if (folder.isEmpty())
        return offers;
    const QDir dir(folder);
    // Names begin with the start time, so the newest sorts first in reverse.
    const QStringList names =
        dir.entryList({QLatin1Char('*') + suffix}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        auto lock = std::make_shared<QLockFile>(path + QStringLiteral(".lock"));
        // Only a lock whose process is gone counts as stale, however old it is.
        lock->setStaleLockTime(0);
        // A journal removed since the listing leaves only its lock, which goes with `lock`.
        if (lockUnheld(*lock) && QFile::exists(path))
            offers.push_back({path, lock, scan(path)});
    }
    return offers;
}

void remove(const QString &path, std::shared_ptr<QLockFile> &lock)
{
    QFile::remove(path);
    if (lock)
        lock->unlock();
    lock.reset();
}

} // namespace journal

RunJournal::RunJournal(QObject *parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setInterval(journal::passMs);
    connect(m_timer, &QTimer::timeout, this, &RunJournal::pass);
}

RunJournal::~RunJournal() = default;

void RunJournal::begin(QString folder, qint32 baud, qint32 motorId)
{
    discard();
    journal::Header header;
    header.startMs = QDateTime::currentMSecsSinceEpoch();
    header.baud = baud;
    header.motorId = motorId;
    {
        QMutexLocker lock(&stateMutex);
        header.limits = m_limits = limits;
    }
    m_written = 0;
    if (!QDir().mkpath(folder)) {
        stop(QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(folder)));
        return;
    }
    const QString path = QDir(folder).filePath(
        QStringLiteral("run-%1-%2%3")
            .arg(QDateTime::fromMSecsSinceEpoch(header.startMs)
                     .toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")),
                 QString::number(QCoreApplication::applicationPid()), journal::suffix));
    // Locked before the file exists, so that no other instance ever offers it.
    m_lock = std::make_shared<QLockFile>(path + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        stop(QStringLiteral("cannot write in %1").arg(QDir::toNativeSeparators(folder)));
        return;
    }
    m_path = path;
    if (!m_writer.create(path, header)) {
        stop(m_writer.errorString());
        return;
    }
    m_unsynced = true;
    m_sinceSync.start();
    m_finishing = false;
    m_timer->start();
}

void RunJournal::adopt(QString path, std::shared_ptr<QLockFile> lock)
{
    discard();
    m_path = path;
    m_lock = std::move(lock);
}

void RunJournal::finish()
{
    if (m_writer.isOpen())
        m_finishing = true; // the decoder's last pass may still be under way
}

void RunJournal::discard()
{
    m_timer->stop();
    m_writer.close();
    if (!m_path.isEmpty())
        journal::remove(m_path, m_lock);
    m_path.clear();
    m_lock.reset();
}

void RunJournal::release()
{
    m_writer.close();
    m_path.clear();
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}

void RunJournal::pass()
{
    if (!m_writer.isOpen())
        return;
    for (;;) {
        Limits now;
        int n = 0;
        {
            QMutexLocker lock(&stateMutex);
            now = limits;
            const qint64 count = motorState.sampleCount;
            n = int(std::clamp<qint64>(count - m_written, 0, journal::maxBlockSamples));
            m_times.resize(std::size_t(n));
            std::copy_n(motorState.timeHistory.data() + m_written, n, m_times.data());
            for (int k = 0; k < 3; ++k) {
                m_values[k].resize(std::size_t(n));
                std::copy_n(motorState.histories[k].data() + m_written, n, m_values[k].data());
            }
        }
        if (std::memcmp(&now, &m_limits, sizeof now) != 0) {
            m_limits = now;
            if (!m_writer.appendLimits(m_written, now))
                return stop(m_writer.errorString());
            m_unsynced = true;
        }
        if (n == 0)
            break;
        if (!m_writer.appendSamples(m_written, n, m_times.data(), m_values[0].data(),
                                    m_values[1].data(), m_values[2].data()))
            return stop(m_writer.errorString());
        m_written += n;
        m_unsynced = true;
        if (n < journal::maxBlockSamples)
            break;
    }
    if (m_unsynced && (m_finishing || m_sinceSync.elapsed() >= journal::syncMs)) {
        if (!m_writer.sync())
            return stop(m_writer.errorString());
        m_unsynced = false;
        m_sinceSync.start();
    }
    if (std::exchange(m_finishing, false)) {
        m_timer->stop();
        m_writer.close();
    }
}

void RunJournal::stop(const QString &reason)
{
    m_timer->stop();
    m_writer.close();
    m_finishing = false;
    emit stopped(reason);
}
