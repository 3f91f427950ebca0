// Prints the start-up figures of the tool: time from process start to the window
// being shown (a first window writes the settings the measured one restores), resident memory of
// the idle window, the connect reset with full histories, and one live refresh at full histories.
//
//   build/bench/bench_startup            (offscreen by default)
#include "mainwindow.h"
#include "motorstate.h"
#include "procstat.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {
// Seconds since this process started, from the kernel's own record of its start.
double secondsSinceProcessStart()
{
    const double start = ticksToSeconds(procSelfStat().value(19).toDouble()); // starttime
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec + now.tv_nsec / 1e9 - start;
}

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepareMotorState(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"));
    // Started as a user's second run: with every remembered setting to restore.
    QTemporaryDir settingsDir;
    QSettings settings(settingsDir.filePath(QStringLiteral("korvane.conf")), QSettings::IniFormat);
    {
        MainWindow first;
        first.useSettings(&settings);
        first.close();
    }
    MainWindow window;
    window.useSettings(&settings);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window was not exposed\n");
    std::printf("startup_to_window_shown: %.1f ms\n", secondsSinceProcessStart() * 1000.0);

    QTest::qWait(1500);
    std::printf("idle_window_rss: %.1f MB\n", residentMegabytes());

    // Fill every history completely, as after a very long run.
    {
        QMutexLocker lock(&stateMutex);
        for (History &h : motorState.histories) {
            for (int i = 0; i < historyCapacity; ++i)
                h[i] = std::sin(i * 1e-4f) * 50.0f;
        }
        for (int i = 0; i < historyCapacity; ++i)
            motorState.timeHistory[std::size_t(i)] = i * 1e-3;
        motorState.hasTimes = true;
        motorState.sampleCount = historyCapacity;
    }
    std::printf("full_histories_rss: %.1f MB\n", residentMegabytes());

    QElapsedTimer flush;
    const int flushes = 50;
    flush.start();
    for (int i = 0; i < flushes; ++i)
        QMetaObject::invokeMethod(&window, "uiFlush");
    std::printf("uiflush_full_histories: %.2f ms\n", flush.nsecsElapsed() / 1e6 / flushes);

    QElapsedTimer reset;
    reset.start();
    connectReset();
    std::printf("connect_reset_full_histories: %.2f ms\n", reset.nsecsElapsed() / 1e6);
    std::printf("after_reset_rss: %.1f MB\n", residentMegabytes());
    window.close();

    // Closing a connected session: the simulator streams for 2 s, the run is let go, then
    // the window closes.
    QTemporaryDir simDir;
    const QString link = simDir.filePath(QStringLiteral("sim"));
    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/korvane-sim"),
              {QStringLiteral("--link"), link});
    if (!sim.waitForReadyRead(5000))
        return 1;
    qputenv("KORVANE_EXTRA_PORTS", link.toLocal8Bit());
    auto *connected = new MainWindow;
    connected->show();
    auto *ports = connected->findChild<QComboBox *>(QStringLiteral("comboPort"));
    auto *connect = connected->findChild<QPushButton *>(QStringLiteral("btnConnect"));
    if (!QTest::qWaitFor([&] { return ports->findText(link, Qt::MatchStartsWith) >= 0; }, 5000))
        return 1;
    ports->setCurrentIndex(ports->findText(link, Qt::MatchStartsWith));
    connect->click();
    if (!QTest::qWaitFor([&] { return connect->text() == QStringLiteral("Disconnect"); }, 5000))
        return 1;
    QTest::qWait(2000);
    {
        QMutexLocker lock(&stateMutex);
        motorState.sampleCount = 0; // nothing to ask about
    }
    QElapsedTimer closing;
    closing.start();
    connected->close();
    delete connected;
    std::printf("close_after_connected_session: %.1f ms\n", closing.nsecsElapsed() / 1e6);
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}
