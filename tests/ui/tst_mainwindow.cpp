// The window as it starts: title, status bar, selection boxes, initial states, the
// logo (and the box when it is missing), the port scan with extra device paths, the
// parameter checks, the live readout and key control, all without a serial peer.
#include "canvas.h"
#include "child.h"
#include "mainwindow.h"
#include "motorstate.h"
#include "ptypeer.h"

#include <QtTest>
#include <QtWidgets>

class TestMainWindow : public QObject
{
    Q_OBJECT
    MainWindow *window = nullptr;
    QString binDir;

    template <typename T> T *find(const char *name) { return child<T>(window, name); }
    QString status() { return find<QLabel>("labMainStatus")->text(); }
    template <typename F> void locked(F change)
    {
        QMutexLocker lock(&stateMutex);
        change();
    }
    // A new window, which reads its logo from `appDir` and scans the ports as it starts.
    void open(const QString &appDir)
    {
        delete window;
        locked([&] { motorState.appDir = appDir; });
        window = new MainWindow;
        window->show();
    }
    // Makes `count` samples recorded, then refreshes the readout once.
    void flushAt(int count)
    {
        locked([&] { motorState.sampleCount = count; });
        QMetaObject::invokeMethod(window, "uiFlush");
    }

private slots:
    void initTestCase()
    {
        binDir = qEnvironmentVariable("KORVANE_BIN_DIR",
                                      QCoreApplication::applicationDirPath() + "/../bin");
        QVERIFY(prepareMotorState(binDir));
    }
    void init() { open(binDir); }
    void cleanup()
    {
        delete std::exchange(window, nullptr);
        qunsetenv("KORVANE_EXTRA_PORTS");
        locked(connectResetLocked);
    }

