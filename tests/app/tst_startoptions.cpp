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
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("chosen"); // port baud motor connect reset, or the reason
        const auto run = [](const char *name, const QStringList &args, const char *chosen) {
            QTest::newRow(name) << args << int(StartAction::Run) << QString(chosen);
        };
        const auto refused = [](const char *name, const QStringList &args, const char *reason) {
            QTest::newRow(name) << args << int(StartAction::Error) << QString(reason);
        };
        run("nothing", {}, "- 0 -1 0 0");
        run("everything",
            {"--port", "/dev/ttyUSB3", "--baud", "115200", "--motor-id", "255", "--connect",
             "--reset-settings"},
            "/dev/ttyUSB3 115200 255 1 1");
        run("= forms", {"--port=ttyACM0", "--baud=1", "--motor-id=0"}, "ttyACM0 1 0 0 0");
        run("fastest line", {"--baud", "100000000"}, "- 100000000 -1 0 0");
        refused("unknown option", {"--bogus"}, "Unknown option 'bogus'.");
        refused("stray argument", {"ttyUSB0"}, "unexpected argument \"ttyUSB0\"");
        refused("empty port", {"--port="}, "--port wants a device path or port name, not \"\"");
        refused("an option for a port", {"--port", "--version"},
                "--port wants a device path or port name, not \"--version\"");
        refused("missing value", {"--baud"}, "Missing value after '--baud'.");
        refused("baud 0", {"--baud", "0"},
                "--baud wants a whole number from 1 to 100000000, not \"0\"");
        refused("baud too fast", {"--baud", "100000001"},
                "--baud wants a whole number from 1 to 100000000, not \"100000001\"");
        refused("baud with letters", {"--baud", "9600x"},
                "--baud wants a whole number from 1 to 100000000, not \"9600x\"");
        refused("motor 256", {"--motor-id", "256"},
                "--motor-id wants a whole number from 0 to 255, not \"256\"");
        refused("motor negative", {"--motor-id", "-1"},
                "--motor-id wants a whole number from 0 to 255, not \"-1\"");
    }
    void parsesOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, chosen);
        StartOptions options;
        QString message;
        const StartAction got =
            parseStartOptions(QStringList{"korvane"} + arguments, &options, &message);
        QCOMPARE(int(got), action);
        if (got == StartAction::Error) {
            QCOMPARE(message.section('\n', 0, 0), "korvane: " + chosen);
            QVERIFY(message.contains("Usage: "));
            return;
        }
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(options.port.isEmpty() ? QStringLiteral("-") : options.port)
                     .arg(options.baud)
                     .arg(options.motorId)
                     .arg(int(options.connect))
                     .arg(int(options.resetSettings)),
                 chosen);
    }

    // The program itself, with no display at all: help and version answer and a mistake is
    // refused before any window exists (a window would need a display: "minimal" has none to
    // show it on, and the program would not exit by itself); --reset-settings starts the
    // window with what the tool remembered forgotten.
    void programRuns_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: the window opens
        QTest::addColumn<QString>("firstLine");
        const QString version = QStringLiteral("korvane " KORVANE_VERSION);
        QTest::newRow("version") << QStringList{"--version"} << 0 << version;
        QTest::newRow("help") << QStringList{"-h"} << 0 << QStringLiteral("Usage: ");
        QTest::newRow("unknown") << QStringList{"--colour", "red"} << 2
                                 << QStringLiteral("korvane: Unknown option 'colour'.");
        // Qt's own options are no mistake.
        QTest::newRow("version on a given platform")
            << QStringList{"-platform", "minimal", "--version"} << 0 << version;
        QTest::newRow("reset settings") << QStringList{"--reset-settings"} << -1 << QString();
    }
    void programRuns()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, firstLine);
        QTemporaryDir config;
        const QString file = config.filePath("korvane/korvane.conf");
        QVERIFY(QDir().mkpath(config.filePath("korvane")));
        QSettings(file, QSettings::IniFormat).setValue("motor/id", 7);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("XDG_CONFIG_HOME", config.path());
        if (exitCode == 0)
            env.remove("QT_QPA_PLATFORM");
        else
            env.insert("QT_QPA_PLATFORM", exitCode < 0 ? "offscreen" : "minimal");
        QProcess korvane;
        korvane.setProcessEnvironment(env);
        korvane.start(qEnvironmentVariable("KORVANE_BIN_DIR") + "/korvane", arguments);
        if (exitCode < 0) {
            QTRY_VERIFY_WITH_TIMEOUT(!QSettings(file, QSettings::IniFormat).contains("motor/id"),
                                     5000);
            korvane.kill();
            QVERIFY(korvane.waitForFinished());
            return;
        }
        QVERIFY(korvane.waitForFinished(10000));
        QCOMPARE(korvane.exitStatus(), QProcess::NormalExit);
        QCOMPARE(korvane.exitCode(), exitCode);
        const QString out = QString::fromLocal8Bit(exitCode == 0 ? korvane.readAllStandardOutput()
                                                                 : korvane.readAllStandardError());
        QVERIFY2(out.startsWith(firstLine) || out.contains('\n' + firstLine), qPrintable(out));
        if (exitCode != 0)
            QVERIFY(out.contains("--motor-id <N>"));
        // Answering on the command line leaves what the tool remembered alone.
        QVERIFY(QSettings(file, QSettings::IniFormat).contains("motor/id"));
    }
};

QTEST_GUILESS_MAIN(TestStartOptions)
#include "tst_startoptions.moc"
