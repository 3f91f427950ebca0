#include "simoptions.h"
#include "korvane_version.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cmath>

double lineFrameRate(int baud)
{
    return baud / 10.0 / 11.0;
}

double canFrameRate(int bitrate)
{
    return bitrate / 125.0;
}

double feedbackRate(const SimOptions &options)
{
    return std::min(options.rate, options.can.isEmpty() ? lineFrameRate(options.baud)
                                                        : canFrameRate(options.bitrate));
}

namespace {
bool readInt(const QCommandLineParser &parser, const QString &name, int min, int max, int *value,
             QString *message)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int v = parser.value(name).toInt(&ok);
    if (!ok || v < min || v > max) {
        *message = QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                       .arg(name)
                       .arg(min)
                       .arg(max)
                       .arg(parser.value(name));
        return false;
    }
    *value = v;
    return true;
}

bool readNumber(const QCommandLineParser &parser, const QString &name, bool allowZero,
                double *value, QString *message)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const double v = parser.value(name).toDouble(&ok);
    // Bounded so that deadlines computed from it stay finite.
    if (!ok || !std::isfinite(v) || v < 0 || (!allowZero && v == 0) || v > 1e9) {
        *message =
            QStringLiteral("--%1 wants a %2number, not \"%3\"")
                .arg(name, allowZero ? QString() : QStringLiteral("positive "), parser.value(name));
        return false;
    }
    *value = v;
    return true;
}
} // namespace

OptionsResult parseSimOptions(const QStringList &arguments, SimOptions *options, QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated USB-CAN adapter with one motor behind it, served on a pseudo-terminal,\n"
        "or with --can the motor alone on a CAN bus (socketcan:can0, virtualcan:can0).\n"
        "Prints \"device: <path>\" once the terminal or interface is ready and a summary of\n"
        "the traffic when it stops (SIGINT, SIGTERM, SIGHUP, --duration or --hangup-after)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(version);
    const SimOptions defaults;
    auto value = [&parser](const QString &name, const QString &description,
                           const QString &valueName) {
        parser.addOption(QCommandLineOption(name, description, valueName));
    };
    value(QStringLiteral("motor-id"), QStringLiteral("CAN ID of the simulated motor (default 0)."),
          QStringLiteral("id"));
    value(QStringLiteral("rate"),
          QStringLiteral("Feedback frames per second in display mode (default 1000), capped by "
                         "what the baud rate can carry."),
          QStringLiteral("frames"));
    value(QStringLiteral("baud"), QStringLiteral("Line speed used for pacing (default 921600)."),
          QStringLiteral("baud"));
    value(QStringLiteral("can"),
          QStringLiteral("Play the motor on this CAN interface instead of a pseudo-terminal, e.g. "
                         "socketcan:can0 or virtualcan:can0: commands are 8-byte frames on the "
                         "motor ID, replies go out on 0x100 + motor ID."),
          QStringLiteral("plugin:interface"));
    value(QStringLiteral("bitrate"),
          QStringLiteral("CAN bitrate used for pacing with --can (default 1000000)."),
          QStringLiteral("bits/s"));
    value(QStringLiteral("link"),
          QStringLiteral("Symbolic link to the device, removed at exit (default %1).")
              .arg(defaults.link),
          QStringLiteral("path"));
    value(QStringLiteral("noise"),
          QStringLiteral("Insert N random bytes per 100 feedback frames (never AA AA)."),
          QStringLiteral("N"));
    value(QStringLiteral("corrupt"),
          QStringLiteral("Give N of every 100 feedback frames a wrong checksum (with --can: cut "
                         "them to 4 bytes)."),
          QStringLiteral("N"));
    value(QStringLiteral("refuse-acks"),
          QStringLiteral("Ignore the next N mode requests: no reply, no mode change."),
          QStringLiteral("N"));
    value(QStringLiteral("garble-acks"),
          QStringLiteral("Answer the next N mode requests with a wrong 7-byte reply (the mode "
                         "still changes)."),
          QStringLiteral("N"));
    value(QStringLiteral("hangup-after"),
          QStringLiteral("Close the terminal and exit after this many seconds."),
          QStringLiteral("seconds"));
    value(QStringLiteral("duration"), QStringLiteral("Stop after this many seconds."),
          QStringLiteral("seconds"));
    value(QStringLiteral("frames"),
          QStringLiteral("Produce this many feedback frames in all, then go quiet (default: "
                         "no end)."),
          QStringLiteral("N"));
    value(QStringLiteral("seed"), QStringLiteral("Seed of the noise generator (default 1)."),
          QStringLiteral("n"));
    parser.addOption(QCommandLineOption(
        QStringLiteral("not-powered"),
        QStringLiteral("Answer every configuration-mode input with the byte FF.")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("exit-on-close"),
        QStringLiteral("Exit when the client closes the device instead of waiting for the next.")));

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return OptionsResult::Error;
    }
    if (parser.isSet(help)) {
        *message = parser.helpText();
        return OptionsResult::Help;
    }
    if (parser.isSet(version)) {
        *message = QStringLiteral("korvane-sim %1\n").arg(QStringLiteral(KORVANE_VERSION));
        return OptionsResult::Version;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message =
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments()[0]);
        return OptionsResult::Error;
    }

    SimOptions o;
    int seed = 1;
    double rate = o.rate;
    const bool ok =
        readInt(parser, QStringLiteral("motor-id"), 0, 255, &o.motorId, message) &&
        readInt(parser, QStringLiteral("baud"), 1, 100000000, &o.baud, message) &&
        readInt(parser, QStringLiteral("bitrate"), 1000, 100000000, &o.bitrate, message) &&
        readInt(parser, QStringLiteral("noise"), 0, 100000, &o.noise, message) &&
        readInt(parser, QStringLiteral("corrupt"), 0, 100, &o.corrupt, message) &&
        readInt(parser, QStringLiteral("refuse-acks"), 0, 1000000, &o.refuseAcks, message) &&
        readInt(parser, QStringLiteral("garble-acks"), 0, 1000000, &o.garbleAcks, message) &&
        readInt(parser, QStringLiteral("seed"), 0, 2147483647, &seed, message) &&
        readInt(parser, QStringLiteral("frames"), 0, 2147483647, &o.frames, message) &&
        readNumber(parser, QStringLiteral("rate"), false, &rate, message) &&
        readNumber(parser, QStringLiteral("hangup-after"), false, &o.hangupAfter, message) &&
        readNumber(parser, QStringLiteral("duration"), false, &o.duration, message);
    if (!ok)
        return OptionsResult::Error;
    if (parser.isSet(QStringLiteral("link"))) {
        o.link = parser.value(QStringLiteral("link"));
        if (o.link.isEmpty()) {
            *message = QStringLiteral("--link wants a path");
            return OptionsResult::Error;
        }
    }
    if (parser.isSet(QStringLiteral("can"))) {
        o.can = parser.value(QStringLiteral("can"));
        const int colon = o.can.indexOf(QLatin1Char(':'));
        if (colon <= 0 || colon == o.can.size() - 1) {
            *message = QStringLiteral("--can wants plugin:interface, such as socketcan:can0");
            return OptionsResult::Error;
        }
    }
    o.rate = rate;
    o.seed = static_cast<quint32>(seed);
    o.notPowered = parser.isSet(QStringLiteral("not-powered"));
    o.exitOnClose = parser.isSet(QStringLiteral("exit-on-close"));
    *options = o;
    return OptionsResult::Run;
}
