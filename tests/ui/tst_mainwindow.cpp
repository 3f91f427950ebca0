// The window as it starts: title, status bar, selection boxes, initial states, the
// logo (and the box when it is missing), the port scan with extra device paths, the
// parameter checks, the live readout and key control, all without a serial peer.
#include "canvas.h"
#include "child.h"
#include "mainwindow.h"
#include "motorstate.h"
#include "ptypeer.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startsWithTitleStatusAndBoxes();
    void initialEnabledStates_data();
    void initialEnabledStates();
    void missingLogoIsReported();
    void portScanListsExtraPaths();
    void connectWithoutPortOnlySays();
    void parameterFieldsCheckTheirLimits_data();
    void parameterFieldsCheckTheirLimits();
    void readoutShowsNewestSample();
    void heldArrowNudgesUntilHalfTheLimit();
    void closingReportsDisconnection();

private:
    template <typename T> T *find(const char *name) { return child<T>(window, name); }
    MainWindow *window = nullptr;
    QString binDir;
};

void TestMainWindow::initTestCase()
{
    binDir = qEnvironmentVariable("KORVANE_BIN_DIR", QCoreApplication::applicationDirPath() +
                                                         QStringLiteral("/../bin"));
    QVERIFY(prepareMotorState(binDir));
}

void TestMainWindow::init()
{
    {
        QMutexLocker lock(&stateMutex);
        motorState.appDir = binDir;
    }
    window = new MainWindow;
    window->show();
}

void TestMainWindow::cleanup()
{
    delete window;
    window = nullptr;
    qunsetenv("KORVANE_EXTRA_PORTS");
    QMutexLocker lock(&stateMutex);
    connectResetLocked();
}

void TestMainWindow::startsWithTitleStatusAndBoxes()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Korvane MainWindow"));
    QCOMPARE(find<QLabel>("labMainStatus")->text(), QStringLiteral("Program run"));
    QCOMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("Motor Config Complete"));
    QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:0"));
    QVERIFY(!find<QLabel>("label_LOGO")->pixmap(Qt::ReturnByValue).isNull());

    auto *baud = find<QComboBox>("comboBaudRate");
    const QStringList texts = {"921600", "115200", "57600", "9600", "Custom"};
    const QList<int> data = {921600, 115200, 57600, 9600, 0};
    QCOMPARE(baud->count(), 5);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(baud->itemText(i), texts[i]);
        QCOMPARE(baud->itemData(i).toInt(), data[i]);
    }
    QCOMPARE(baud->currentText(), QStringLiteral("921600"));
    auto *motor = find<QComboBox>("comboMotor");
    QCOMPARE(motor->count(), 256);
    QCOMPARE(motor->itemText(255), QStringLiteral("255"));
    QCOMPARE(motor->itemData(37).toInt(), 37);
    // The placeholders gave way to the plots and bars.
    QVERIFY(!window->findChild<QWidget *>(QStringLiteral("widget")));
    QVERIFY(!window->findChild<QWidget *>(QStringLiteral("labCustomBarPos")));
    QCOMPARE(find<QWidget>("barPosition")->size(), QSize(252, 20));
    QCOMPARE(find<QWidget>("plotVelocity")->parentWidget(), find<QWidget>("tab_vel"));
}

void TestMainWindow::initialEnabledStates_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");
    for (const char *n :
         {"btnRun",       "btnStop",      "btnDisplay",   "btnKeyControl", "btnToTXT",
          "btnToPNG",     "btnMotorMode", "btnMotorExit", "btnZeroPos",    "btnSendOnce",
          "comboMotor",   "editKd",       "editkp",       "editPosition",  "editTorque",
          "editVelocity", "ckbPosion",    "ckbVelocity",  "ckbTorque",     "tab_con"})
        QTest::newRow(n) << QString::fromLatin1(n) << false;
    for (const char *n : {"btnFromTXT", "comboPort", "comboBaudRate", "btnConnect", "btnDataTool",
                          "btnChangeMaxMinValue", "HScroll", "tab_pos", "tab_vel", "tab_cur"})
        QTest::newRow(n) << QString::fromLatin1(n) << true;
}

void TestMainWindow::initialEnabledStates()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);
    QWidget *w = window->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->isEnabled(), enabled);
}

void TestMainWindow::missingLogoIsReported()
{
    delete window;
    QTemporaryDir empty;
    {
        QMutexLocker lock(&stateMutex);
        motorState.appDir = empty.path();
    }
    MessageBoxCloser closer;
    window = new MainWindow;
    const QString path = empty.path() + QStringLiteral("/Images/logo.png");
    QCOMPARE(closer.texts(), QStringList{QStringLiteral("Can not find Logo file\n") + path});
    QCOMPARE(find<QLabel>("label_LOGO")->text(), QStringLiteral("LOGO"));
}

void TestMainWindow::portScanListsExtraPaths()
{
    delete window;
    PtyPeer peer;
    qputenv("KORVANE_EXTRA_PORTS",
            (QStringLiteral("/nonexistent/tty:") + peer.slavePath()).toLocal8Bit());
    window = new MainWindow;
    auto *combo = find<QComboBox>("comboPort");
    const int systemPorts = QSerialPortInfo::availablePorts().size();
    QTRY_COMPARE_WITH_TIMEOUT(combo->count(), systemPorts + 1, 2000);
    QCOMPARE(combo->itemText(0), peer.slavePath() + QStringLiteral(":Virtual serial port,"));
    QVERIFY(find<QPushButton>("btnConnect")->isEnabled());
}

