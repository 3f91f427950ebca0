// Streams the motor simulator at the full line rate into the real window (offscreen)
// and prints the CPU the whole tool uses, all threads together, measured from /proc
// over ten seconds, plus the frames sent and decoded.
//
//   build/bench/bench_cpu [seconds] [--journal] [--can plugin:interface]
//   or  bench/cpu/cpu_usage.sh
//
// With --journal the run is also journalled, into a temporary folder. With --can (e.g.
// virtualcan:can0) the window connects to that CAN interface and the simulator streams
// replies at the bus's rate, about 8,000 a second at 1 Mbit/s, a known number of them
// (the measured seconds and one more on either side), so that the replies lost are
// counted too.
#include "mainwindow.h"
#include "motorstate.h"
#include "procstat.h"
#include "startoptions.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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

// Starts korvane-sim with `arguments` and waits for its "device:" line.
bool startSim(QProcess *sim, const QString &binDir, const QStringList &arguments)
{
    sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim->start(binDir + QStringLiteral("/korvane-sim"), arguments);
    if (sim->waitForStarted(5000) && sim->waitForReadyRead(5000))
        return true;
    std::fprintf(stderr, "korvane-sim did not start\n");
    return false;
}

// The window connected to the simulator on a pseudo-terminal, in display mode.
bool connectSerial(MainWindow *window, QProcess *sim, const QString &binDir, const QString &link)
{
    if (!startSim(
            sim, binDir,
            {QStringLiteral("--link"), link, QStringLiteral("--rate"), QStringLiteral("100000")}))
        return false;
    qputenv("KORVANE_EXTRA_PORTS", link.toLocal8Bit());
    auto *combo = window->findChild<QComboBox *>(QStringLiteral("comboPort"));
    auto *status = window->findChild<QLabel *>(QStringLiteral("labMainStatus"));
    if (!QTest::qWaitFor([&] { return combo->findText(link, Qt::MatchStartsWith) >= 0; }, 5000)) {
        std::fprintf(stderr, "the simulator's port was not listed\n");
        return false;
    }
    combo->setCurrentIndex(combo->findText(link, Qt::MatchStartsWith));
    window->findChild<QPushButton *>(QStringLiteral("btnConnect"))->click();
    if (!QTest::qWaitFor(
            [&] {
                return status->text().startsWith(QStringLiteral("Change to Display")) ||
                       status->text().startsWith(QStringLiteral("USB data"));
            },
            10000)) {
        std::fprintf(stderr, "display mode not reached: %s\n", qPrintable(status->text()));
        return false;
    }
    return true;
}

// The window connected to the CAN interface `can`, and the simulator streaming `replies`
// replies to it. A second simulator, for a motor the window does not select, is started
// first: on Qt's virtual bus it hosts the bus, so that the window's process only listens,
// as it does on a real interface.
bool connectCan(MainWindow *window, QProcess *host, QProcess *sim, const QString &binDir,
                const QString &can, int replies)
{
    if (!startSim(host, binDir,
                  {QStringLiteral("--can"), can, QStringLiteral("--motor-id"),
                   QStringLiteral("200"), QStringLiteral("--rate"), QStringLiteral("1")}))
        return false;
    StartOptions options;
    options.port = can;
    options.motorId = 0;
    options.connect = true;
    window->applyStartOptions(options);
    auto *connect = window->findChild<QPushButton *>(QStringLiteral("btnConnect"));
    if (!QTest::qWaitFor([&] { return connect->text() == QLatin1String("Disconnect"); }, 10000)) {
        std::fprintf(stderr, "%s did not open\n", qPrintable(can));
        return false;
    }
    return startSim(sim, binDir,
                    {QStringLiteral("--can"), can, QStringLiteral("--rate"),
                     QStringLiteral("100000"), QStringLiteral("--frames"),
                     QString::number(replies)});
}

// The window's own event loop for `ms` milliseconds, as the tool runs it: QTest::qWait
// would wake the window thread every 10 ms on top of what the tool itself does.
void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int sampleCount()
{
    QMutexLocker lock(&stateMutex);
    return motorState.sampleCount;
}

// The simulator's summary value for `key` in `summary`, its "key: value" lines.
QByteArray summaryValue(const QByteArray &summary, const QByteArray &key)
{
    for (const QByteArray &line : summary.split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed();
    return {};
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // As the tool does.
    fixLocalTimeZone();
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const QString can = arguments.value(arguments.indexOf(QStringLiteral("--can")) + 1);
    const bool onCan = arguments.contains(QStringLiteral("--can"));
    int seconds = 10;
    for (const QString &argument : arguments.mid(1))
        if (argument.toInt() > 0)
            seconds = argument.toInt();
    const QString binDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    prepareMotorState(binDir);

    QTemporaryDir dir;
    MainWindow window;
    window.show();
    if (arguments.contains(QStringLiteral("--journal")))
        window.useJournal(dir.path() + QStringLiteral("/journal"));
    QProcess host, sim;
    // At the bus's 8,000 replies/s, for the measured seconds and one more on either side.
    const int replies = 8000 * (seconds + 2);
    QElapsedTimer streaming;
    streaming.start();
    if (onCan ? !connectCan(&window, &host, &sim, binDir, can, replies)
              : !connectSerial(&window, &sim, binDir, dir.path() + QStringLiteral("/sim")))
        return 1;
    auto *status = window.findChild<QLabel *>(QStringLiteral("labMainStatus"));
    streaming.restart();
    runEventLoop(1000);

    const int samplesBefore = sampleCount();
    const double cpuBefore = processCpuSeconds();
    const QMap<QString, ThreadUse> threadsBefore = threadUse();
    QElapsedTimer wall;
    wall.start();
    runEventLoop(seconds * 1000);
    const double cpu = processCpuSeconds() - cpuBefore;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const int samplesAfter = sampleCount();
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
    if (onCan) // the rest of the replies, and a moment for the last of them to arrive
        runEventLoop(int(std::max<qint64>(0, replies / 8 + 500 - streaming.elapsed())));
    sim.terminate();
    sim.waitForFinished(5000);
    const QByteArray summary = sim.readAllStandardOutput();
    std::printf("%s", summary.constData());
    if (onCan) {
        std::printf("replies_lost: %lld\n",
                    summaryValue(summary, "feedback frames sent").toLongLong() - sampleCount());
        host.terminate();
        host.waitForFinished(5000);
    }
    return 0;
}
