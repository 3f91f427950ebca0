// korvane-sim: a simulated USB-CAN adapter with one motor, on a pseudo-terminal, or the
// motor alone on a CAN bus.
#include "cansimulator.h"
#include "ptysimulator.h"
#include "simoptions.h"

#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <cstdio>

namespace {
std::atomic<int> stopSignal{0};

void onStopSignal(int signal)
{
    stopSignal.store(signal);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SimOptions options;
    QString message;
    switch (parseSimOptions(app.arguments(), &options, &message)) {
    case OptionsResult::Help:
    case OptionsResult::Version:
        std::fputs(qPrintable(message), stdout);
        return 0;
    case OptionsResult::Error:
        std::fprintf(stderr, "korvane-sim: %s (see --help)\n", qPrintable(message));
        return 2;
    case OptionsResult::Run:
        break;
    }

    // The stop signals stay blocked except while the simulator waits, so one that
    // arrives between two waits is delivered at the next instead of being missed.
    sigset_t stopSignals;
    sigset_t waitMask;
    sigemptyset(&stopSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopSignals, s);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    PtySimulator::StopReason reason;
    QStringList summary;
    if (!options.can.isEmpty()) {
        // The event loop serves the bus; the stop signals are looked at between its passes.
        sigprocmask(SIG_SETMASK, &waitMask, nullptr);
        CanSimulator simulator(options);
        if (!simulator.open(&message)) {
            std::fprintf(stderr, "korvane-sim: %s\n", qPrintable(message));
            return 1;
        }
        std::printf("device: %s\n", qPrintable(options.can));
        std::fflush(stdout);
        std::fprintf(stderr, "korvane-sim: motor %d on %s; %.1f replies/s\n", options.motorId,
                     qPrintable(options.can), feedbackRate(options));
        reason = simulator.run(stopSignal);
        simulator.close();
        summary = simulator.summary();
    } else {
        PtySimulator simulator(options);
        if (!simulator.open(&message)) {
            std::fprintf(stderr, "korvane-sim: %s\n", qPrintable(message));
            return 1;
        }
        std::printf("device: %s\n", qPrintable(simulator.devicePath()));
        std::fflush(stdout);
        std::fprintf(stderr,
                     "korvane-sim: motor %d behind %s (link %s); %.1f feedback frames/s in "
                     "display mode\n",
                     options.motorId, qPrintable(simulator.devicePath()), qPrintable(options.link),
                     feedbackRate(options));
        reason = simulator.run(stopSignal, &waitMask);
        simulator.close();
        summary = summaryLines(simulator.stats());
    }
    switch (reason) {
    case PtySimulator::StopReason::Signal:
        std::fprintf(stderr, "korvane-sim: stopped by signal %d\n", stopSignal.load());
        break;
    case PtySimulator::StopReason::Duration:
        std::fprintf(stderr, "korvane-sim: duration over\n");
        break;
    case PtySimulator::StopReason::Hangup:
        std::fprintf(stderr, "korvane-sim: hung up as asked\n");
        break;
    case PtySimulator::StopReason::ClientClosed:
        std::fprintf(stderr, "korvane-sim: the client closed the device\n");
        break;
    case PtySimulator::StopReason::Failed:
        std::fprintf(stderr, "korvane-sim: the %s failed\n",
                     options.can.isEmpty() ? "terminal" : "CAN interface");
        break;
    }
    for (const QString &line : summary)
        std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
    return 0;
}
