#include "startoptions.h"
#include "korvane_version.h"

#include <QCommandLineParser>

namespace {
// A whole number in [min, max], or false.
bool readWhole(const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}
} // namespace

StartAction parseStartOptions(const QStringList &arguments, StartOptions *options, QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Drive and watch one brushless motor through a USB-serial-to-CAN adapter or a "
        "CAN interface."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and licence and exit."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Select this port: a device path such as /dev/ttyUSB0, a port name, or "
                       "a CAN interface as plugin:interface (socketcan:can0, virtualcan:can0). "
                       "A path or interface the system does not list is listed too."),
        QStringLiteral("path"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Select this line speed (default 921600)."),
                                  QStringLiteral("N"));
    const QCommandLineOption connect(QStringLiteral("connect"),
                                     QStringLiteral("Connect to the selected port at start-up."));
    const QCommandLineOption motorId(QStringLiteral("motor-id"),
                                     QStringLiteral("Select this motor ID, 0 to 255 (default 0)."),
                                     QStringLiteral("N"));
    const QCommandLineOption reset(
        QStringLiteral("reset-settings"),
        QStringLiteral("Forget the remembered port, motor ID, fields and window size."));
    parser.addOptions({help, version, port, baud, connect, motorId, reset});

    auto fail = [&](const QString &reason) {
        *message = QStringLiteral("korvane: %1\n\n%2").arg(reason, parser.helpText());
        return StartAction::Error;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        *message = parser.helpText();
        return StartAction::Help;
    }
    if (parser.isSet(version)) {
        *message = QStringLiteral("korvane %1\nLicence: MIT. This is free software: you may "
                                  "use, copy, change and share it.\n")
                       .arg(QStringLiteral(KORVANE_VERSION));
        return StartAction::Version;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"")
                        .arg(parser.positionalArguments().constFirst()));

    StartOptions o;
    if (parser.isSet(port)) {
        o.port = parser.value(port);
        // "--port --version" takes the next option for the port's value: no device path or
        // port name starts with a dash.
        if (o.port.isEmpty() || o.port.startsWith(QLatin1Char('-')))
            return fail(
                QStringLiteral("--port wants a device path or port name, not \"%1\"").arg(o.port));
    }
    if (parser.isSet(baud) && !readWhole(parser.value(baud), minBaudRate, maxBaudRate, &o.baud))
        return fail(QStringLiteral("--baud wants a whole number from %1 to %2, not \"%3\"")
                        .arg(minBaudRate)
                        .arg(maxBaudRate)
                        .arg(parser.value(baud)));
    if (parser.isSet(motorId) && !readWhole(parser.value(motorId), 0, 255, &o.motorId))
        return fail(QStringLiteral("--motor-id wants a whole number from 0 to 255, not \"%1\"")
                        .arg(parser.value(motorId)));
    o.connect = parser.isSet(connect);
    o.resetSettings = parser.isSet(reset);
    *options = o;
    return StartAction::Run;
}

void fixLocalTimeZone()
{
#ifdef Q_OS_LINUX
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
#endif
}
