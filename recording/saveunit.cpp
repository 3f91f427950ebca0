#include "saveunit.h"

#include "motorstate.h"
#include "recordingfile.h"
#include "runjournal.h"

#include <QDateTime>
#include <QtEndian>

#include <algorithm>
#include <cstring>

using namespace recording;

namespace {

// Samples each history can hold; the caller holds stateMutex.
qint64 historyRoomLocked()
{
    std::size_t room = historyCapacity;
    for (const History &history : motorState.histories)
        room = std::min(room, history.size());
    return qint64(room);
}

QString progressText(const char *operation, const QString &figure)
{
    return QStringLiteral("%1 %2 %").arg(QLatin1String(operation), figure);
}

// Copies entries [first, first + count) of `history` to `out`; entries past its end are 0.
// The caller holds stateMutex.
template <typename T>
void copyEntries(const BasicHistory<T> &history, qint64 first, int count, T *out)
{
    const std::size_t available =
        history.size() > std::size_t(first) ? history.size() - std::size_t(first) : 0;
    const std::size_t n = std::min(std::size_t(count), available);
    if (n > 0)
        std::memcpy(out, history.data() + first, n * sizeof(T));
    std::fill(out + n, out + count, T(0));
}

// Makes `count` the sample count. Entries past it read as 0, as after a connect reset, so a
// later reset or decoder never finds stale samples of a longer recording there.
void setSampleCount(qint64 count)
{
    qint64 previous = 0;
    {
        QMutexLocker lock(&stateMutex);
        previous = motorState.sampleCount;
        motorState.sampleCount = int(count);
    }
    for (qint64 first = count; first < previous; first += blockSamples) {
        const qint64 n = std::min<qint64>(blockSamples, previous - first);
        QMutexLocker lock(&stateMutex);
        for (History &history : motorState.histories) {
            if (std::size_t(first) + std::size_t(n) <= history.size())
                std::memset(history.data() + first, 0, std::size_t(n) * sizeof(float));
        }
        TimeHistory &times = motorState.timeHistory;
        if (std::size_t(first) + std::size_t(n) <= times.size())
            std::memset(times.data() + first, 0, std::size_t(n) * sizeof(double));
    }
}

// Takes the histories block by block, one hold of stateMutex per block, and shows the
// progress of `operation`.
class HistorySource : public RecordingSource
{
public:
    HistorySource(SaveUnit &unit, const char *operation) : m_unit(unit), m_operation(operation) {}

    void opened() override
    {
        emit m_unit.configText(progressText(m_operation, QStringLiteral("0")));
    }

    void copySamples(int section, qint64 first, int count, float *out) override
    {
        QMutexLocker lock(&stateMutex);
        copyEntries(motorState.histories[section], first, count, out);
    }

    bool hasTimes() override
    {
        QMutexLocker lock(&stateMutex);
        return motorState.hasTimes;
    }

    void copyTimes(qint64 first, int count, double *out) override
    {
        QMutexLocker lock(&stateMutex);
        copyEntries(motorState.timeHistory, first, count, out);
    }

    void sampleWritten(int section, qint64 index, qint64 total) override
    {
        emit m_unit.configText(progressText(m_operation, progressFigure(section, index, total)));
    }

    void rowWritten(qint64 index, qint64 total) override
    {
        emit m_unit.configText(progressText(m_operation, rowProgressFigure(index, total)));
    }

private:
    SaveUnit &m_unit;
    const char *m_operation;
};

// Stores what the reader finds, block by block, one hold of stateMutex per block.
class HistorySink : public RecordingSink
{
public:
    explicit HistorySink(SaveUnit &unit) : m_unit(unit) {}

    void opened() override
    {
        emit m_unit.configText(progressText("ReadFromTxt", QStringLiteral("0")));
    }

    void countRead(qint64 fileCount, qint64 storedCount) override
    {
        Q_UNUSED(fileCount)
        setSampleCount(storedCount);
    }

    void storeSamples(int section, qint64 first, int count, const float *values) override
    {
        QMutexLocker lock(&stateMutex);
        History &history = motorState.histories[section];
        if (std::size_t(first) >= history.size())
            return;
        const std::size_t n = std::min(std::size_t(count), history.size() - std::size_t(first));
        std::memcpy(history.data() + first, values, n * sizeof(float));
    }

