// Timing of the serial worker's write loop: the worker runs in its own thread as in
// the application, sends frames for 10 s over a pseudo-terminal, and the arrival time
// of every frame at the other end gives the intervals between passes.
#include "motorstate.h"
#include "myserialport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int frameLength = 15;
constexpr auto runTime = std::chrono::seconds(10);

double percentile(std::vector<double> sorted, double p)
{
    const size_t index = size_t(p * double(sorted.size() - 1) + 0.5);
    return sorted[index];
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int master = -1;
    int slave = -1;
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    ::close(slave);
    termios raw;
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);

    QThread thread;
    auto *worker = new MySerialPort;
    worker->moveToThread(&thread);
    thread.start();
    worker->setPortLocation(QString::fromLatin1(name));
    worker->setBaud(921600);

    bool connected = false;
    QEventLoop wait;
    QObject::connect(worker, &MySerialPort::connectSucceed, &wait, [&] {
        connected = true;
        wait.quit();
    });
    QObject::connect(worker, &MySerialPort::connectFailed, &wait, &QEventLoop::quit);
    QTimer::singleShot(10000, &wait, &QEventLoop::quit);
    QMetaObject::invokeMethod(worker, [worker] { worker->connect(); });
    wait.exec();
    if (!connected) {
        std::fprintf(stderr, "could not open %s\n", name);
        return 1;
    }

    {
        QMutexLocker lock(&stateMutex);
        motorState.sendEnabled = true;
        motorState.usePackedCommand = false;
    }
    worker->setLoop(true);

    // Where allowed, the reading end runs real-time so that its own wake-up delays do
    // not show up as jitter of the writer; the worker keeps the ordinary policy it
    // started with.
    sched_param realtime{};
    realtime.sched_priority = 10;
    const bool readerRealtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime) == 0;

    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> arrivals;
    arrivals.reserve(1000);
    long long bytes = 0;
    const Clock::time_point end = Clock::now() + runTime;
    while (Clock::now() < end) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            break;
        const Clock::time_point now = Clock::now();
        const long long before = bytes / frameLength;
        bytes += n;
        for (long long f = before; f < bytes / frameLength; ++f)
            arrivals.push_back(now);
    }

    QMetaObject::invokeMethod(worker, "unConnect", Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait(5000);
    worker->unConnect();
    delete worker;
    ::close(master);

    std::vector<double> intervals;
    for (size_t i = 1; i < arrivals.size(); ++i)
        intervals.push_back(
            std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]).count());
    if (intervals.empty()) {
        std::fprintf(stderr, "no frames arrived\n");
        return 1;
    }
    std::sort(intervals.begin(), intervals.end());
    std::printf("reader_realtime: %d bool\n", readerRealtime ? 1 : 0);
    std::printf("write_frames: %zu frames\n", arrivals.size());
    std::printf("write_interval_median: %.3f ms\n", percentile(intervals, 0.5));
    std::printf("write_interval_p1: %.3f ms\n", percentile(intervals, 0.01));
    std::printf("write_interval_p99: %.3f ms\n", percentile(intervals, 0.99));
    std::printf("write_interval_max: %.3f ms\n", intervals.back());
    return 0;
}
