// Streams the motor simulator at the full line rate into the real window (offscreen)
// and prints the CPU the whole tool uses, all threads together, measured from /proc
// over ten seconds, plus the frames sent and decoded.
//
//   build/bench/bench_cpu [seconds] [--journal]      or  bench/cpu/cpu_usage.sh
//
// With --journal the run is also journalled, into a temporary folder.
#include "mainwindow.h"
#include "motorstate.h"
#include "procstat.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <unistd.h>

namespace {
// User plus system CPU time of this process, all threads, in seconds.
double processCpuSeconds()
{
    const QList<QByteArray> fields = procSelfStat();
    return ticksToSeconds(fields.value(11).toDouble() + fields.value(12).toDouble()); // utime+stime
}

// What one thread has used: CPU seconds, and the times it was put to sleep and woken
// (its context switches).
struct ThreadUse
{
    double cpu = 0;
    double wakeUps = 0;
};

// The context switches of the thread `tid` of this process.
double contextSwitches(const QString &tid)
{
    QFile status(QStringLiteral("/proc/self/task/%1/status").arg(tid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    double switches = 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:") ||
            line.startsWith("nonvoluntary_ctxt_switches:"))
            switches += line.mid(line.indexOf(':') + 1).trimmed().toDouble();
    }
    return switches;
}

// What each thread of this process has used, by thread name.
QMap<QString, ThreadUse> threadUse()
{
    QMap<QString, ThreadUse> perThread;
    const QStringList tids =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &tid : tids) {
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QString name =
            QString::fromLatin1(
                line.mid(line.indexOf('(') + 1, line.lastIndexOf(')') - line.indexOf('(') - 1)) +
            QLatin1Char('/') + tid;
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        perThread[name] = {
            ticksToSeconds(fields.value(11).toDouble() + fields.value(12).toDouble()),
            contextSwitches(tid)};
    }
    return perThread;
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 10;
    const QString binDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    prepareMotorState(binDir);

    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/sim");
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(binDir + QStringLiteral("/korvane-sim"),
              {QStringLiteral("--link"), link, QStringLiteral("--rate"), QStringLiteral("100000")});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "korvane-sim did not start\n");
        return 1;
    }
    qputenv("KORVANE_EXTRA_PORTS", link.toLocal8Bit());

    MainWindow window;
    window.show();
    if (app.arguments().contains(QStringLiteral("--journal")))
        window.useJournal(dir.path() + QStringLiteral("/journal"));
    auto *combo = window.findChild<QComboBox *>(QStringLiteral("comboPort"));
    auto *status = window.findChild<QLabel *>(QStringLiteral("labMainStatus"));
    if (!QTest::qWaitFor([&] { return combo->findText(link, Qt::MatchStartsWith) >= 0; }, 5000)) {
        std::fprintf(stderr, "the simulator's port was not listed\n");
        return 1;
    }
    combo->setCurrentIndex(combo->findText(link, Qt::MatchStartsWith));
    window.findChild<QPushButton *>(QStringLiteral("btnConnect"))->click();
    if (!QTest::qWaitFor(
            [&] {
                return status->text().startsWith(QStringLiteral("Change to Display")) ||
                       status->text().startsWith(QStringLiteral("USB data"));
            },
            10000)) {
        std::fprintf(stderr, "display mode not reached: %s\n", qPrintable(status->text()));
        return 1;
    }
    QTest::qWait(1000);

    int samplesBefore = 0;
    {
        QMutexLocker lock(&stateMutex);
        samplesBefore = motorState.sampleCount;
    }
    const double cpuBefore = processCpuSeconds();
    const QMap<QString, ThreadUse> threadsBefore = threadUse();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(seconds * 1000);
    const double cpu = processCpuSeconds() - cpuBefore;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    int samplesAfter = 0;
    {
        QMutexLocker lock(&stateMutex);
        samplesAfter = motorState.sampleCount;
    }
    std::printf("tool_cpu_one_core: %.2f %%\n", 100.0 * cpu / elapsed);
    const QMap<QString, ThreadUse> threadsAfter = threadUse();
    QStringList wakeUpSummary;
    for (auto it = threadsAfter.cbegin(); it != threadsAfter.cend(); ++it) {
        const ThreadUse before = threadsBefore.value(it.key());
        const double used = it.value().cpu - before.cpu;
        const double wakeUps = it.value().wakeUps - before.wakeUps;
        if (used > 0 || wakeUps > 0) {
            std::printf("thread %s: %.2f %% cpu, %.0f wake-ups/s\n", qPrintable(it.key()),
                        100.0 * used / elapsed, wakeUps / elapsed);
            wakeUpSummary << QStringLiteral("%1 %2").arg(it.key()).arg(wakeUps / elapsed, 0, 'f',
                                                                       0);
        }
    }
    std::printf("wake_ups_per_s: %s\n", qPrintable(wakeUpSummary.join(QStringLiteral(", "))));
    std::printf("decoded_frames_per_s: %.0f\n", (samplesAfter - samplesBefore) / elapsed);
    std::printf("last_status: %s\n", qPrintable(status->text()));
    sim.terminate();
    sim.waitForFinished(5000);
    std::printf("%s", sim.readAllStandardOutput().constData());
    return 0;
}