    void startsWithTitleStatusBoxesAndStates()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Korvane MainWindow"));
        QCOMPARE(status(), QStringLiteral("Program run"));
        QCOMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("Motor Config Complete"));
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:0"));
        QVERIFY(!find<QLabel>("label_LOGO")->pixmap(Qt::ReturnByValue).isNull());
        const auto items = [this](const char *name) { // "text=data" each
            auto *box = find<QComboBox>(name);
            QStringList list;
            for (int i = 0; i < box->count(); ++i)
                list << box->itemText(i) + '=' + box->itemData(i).toString();
            return list.join(' ');
        };
        QCOMPARE(items("comboBaudRate"),
                 QStringLiteral("921600=921600 115200=115200 57600=57600 9600=9600 Custom=0"));
        QCOMPARE(find<QComboBox>("comboBaudRate")->currentText(), QStringLiteral("921600"));
        QStringList motors;
        for (int id = 0; id < 256; ++id)
            motors << QString("%1=%1").arg(id);
        QCOMPARE(items("comboMotor"), motors.join(' '));
        // The placeholders gave way to the plots and bars.
        QVERIFY(!window->findChild<QWidget *>("widget"));
        QVERIFY(!window->findChild<QWidget *>("labCustomBarPos"));
        QCOMPARE(find<QWidget>("barPosition")->size(), QSize(252, 20));
        QCOMPARE(find<QWidget>("plotVelocity")->parentWidget(), find<QWidget>("tab_vel"));
        // Nothing that needs a connection takes input yet.
        for (const char *off :
             {"btnRun",       "btnStop",      "btnDisplay",   "btnKeyControl", "btnToTXT",
              "btnToPNG",     "btnMotorMode", "btnMotorExit", "btnZeroPos",    "btnSendOnce",
              "comboMotor",   "editKd",       "editkp",       "editPosition",  "editTorque",
              "editVelocity", "ckbPosion",    "ckbVelocity",  "ckbTorque",     "tab_con"})
            QVERIFY2(!find<QWidget>(off)->isEnabled(), off);
        for (const char *on :
             {"btnFromTXT", "comboPort", "comboBaudRate", "btnConnect", "btnDataTool",
              "btnChangeMaxMinValue", "HScroll", "tab_pos", "tab_vel", "tab_cur"})
            QVERIFY2(find<QWidget>(on)->isEnabled(), on);
    }

    // Started where there is no logo, with two device paths named of which one exists.
    void missingLogoIsReportedAndNamedPortsListed()
    {
        QTemporaryDir empty;
        PtyPeer peer;
        qputenv("KORVANE_EXTRA_PORTS", ("/nonexistent/tty:" + peer.slavePath()).toLocal8Bit());
        MessageBoxCloser closer;
        open(empty.path());
        QCOMPARE(closer.texts(),
                 QStringList{"Can not find Logo file\n" + empty.path() + "/Images/logo.png"});
        QCOMPARE(find<QLabel>("label_LOGO")->text(), QStringLiteral("LOGO"));
        auto *ports = find<QComboBox>("comboPort");
        QTRY_COMPARE_WITH_TIMEOUT(ports->count(), QSerialPortInfo::availablePorts().size() + 1,
                                  5000);
        QCOMPARE(ports->itemText(0), peer.slavePath() + ":Virtual serial port,");
        QVERIFY(find<QPushButton>("btnConnect")->isEnabled());
    }

    void connectWithoutPortOnlySaysAndCloseDisconnects()
    {
        find<QComboBox>("comboPort")->clear();
        auto *connect = find<QPushButton>("btnConnect");
        connect->setEnabled(true);
        QTest::mouseClick(connect, Qt::LeftButton);
        QVERIFY(status().contains("no longer available"));
        QCOMPARE(connect->text(), QStringLiteral("Connect"));
        window->close();
        QCOMPARE(status(), QStringLiteral("Disconnected successfully"));
    }

    void parameterFieldsCheckTheirLimits_data()
    {
        QTest::addColumn<QString>("input");   // field, what is typed, the text then shown
        QTest::addColumn<QString>("message"); // none: accepted
        const auto row = [](const char *name, const char *input, const char *message = "") {
            QTest::newRow(name) << QString(input) << QString(message);
        };
        const char *position = "Invalid data : Position should be within [-95.5,95.5]";
        row("position at max", "editPosition 95.5 95.5");
        row("position above", "editPosition 95.6 0", position);
        row("typing 100 rejects at the third key", "editPosition 100 0", position);
        row("kp max", "editkp 500 500");
        row("kp negative", "editkp -1 0", "Invalid data : Kp should be within [0,500]");
        row("not a number reads 0", "editVelocity - -");
    }

    void parameterFieldsCheckTheirLimits()
    {
        QFETCH(QString, input);
        QFETCH(QString, message);
        const QString field = input.section(' ', 0, 0), shown = input.section(' ', 2);
        auto *edit = find<QLineEdit>(qPrintable(field));
        edit->setEnabled(true);
        edit->clear();
        QTest::keyClicks(edit, input.section(' ', 1, 1));
        QCOMPARE(edit->text(), shown);
        QCOMPARE(edit->palette().color(QPalette::Text),
                 QColor(message.isEmpty() ? Qt::black : Qt::red));
        if (!message.isEmpty())
            QCOMPARE(status(), message);
        QMutexLocker lock(&stateMutex);
        const float stored = field == "editkp"         ? motorState.cmdKp
                             : field == "editPosition" ? motorState.cmdPosition
                                                       : motorState.cmdVelocity;
        QCOMPARE(stored, message.isEmpty() ? QLocale::c().toFloat(shown) : 0.f);
    }

    void readoutShowsNewestSample()
    {
        locked([] {
            motorState.positionHistory()[999] = 1.5f;
            motorState.velocityHistory()[999] = -3.2f;
            motorState.currentHistory()[999] = 0.004f;
        });
        flushAt(1000);
        QCOMPARE(find<QLabel>("labPosition")->text(), QStringLiteral("Position:1.50 rad"));
        QCOMPARE(find<QLabel>("labVelocity")->text(), QStringLiteral("Velocity:-3.20 rad/s"));
        QCOMPARE(find<QLabel>("labCurrent")->text(), QStringLiteral("Torque:0.00 N-M"));
        QCOMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("Memory Usage: 0.0031 %"));
        flushAt(16000001);
        QCOMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("Memory Usage: 50.0000 %"));

        // With the display on, each refresh moves the plots' 2000-sample window so that its
        // right end follows the newest sample, and widens the value limits to the ranges.
        find<QPushButton>("btnDisplay")->setChecked(false);
        find<QPushButton>("btnDisplay")->setChecked(true);
        auto *plot = find<Canvas>("plotPosition");
        locked([] { motorState.decodePositionMax = 120.f; });
        for (int count : {5000, 8000}) {
            flushAt(count);
            QCOMPARE(plot->xEnd(), float(count - 1));
            QCOMPARE(plot->xStart(), float(count - 2001));
            QCOMPARE(plot->limitMax(), 120.f);
        }
    }

    void heldArrowNudgesUntilHalfTheLimit()
    {
        auto *keys = find<QPushButton>("btnKeyControl");
        keys->setEnabled(true);
        keys->setChecked(true);
        QCOMPARE(keys->text(), QStringLiteral("KeyControl✔"));
        QTest::keyPress(window, Qt::Key_Left);
        QTest::keyPress(window, Qt::Key_Down);
        // 30 steps of 95.5/60 and 31 of 45/60 at 100 ms each, then both stop.
        const auto offsets = [] {
            QMutexLocker lock(&stateMutex);
            return QString::asprintf("%.2f %.2f", double(motorState.keyPosition),
                                     double(motorState.keyVelocity));
        };
        QTRY_COMPARE_WITH_TIMEOUT(offsets(), QStringLiteral("47.75 -23.25"), 15000);
        QTest::qWait(400);
        QCOMPARE(offsets(), QStringLiteral("47.75 -23.25"));
        QTest::keyRelease(window, Qt::Key_Left);
        QTest::keyRelease(window, Qt::Key_Down);
        keys->setChecked(false);
        QCOMPARE(offsets(), QStringLiteral("0.00 0.00"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
