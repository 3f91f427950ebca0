// Saves and reads a recording through SaveUnit on a real file in /tmp and prints
// lines per second, then numbers per second for the recording and the CSV export;
// with --full it also times a full 32,000,000-sample recording and export.
#include "motorstate.h"
#include "saveunit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!prepareMotorState(QCoreApplication::applicationDirPath())) {
        std::fprintf(stderr, "cannot map the histories\n");
        return 1;
    }
    QTemporaryDir dir(QStringLiteral("/tmp/korvane-bench-XXXXXX"));
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

    if (argc > 1 && std::strcmp(argv[1], "--full") == 0) {
        const auto [saveFull, readFull] = timeRoundTrip(path, historyCapacity);
        std::printf("save_full_s: %.2f s\n", saveFull);
        std::printf("read_full_s: %.2f s\n", readFull);
        std::printf("csv_full_s: %.2f s\n", timeCsv(path, historyCapacity));
    }
    return 0;
}