void TestMainWindow::connectWithoutPortOnlySays()
{
    find<QComboBox>("comboPort")->clear();
    find<QPushButton>("btnConnect")->setEnabled(true);
    QTest::mouseClick(find<QPushButton>("btnConnect"), Qt::LeftButton);
    QVERIFY(find<QLabel>("labMainStatus")->text().contains(QStringLiteral("no longer available")));
    QCOMPARE(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));
}

void TestMainWindow::parameterFieldsCheckTheirLimits_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");
    const QString position =
        QStringLiteral("Invalid data : Position should be within [-95.5,95.5]");
    auto row = [](const char *name, const char *field, const char *typed, const char *shown,
                  const QString &message) {
        QTest::newRow(name) << QString::fromLatin1(field) << QString::fromLatin1(typed)
                            << QString::fromLatin1(shown) << message;
    };
    row("position at max", "editPosition", "95.5", "95.5", QString());
    row("position above", "editPosition", "95.6", "0", position);
    row("typing 100 rejects at the third key", "editPosition", "100", "0", position);
    row("kp max", "editkp", "500", "500", QString());
    row("kp negative", "editkp", "-1", "0",
        QStringLiteral("Invalid data : Kp should be within [0,500]"));
    row("not a number reads 0", "editVelocity", "-", "-", QString());
}

void TestMainWindow::parameterFieldsCheckTheirLimits()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    auto *edit = window->findChild<QLineEdit *>(field);
    edit->setEnabled(true);
    edit->clear();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), shown);
    const QColor colour = edit->palette().color(QPalette::Text);
    QCOMPARE(colour, message.isEmpty() ? QColor(Qt::black) : QColor(Qt::red));
    if (!message.isEmpty())
        QCOMPARE(find<QLabel>("labMainStatus")->text(), message);
    QMutexLocker lock(&stateMutex);
    const float stored = field == QLatin1String("editkp")         ? motorState.cmdKp
                         : field == QLatin1String("editPosition") ? motorState.cmdPosition
                         : field == QLatin1String("editTorque")   ? motorState.cmdTorque
                                                                  : motorState.cmdVelocity;
    QCOMPARE(stored, message.isEmpty() ? QLocale::c().toFloat(shown) : 0.f);
}

void TestMainWindow::readoutShowsNewestSample()
{
    {
        QMutexLocker lock(&stateMutex);
        motorState.positionHistory()[999] = 1.5f;
        motorState.velocityHistory()[999] = -3.2f;
        motorState.currentHistory()[999] = 0.004f;
        motorState.sampleCount = 1000;
    }
    QMetaObject::invokeMethod(window, "uiFlush");
    QCOMPARE(find<QLabel>("labPosition")->text(), QStringLiteral("Position:1.50 rad"));
    QCOMPARE(find<QLabel>("labVelocity")->text(), QStringLiteral("Velocity:-3.20 rad/s"));
    QCOMPARE(find<QLabel>("labCurrent")->text(), QStringLiteral("Torque:0.00 N-M"));
    QCOMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("Memory Usage: 0.0031 %"));
    {
        QMutexLocker lock(&stateMutex);
        motorState.sampleCount = 16000001;
    }
    QMetaObject::invokeMethod(window, "uiFlush");
    QCOMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("Memory Usage: 50.0000 %"));

    // With the display on, each refresh moves the plots' 2000-sample window so that its
    // right end follows the newest sample, and widens the value limits to the ranges.
    auto *display = find<QPushButton>("btnDisplay");
    display->setChecked(false);
    display->setChecked(true);
    auto *plot = find<Canvas>("plotPosition");
    for (int count : {5000, 8000}) {
        {
            QMutexLocker lock(&stateMutex);
            motorState.sampleCount = count;
            motorState.decodePositionMax = 120.f;
        }
        QMetaObject::invokeMethod(window, "uiFlush");
        QCOMPARE(plot->xEnd(), float(count - 1));
        QCOMPARE(plot->xStart(), float(count - 2001));
        QCOMPARE(plot->limitMax(), 120.f);
    }
}

void TestMainWindow::heldArrowNudgesUntilHalfTheLimit()
{
    auto *keys = find<QPushButton>("btnKeyControl");
    keys->setEnabled(true);
    keys->setChecked(true);
    QCOMPARE(keys->text(), QStringLiteral("KeyControl✔"));
    QTest::keyPress(window, Qt::Key_Left);
    QTest::keyPress(window, Qt::Key_Down);
    // 30 steps of 95.5/60 and 31 of 45/60 at 100 ms each, then both stop.
    const auto nudged = [] {
        QMutexLocker lock(&stateMutex);
        return qAbs(motorState.keyPosition - 47.75f) < 0.01f &&
               qAbs(motorState.keyVelocity + 23.25f) < 0.01f;
    };
    QTRY_VERIFY_WITH_TIMEOUT(nudged(), 15000);
    QTest::qWait(400);
    QVERIFY(nudged());
    QTest::keyRelease(window, Qt::Key_Left);
    QTest::keyRelease(window, Qt::Key_Down);
    keys->setChecked(false);
    QMutexLocker lock(&stateMutex);
    QCOMPARE(motorState.keyPosition, 0.f);
    QCOMPARE(motorState.keyVelocity, 0.f);
}

void TestMainWindow::closingReportsDisconnection()
{
    window->close();
    QCOMPARE(find<QLabel>("labMainStatus")->text(), QStringLiteral("Disconnected successfully"));
    QCOMPARE(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