    void storeTimes(qint64 first, int count, const double *seconds) override
    {
        QMutexLocker lock(&stateMutex);
        TimeHistory &times = motorState.timeHistory;
        if (std::size_t(first) >= times.size())
            return;
        const std::size_t n = std::min(std::size_t(count), times.size() - std::size_t(first));
        std::memcpy(times.data() + first, seconds, n * sizeof(double));
    }

    void timesRead(bool valid) override
    {
        QMutexLocker lock(&stateMutex);
        motorState.hasTimes = valid;
    }

    void sampleRead(int section, qint64 index, qint64 total) override
    {
        emit m_unit.configText(progressText("ReadFromTxt", progressFigure(section, index, total)));
    }

    bool keepReading() override { return !m_unit.readsStopped(); }

    void sectionRead(int section, float low, float high) override
    {
        QMutexLocker lock(&stateMutex);
        switch (section) {
        case PositionChannel:
            motorState.decodePositionMax = high;
            motorState.decodePositionMin = low;
            break;
        case VelocityChannel:
            motorState.decodeVelocityMax = high;
            motorState.decodeVelocityMin = low;
            break;
        default:
            motorState.decodeCurrentMax = high;
            motorState.decodeCurrentMin = low;
            break;
        }
    }

private:
    SaveUnit &m_unit;
};

// Stores the blocks of a journal, one hold of stateMutex per block, as far as the histories
// have room, and finds each history's range as a read recording's: from 0 out to its extremes.
class JournalLoad : public journal::Sink
{
public:
    JournalLoad(SaveUnit &unit, qint64 room) : m_unit(unit), m_room(room) {}

    void samples(qint64 first, int count, const char *times, const char *positions,
                 const char *velocities, const char *currents) override
    {
        const int n = int(std::clamp<qint64>(m_room - first, 0, count));
        const char *columns[3] = {positions, velocities, currents};
        QMutexLocker lock(&stateMutex);
        qFromLittleEndian<double>(times, n, motorState.timeHistory.data() + first);
        for (int k = 0; k < 3; ++k) {
            float *out = motorState.histories[k].data() + first;
            qFromLittleEndian<float>(columns[k], n, out);
            for (int i = 0; i < n; ++i) {
                low[k] = std::min(low[k], out[i]);
                high[k] = std::max(high[k], out[i]);
            }
        }
        stored = first + n;
    }

    void progress(qint64 done, qint64 total) override
    {
        const int percent = int(100 * done / total);
        if (std::exchange(m_percent, percent) != percent)
            emit m_unit.configText(progressText("Recover", QString::number(percent)));
    }

    float low[3] = {}, high[3] = {};
    qint64 stored = 0;

private:
    SaveUnit &m_unit;
    const qint64 m_room;
    int m_percent = 0;
};

} // namespace

RecordingGuard::RecordingGuard()
{
    beginHistoryOperation();
}

RecordingGuard::~RecordingGuard()
{
    endHistoryOperation();
}

SaveUnit::SaveUnit(QObject *parent) : QObject(parent)
{
}

void SaveUnit::setFile(const QString &name)
{
    QMutexLocker lock(&m_fileNameMutex);
    fileName = name;
}

QString SaveUnit::chooseFile(const QString &requestedName)
{
    if (!requestedName.isEmpty())
        return requestedName;
    QMutexLocker lock(&m_fileNameMutex);
    return fileName;
}

void SaveUnit::saveToTxt(QString requestedName)
{
    save(requestedName, false);
}

void SaveUnit::saveToCsv(QString requestedName)
{
    save(requestedName, true);
}

void SaveUnit::save(const QString &requestedName, bool csv)
{
    const QString operation = QLatin1String(csv ? "SaveToCsv" : "SaveToTxt");
    const QString path = chooseFile(requestedName);
    if (path.isEmpty()) {
        emit configText(operation + QLatin1String(" failed"));
        emit msgBox(QStringLiteral("Could not save: no file name was given."));
        return;
    }
    RecordingGuard guard;
    qint64 count = 0;
    {
        QMutexLocker lock(&stateMutex);
        count = std::clamp<qint64>(motorState.sampleCount, 0, historyRoomLocked());
    }
    HistorySource source(*this, csv ? "SaveToCsv" : "SaveToTxt");
    const RecordingResult result =
        csv ? saveCsv(path, count, source) : saveRecording(path, count, source);
    if (!result.ok) {
        emit configText(operation + QLatin1String(" failed"));
        emit msgBox(result.error);
        return;
    }
    emit configText(operation + QLatin1String(" 100 %"));
    emit recordingKept();
}

