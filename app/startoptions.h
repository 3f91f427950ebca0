#pragma once

#include <QString>
#include <QStringList>

// What the command line asks of the tool at start-up. Each value is optional: an
// option not given leaves the remembered or default choice in place.
struct StartOptions
{
    QString port;     // device path or port name to preselect; empty for none
    int baud = 0;     // line speed to preselect; 0 for none
    int motorId = -1; // motor ID to select; -1 for none
    bool connect = false;
    bool resetSettings = false;
};

enum class StartAction
{
    Run,
    Help,    // print the message to standard output, exit 0
    Version, // likewise
    Error    // print the message and the usage to standard error, exit 2
};

// Lowest and highest line speed the tool accepts, from the command line or its settings.
constexpr int minBaudRate = 1;
constexpr int maxBaudRate = 100000000;

// Parses the program's arguments (the first being the program name). On Help and
// Error the message holds the usage text (after a one-line reason for Error), on
// Version the version and licence lines.
StartAction parseStartOptions(const QStringList &arguments, StartOptions *options,
                              QString *message);

// Names the system's time zone in TZ when it is unset, once at start-up and before any
// thread runs: glibc reads /etc/localtime again at every local-time conversion while TZ
// is unset, and Qt's virtual CAN bus converts one for every frame it carries.
void fixLocalTimeZone();
