// Saves and reads a recording through SaveUnit on a real file in TMPDIR (/tmp by
// default) and prints lines per second, then numbers per second for the recording and
// the CSV export, then the lines per second of the time section alone (the same run
// saved and read with and without times, in processor time); with --full it also times
// a full 32,000,000-sample recording and export, and the save of a full recording with
// times.
#include "motorstate.h"
#include "recordingfile.h"
#include "saveunit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

void fillHistories(int count)
{
    QRandomGenerator rng(1);
    QMutexLocker lock(&stateMutex);
    for (History &history : motorState.histories)
        for (int i = 0; i < count; ++i)
            history[i] = float(rng.bounded(200.0) - 100.0);
    motorState.sampleCount = count;
}

// Returns {save seconds, read seconds}.
std::pair<double, double> timeRoundTrip(const QString &path, int count)
{
    fillHistories(count);
    SaveUnit unit;
    QElapsedTimer clock;
    clock.start();
    unit.saveToTxt(path);
    const double save = clock.nsecsElapsed() / 1e9;
    connectReset();
    clock.restart();
    unit.readFromTxt(path);
    const double read = clock.nsecsElapsed() / 1e9;
    return {save, read};
}

// Returns the seconds the export of `count` samples takes.
double timeCsv(const QString &path, int count)
{
    fillHistories(count);
    SaveUnit unit;
    QElapsedTimer clock;
    clock.start();
    unit.saveToCsv(path);
    return clock.nsecsElapsed() / 1e9;
}

// Samples that take every length from "0.000" to "-100.000", and times a millisecond
// apart with a microsecond of jitter, as a run's receive times are.
struct TimedSource : recording::RecordingSource
{
    bool times = false;
    void copySamples(int section, qint64 first, int count, float *out) override
    {
        for (int j = 0; j < count; ++j)
            out[j] = float((first + j + section) % 1601) / 8.0f - 100.0f;
    }
    bool hasTimes() override { return times; }
    void copyTimes(qint64 first, int count, double *out) override
    {
        for (int j = 0; j < count; ++j)
            out[j] = double(first + j) * 0.001 + double((first + j) % 7) * 1e-6;
    }
};

struct DiscardingSink : recording::RecordingSink
{
    void countRead(qint64, qint64) override {}
    void storeSamples(int, qint64, int, const float *) override {}
    void sectionRead(int, float, float) override {}
};

// Returns the seconds `work` takes.
template <typename Work> double timed(Work work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e9;
}

// Returns the processor seconds `work` takes: unlike the elapsed time, they do not grow
// with the other work on a shared machine (nor with the wait for the disk).
template <typename Work> double processorTime(Work work)
{
    const std::clock_t start = std::clock();
    work();
    return double(std::clock() - start) / CLOCKS_PER_SEC;
}

// Prints the time section's lines per second of processor time: the difference between
// the same recording (or export) saved and read with and without times.
void timeSection(const QString &path, qint64 count)
{
    TimedSource source;
    DiscardingSink sink;
    double save[2], read[2], csv[2];
    // The best of three runs.
    for (int run = 0; run < 6; ++run) {
        const int times = run % 2;
        source.times = times == 1;
        const double s = processorTime([&] { recording::saveRecording(path, count, source); });
        const double r = processorTime([&] { recording::loadRecording(path, count, sink); });
        const double c = processorTime([&] { recording::saveCsv(path, count, source); });
        save[times] = run < 2 ? s : std::min(save[times], s);
        read[times] = run < 2 ? r : std::min(read[times], r);
        csv[times] = run < 2 ? c : std::min(csv[times], c);
    }
    std::printf("time_save_lines_per_s: %.0f lines/s\n", count / (save[1] - save[0]));
    std::printf("time_read_lines_per_s: %.0f lines/s\n", count / (read[1] - read[0]));
    std::printf("csv_time_column_per_s: %.0f cells/s\n", count / (csv[1] - csv[0]));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!prepareMotorState(QCoreApplication::applicationDirPath())) {
        std::fprintf(stderr, "cannot map the histories\n");
        return 1;
    }
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/korvane-bench-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("recording.txt"));

    const int count = 1000000;
    const double lines = 3.0 * count + 4;
    const auto [save, read] = timeRoundTrip(path, count);
    std::printf("save_lines_per_s: %.0f lines/s\n", lines / save);
    std::printf("read_lines_per_s: %.0f lines/s\n", lines / read);
    // A recording writes 3 samples an index, the export the index and 3 samples a row.
    const double csv = timeCsv(path, count);
    std::printf("save_numbers_per_s: %.0f numbers/s\n", 3.0 * count / save);
    std::printf("csv_numbers_per_s: %.0f numbers/s (%.0f samples/s)\n", 4.0 * count / csv,
                3.0 * count / csv);

    timeSection(path, 5000000);

    if (argc > 1 && std::strcmp(argv[1], "--full") == 0) {
        const auto [saveFull, readFull] = timeRoundTrip(path, historyCapacity);
        std::printf("save_full_s: %.2f s\n", saveFull);
        std::printf("read_full_s: %.2f s\n", readFull);
        std::printf("csv_full_s: %.2f s\n", timeCsv(path, historyCapacity));
        TimedSource source;
        source.times = true;
        std::printf("save_full_with_times_s: %.2f s\n",
                    timed([&] { recording::saveRecording(path, historyCapacity, source); }));
    }
    return 0;
}
