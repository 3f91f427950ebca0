// Prints how long recovering a full run journal (historyCapacity samples) takes, through the
// recording worker as at start-up, and how many progress texts it showed.
//
//   build/bench/bench_journal [folder]     (the folder must have room for 640 MB)
#include "motorstate.h"
#include "runjournal.h"
#include "saveunit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/journal-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/journal-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("run.kvj"));
    prepareMotorState(QDir::tempPath());
    journal::Writer writer;
    writer.create(path, journal::Header());
    const int block = journal::maxBlockSamples;
    std::vector<double> times(block);
    std::vector<float> values(block);
    for (qint64 first = 0; first < historyCapacity; first += block) {
        const int n = int(std::min<qint64>(block, historyCapacity - first));
        for (int i = 0; i < n; ++i)
            values[std::size_t(i)] = times[std::size_t(i)] = double(first + i) / 8378;
        writer.appendSamples(first, n, times.data(), values.data(), values.data(), values.data());
    }
    writer.sync();
    writer.close();
    SaveUnit unit;
    int progressTexts = 0;
    QObject::connect(&unit, &SaveUnit::configText, [&] { ++progressTexts; });
    QElapsedTimer timer;
    timer.start();
    unit.recoverJournal(path);
    std::printf("recover_%d_samples_s: %.2f\n", historyCapacity, timer.nsecsElapsed() / 1e9);
    std::printf("samples: %d, progress texts: %d\n", motorState.sampleCount, progressTexts);
    return 0;
}
