#include "datapaths.h"
#include "korvane_version.h"
#include "mainwindow.h"
#include "motorstate.h"
#include "startoptions.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <cstdio>
#include <cstring>

namespace {
// Prints what the parser said; returns the exit code, or -1 to go on and run.
int finishStartOptions(StartAction action, const QString &message)
{
    switch (action) {
    case StartAction::Help:
    case StartAction::Version:
        std::fputs(qPrintable(message), stdout);
        return 0;
    case StartAction::Error:
        std::fputs(qPrintable(message), stderr);
        return 2;
    case StartAction::Run:
        break;
    }
    return -1;
}

bool asksForHelpOrVersion(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "--help", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    }
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    fixLocalTimeZone();
    StartOptions options;
    QString message;
    // Help and version need no display: answered before the GUI is brought up. A
    // mistake in the same command line is left to the full parse below, which knows
    // Qt's own options too.
    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication core(argc, argv);
        const StartAction action =
            parseStartOptions(QCoreApplication::arguments(), &options, &message);
        if (action != StartAction::Error)
            return finishStartOptions(action, message);
    }
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Sharp and rightly sized on 150 % and 200 % screens; Qt 6 always does this.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("korvane"));
    QCoreApplication::setApplicationName(QStringLiteral("korvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.korvane.Korvane"));
    // The installed icon; a copy run from its build folder keeps the platform's default.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.github.korvane.Korvane")));

    const int exitCode = finishStartOptions(
        parseStartOptions(QCoreApplication::arguments(), &options, &message), message);
    if (exitCode >= 0)
        return exitCode;

    prepareMotorState(QCoreApplication::applicationDirPath());
    QSettings settings;
    if (options.resetSettings)
        settings.clear();
    int code = 0;
    {
        MainWindow window;
        window.useSettings(&settings);
        window.applyStartOptions(options);
        window.show();
        window.useJournal(journalFolder());
        code = app.exec();
    }
    return code;
}