void SaveUnit::saveToPng()
{
    emit msgBox(QStringLiteral("Not Finished."));
}

void SaveUnit::stopReading()
{
    m_readsStopped = true;
}

void SaveUnit::resumeReading()
{
    m_readsStopped = false;
}

bool SaveUnit::readsStopped() const
{
    return m_readsStopped;
}

void SaveUnit::readFromTxt(QString requestedName)
{
    const QString path = chooseFile(requestedName);
    if (path.isEmpty()) {
        emit msgBox(QStringLiteral("Could not read: no file name was given."));
        return;
    }
    if (readsStopped())
        return;
    RecordingGuard guard;
    HistorySink sink(*this);
    qint64 capacity = 0;
    {
        QMutexLocker lock(&stateMutex);
        capacity = historyRoomLocked();
    }
    const RecordingResult result = loadRecording(path, capacity, sink);
    if (result.abandoned)
        return;
    if (!result.opened) {
        // Not opened, or not a recording: the histories are as they were.
        emit msgBox(result.error);
        return;
    }
    // Whatever came of it, the histories now hold (part of) the file, not the run.
    emit recordingKept();
    QStringList notes;
    if (!result.error.isEmpty()) {
        emit configText(QStringLiteral("ReadFromTxt failed"));
        notes << result.error;
    } else if (!result.ok) {
        emit configText(QStringLiteral("ReadFromTxt incomplete"));
        notes << QStringLiteral("%1 ended after %2 of its %3 announced samples, in its %4 "
                                "section. The samples it holds were read; the rest are 0.")
                     .arg(path)
                     .arg(result.endedAfter)
                     .arg(result.fileCount)
                     .arg(QLatin1String(sectionHeaders[result.endedInSection]));
    } else {
        emit configText(progressText("ReadFromTxt", QStringLiteral("100")));
        if (result.storedCount < result.fileCount)
            notes << QStringLiteral("%1 holds %2 samples per history; only the first %3 were "
                                    "read.")
                         .arg(path)
                         .arg(result.fileCount)
                         .arg(result.storedCount);
    }
    if (result.notNumbers > 0)
        notes << QStringLiteral("Sample texts in %1 that are not numbers were read as 0: %2.")
                     .arg(path)
                     .arg(result.notNumbers);
    if (!result.timeError.isEmpty())
        notes << QStringLiteral("The times in %1 were not read, as %2; the run has no times.")
                     .arg(path, result.timeError);
    if (!notes.isEmpty())
        emit msgBox(notes.join(QLatin1Char(' ')));
    emit uiRepaint();
}

void SaveUnit::recoverJournal(QString path)
{
    if (readsStopped())
        return;
    RecordingGuard guard;
    qint64 room = 0;
    {
        QMutexLocker lock(&stateMutex);
        room = historyRoomLocked();
    }
    emit configText(progressText("Recover", QStringLiteral("0")));
    JournalLoad sink(*this, room);
    const journal::Info info = journal::read(path, sink);
    if (!info.readable) {
        emit configText(QStringLiteral("Recover failed"));
        emit msgBox(QStringLiteral("Could not recover %1: %2.").arg(path, info.error));
        return;
    }
    setSampleCount(sink.stored);
    {
        QMutexLocker lock(&stateMutex);
        MotorState &s = motorState;
        s.hasTimes = true;
        s.decodePositionMin = sink.low[PositionChannel];
        s.decodePositionMax = sink.high[PositionChannel];
        s.decodeVelocityMin = sink.low[VelocityChannel];
        s.decodeVelocityMax = sink.high[VelocityChannel];
        s.decodeCurrentMin = sink.low[CurrentChannel];
        s.decodeCurrentMax = sink.high[CurrentChannel];
        limits = info.limits;
    }
    emit configText(progressText("Recover", QStringLiteral("100")));
    emit journalRecovered();
    const QString text = QStringLiteral("Recovered %1 samples of the run from %2.")
                             .arg(sink.stored)
                             .arg(QDateTime::fromMSecsSinceEpoch(info.header.startMs)
                                      .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (info.droppedBytes > 0)
        emit msgBox(text + QStringLiteral(" The last %1 bytes of its journal were damaged or cut "
                                          "off and were left out.")
                               .arg(info.droppedBytes));
    else
        emit statusMsg(text);
    emit uiRepaint();
}
