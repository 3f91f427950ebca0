// The command line: what each option selects, what is refused (exit 2 with the usage,
// no window), and that help and version need no display.
#include "korvane_version.h"
#include "startoptions.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestStartOptions : public QObject
{
    Q_OBJECT

private slots:
    void parsesOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("chosen"); // port baud motor connect reset, or the refusal
        const auto row = [](const char *name, const QStringList &args, const QString &chosen) {
            QTest::newRow(name) << args << chosen;
        };
        row("nothing", {}, " 0 -1 0 0");
        row("everything",
            {"--port", "/dev/ttyUSB3", "--baud", "100000000", "--motor-id", "255", "--connect",
             "--reset-settings"},
            "/dev/ttyUSB3 100000000 255 1 1");
        row("= forms", {"--port=ttyACM0", "--baud=1", "--motor-id=0"}, "ttyACM0 1 0 0 0");
        row("stray argument", {"ttyUSB0"}, "korvane: unexpected argument \"ttyUSB0\"");
        row("unknown option", {"--bogus"}, "korvane: Unknown option 'bogus'.");
        // No port is empty or starts with a dash: "--port --version" took the option as the port.
        const QString port = "korvane: --port wants a device path or port name, not \"%1\"";
        row("empty port", {"--port="}, port.arg(""));
        row("an option for a port", {"--port", "--version"}, port.arg("--version"));
        const QString number = "korvane: %1 wants a whole number from %2, not \"%3\"";
        for (const char *baud : {"0", "100000001", "9600x"})
            row(baud, {"--baud", baud}, number.arg("--baud", "1 to 100000000", baud));
        for (const char *motor : {"256", "-1"})
            row(motor, {"--motor-id", motor}, number.arg("--motor-id", "0 to 255", motor));
    }
    // A refusal comes with the usage.
    void parsesOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, chosen);
        StartOptions o;
        QString message;
        const bool refused = parseStartOptions(QStringList{"korvane"} + arguments, &o, &message) ==
                             StartAction::Error;
        QVERIFY(!refused || message.contains("Usage: "));
        QCOMPARE(refused ? message.section('\n', 0, 0)
                         : QString::asprintf("%s %d %d %d %d", qPrintable(o.port), o.baud,
                                             o.motorId, int(o.connect), int(o.resetSettings)),
                 chosen);
    }

    // The program itself, with no display at all: help and version answer and a mistake is
    // refused before any window exists (a window would need a display: "minimal" has none to
    // show it on, and the program would not exit by itself); --reset-settings starts the
    // window with what the tool remembered forgotten.
    void programRuns_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: the window opens and is killed
        QTest::addColumn<QString>("firstLine");
        const QString version = QStringLiteral("korvane " KORVANE_VERSION);
        QTest::newRow("version") << QStringList{"--version"} << 0 << version;
        QTest::newRow("unknown") << QStringList{"--colour", "red"} << 2 << QString("Usage: ");
        // Qt's own options are no mistake.
        QTest::newRow("Qt's") << QStringList{"-platform", "minimal", "-v"} << 0 << version;
        QTest::newRow("reset settings") << QStringList{"--reset-settings"} << -1 << QString();
    }
    void programRuns()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, firstLine);
        QTemporaryDir config;
        const QString file = config.filePath("korvane/korvane.conf");
        const auto remembered = [&file] {
            return QSettings(file, QSettings::IniFormat).contains("motor/id");
        };
        QSettings(file, QSettings::IniFormat).setValue("motor/id", 7);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("XDG_CONFIG_HOME", config.path());
        // Empty: no platform chosen. A window, or a refusal made once the GUI is up, needs one.
        env.insert("QT_QPA_PLATFORM", exitCode < 0 ? "offscreen" : exitCode ? "minimal" : "");
        QProcess korvane;
        korvane.setProcessEnvironment(env);
        korvane.start(qEnvironmentVariable("KORVANE_BIN_DIR") + "/korvane", arguments);
        QTRY_COMPARE_WITH_TIMEOUT(remembered(), exitCode >= 0, 5000);
        if (exitCode < 0) // the window stays open
            korvane.kill();
        QVERIFY(korvane.waitForFinished(10000));
        QCOMPARE(korvane.exitStatus() == QProcess::NormalExit ? korvane.exitCode() : -1, exitCode);
        const QString out = QString::fromLocal8Bit(exitCode == 0 ? korvane.readAllStandardOutput()
                                                                 : korvane.readAllStandardError());
        QVERIFY2(out.startsWith(firstLine) || out.contains('\n' + firstLine), qPrintable(out));
        // Answering on the command line leaves what the tool remembered alone.
        QCOMPARE(remembered(), exitCode >= 0);
    }
};

QTEST_GUILESS_MAIN(TestStartOptions)
#include "tst_startoptions.moc"
