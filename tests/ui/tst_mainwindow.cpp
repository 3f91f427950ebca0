// The window as it starts: title, status bar, selection boxes, initial states, the
// logo (and the box when it is missing), the port scan with extra device paths, the
// parameter checks, the live readout and key control, all without a serial peer.
#include "canvas.h"
#include "changeboundryvalue.h"
#include "child.h"
#include "doublecanvas.h"
#include "mainwindow.h"
#include "motorstate.h"
#include "ptypeer.h"

#include <QtTest>
#include <QtWidgets>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestMainWindow : public QObject
{
    Q_OBJECT
    MainWindow *window = nullptr;
    QString binDir;

    template <typename T> T *find(const char *name) { return child<T>(window, name); }
    QString status() { return find<QLabel>("labMainStatus")->text(); }
    template <typename F> auto locked(F change)
    {
        QMutexLocker lock(&stateMutex);
        return change();
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
        locked([] { limits = Limits(); });
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
        QCOMPARE(find<Canvas>("plotPosition")->refValue(), 0.f); // the typed 0's line
        QCOMPARE(find<QLabel>("labMainStatus")->parentWidget(), find<QWidget>("statusBar"));
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
        const QList<QSerialPortInfo> system = QSerialPortInfo::availablePorts();
        if (!system.isEmpty()) // then come the system's own, by name
            QCOMPARE(ports->itemText(1).section(':', 0, 0), system.first().portName());
        QVERIFY(find<QPushButton>("btnConnect")->isEnabled());
    }

    // A device that cannot be opened as a serial port: the failure is said, and nothing that
    // needs a connection becomes usable.
    void failedOpenLeavesTheCommandsOff()
    {
        QTemporaryFile notATerminal;
        QVERIFY(notATerminal.open());
        qputenv("KORVANE_EXTRA_PORTS", notATerminal.fileName().toLocal8Bit());
        MessageBoxCloser closer;
        open(binDir);
        QTRY_VERIFY(find<QComboBox>("comboPort")->count() > 0);
        QTest::mouseClick(find<QPushButton>("btnConnect"), Qt::LeftButton);
        QTRY_COMPARE(status(), QStringLiteral("Open Port Failed."));
        QTRY_COMPARE(closer.texts().size(), 1);
        QCOMPARE(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));
        for (const char *off : {"btnRun", "btnStop", "btnDisplay", "btnKeyControl", "btnToTXT"})
            QVERIFY2(!find<QWidget>(off)->isEnabled(), off);
        QVERIFY(find<QWidget>("btnFromTXT")->isEnabled());
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
        QTest::addColumn<QString>("input");   // field, what is typed, the text then shown, stored
        QTest::addColumn<QString>("message"); // none: accepted
        const auto row = [](const char *name, const char *input, const char *message = "") {
            QTest::newRow(name) << QString(input) << QString(message);
        };
        const char *position = "Invalid data : Position should be within [-95.5,95.5]";
        row("position at max", "editPosition 95.5 95.5 95.5");
        row("position above", "editPosition 95.6 0 0", position);
        row("typing 100 rejects at the third key", "editPosition 100 0 0", position);
        row("infinity is out of range", "editPosition inf 0 0", position);
        row("kp max", "editkp 500 500 500");
        row("kp negative", "editkp -1 0 0", "Invalid data : Kp should be within [0,500]");
        row("not a number reads 0", "editVelocity - - 0");
        // A NaN would pack as the lowest limit; it is not a number like any other text.
        row("nan reads 0", "editPosition nan nan 0");
        row("nan reads 0, then checked as 0", "editkp nan nan 0");
    }

    void parameterFieldsCheckTheirLimits()
    {
        QFETCH(QString, input);
        QFETCH(QString, message);
        const QStringList parts = input.split(' ');
        auto *edit = find<QLineEdit>(qPrintable(parts[0]));
        locked([] { motorState.cmdPosition = motorState.cmdVelocity = motorState.cmdKp = 7; });
        edit->setEnabled(true);
        edit->clear();
        QTest::keyClicks(edit, parts[1]);
        QCOMPARE(edit->text(), parts[2]);
        QCOMPARE(edit->palette().color(QPalette::Text),
                 QColor(message.isEmpty() ? Qt::black : Qt::red));
        if (!message.isEmpty())
            QCOMPARE(status(), message);
        QMutexLocker lock(&stateMutex);
        const float stored = parts[0] == "editkp"         ? motorState.cmdKp
                             : parts[0] == "editPosition" ? motorState.cmdPosition
                                                          : motorState.cmdVelocity;
        QCOMPARE(stored, parts[3].toFloat());
    }

    // The error rate, posted by the decoder on its own, never hides for 3 s a message that
    // answers the user; it shows when no such message is recent.
    void errorRateLeavesTheUsersMessageReadable()
    {
        const auto post = [this](const char *text) {
            QMetaObject::invokeMethod(window, "setMainStatusBar", Q_ARG(QString, text));
        };
        post("USB data error : 1.00%");
        QCOMPARE(status(), QStringLiteral("USB data error : 1.00%"));
        auto *edit = find<QLineEdit>("editPosition");
        edit->setEnabled(true);
        QTest::keyClicks(edit, "200");
        const QString invalid = status();
        QVERIFY(invalid.startsWith("Invalid data"));
        post("USB data error : 2.00%");
        QCOMPARE(status(), invalid);
        QTest::qWait(3100);
        post("USB data error : 3.00%");
        QCOMPARE(status(), QStringLiteral("USB data error : 3.00%"));
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
            QCOMPARE(plot->viewTop(), 120.f);
        }
        // A plot the user holds (scrolled back) or zoomed keeps its window and view.
        auto *velocity = find<Canvas>("plotVelocity");
        plot->setHold(1);
        velocity->setYZoomed(1);
        velocity->setView(-1, 1);
        locked([] { motorState.decodeVelocityMax = 50.f; });
        flushAt(9000);
        QCOMPARE(plot->xEnd(), 7999.f);
        QCOMPARE(velocity->xEnd(), 8999.f);
        QCOMPARE(velocity->viewTop(), 1.f);
        QCOMPARE(velocity->limitMax(), 50.f);
        // A recording read from a file shows all three plots from its start.
        QMetaObject::invokeMethod(window, "uiRepaint");
        for (const char *name : {"plotPosition", "plotVelocity", "plotCurrent"}) {
            auto *p = find<Canvas>(name);
            QCOMPARE(
                QString::asprintf("%s %g..%g of %g", name, p->xStart(), p->xEnd(), p->xLimit()),
                QString::asprintf("%s 0..2000 of 9000", name));
        }
    }

    void heldArrowsNudgeUntilHalfTheLimit_data()
    {
        QTest::addColumn<int>("positionKey");
        QTest::addColumn<int>("velocityKey");
        QTest::addColumn<QString>("stop"); // offsets of position and velocity
        // 30 steps of 95.5/60 and 31 of 45/60 at 100 ms each, then both stop.
        QTest::newRow("left, down") << int(Qt::Key_Left) << int(Qt::Key_Down) << "47.75 -23.25";
        QTest::newRow("right, up") << int(Qt::Key_Right) << int(Qt::Key_Up) << "-47.75 23.25";
    }

    void heldArrowsNudgeUntilHalfTheLimit()
    {
        QFETCH(int, positionKey);
        QFETCH(int, velocityKey);
        QFETCH(QString, stop);
        auto *keys = find<QPushButton>("btnKeyControl");
        keys->setEnabled(true);
        keys->setChecked(true);
        QCOMPARE(keys->text(), QStringLiteral("KeyControl✔"));
        QTest::keyPress(window, Qt::Key(positionKey));
        QTest::keyPress(window, Qt::Key(velocityKey));
        const auto offsets = [this] {
            return locked([] {
                return QString::asprintf("%.2f %.2f", double(motorState.keyPosition),
                                         double(motorState.keyVelocity));
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(offsets(), stop, 15000);
        QTest::qWait(400);
        QCOMPARE(offsets(), stop);
        QTest::keyRelease(window, Qt::Key(positionKey));
        QTest::keyRelease(window, Qt::Key(velocityKey));
        keys->setChecked(false);
        QCOMPARE(offsets(), QStringLiteral("0.00 0.00"));
        QCOMPARE(keys->text(), QStringLiteral("KeyControl✖"));
    }

    // Taps, then a hold with the repeats a system sends while a key is held (marked as such
    // or not), make one nudge chain: at most one step per 100 ms since the first press.
    void tapsAndRepeatsMakeOneNudgeChain()
    {
        auto *keys = find<QPushButton>("btnKeyControl");
        keys->setEnabled(true);
        keys->setChecked(true);
        const auto send = [this](QEvent::Type type, bool repeat) {
            QKeyEvent event(type, Qt::Key_Up, Qt::NoModifier, QString(), repeat);
            QCoreApplication::sendEvent(window, &event);
        };
        QElapsedTimer since;
        since.start();
        for (int tap = 0; tap < 3; ++tap) {
            send(QEvent::KeyPress, false);
            QTest::qWait(15);
            send(QEvent::KeyRelease, false);
            QTest::qWait(15);
        }
        send(QEvent::KeyPress, false);
        for (int repeat = 0; since.elapsed() < 1200; ++repeat) {
            QTest::qWait(25);
            send(QEvent::KeyRelease, repeat % 2);
            send(QEvent::KeyPress, repeat % 2);
        }
        const qint64 elapsed = since.elapsed();
        send(QEvent::KeyRelease, false);
        const double steps = locked([] { return motorState.keyVelocity; }) / 0.75;
        QVERIFY2(steps >= 1 && steps <= double(elapsed / 100 + 1),
                 qPrintable(QString("%1 steps in %2 ms").arg(steps).arg(elapsed)));
    }

    // New Limits give each bar exactly the new range, even after a range wholly beside it.
    void barsTakeExactlyTheNewLimits()
    {
        auto *dialog = window->findChild<ChangeBoundryValue *>();
        QVERIFY(dialog);
        const auto apply = [dialog](double min, double max) {
            dialog->findChild<QDoubleSpinBox *>("spinPosMin")->setValue(min);
            dialog->findChild<QDoubleSpinBox *>("spinPosMax")->setValue(max);
            dialog->findChild<QPushButton *>("btnApply")->click();
        };
        auto *bar = find<DoubleCanvas>("barPosition");
        apply(100, 200);
        QCOMPARE(QString::asprintf("%g %g %g", bar->min(), bar->mid(), bar->max()), "100 150 200");
        auto *tool = window->findChild<QDoubleSpinBox *>("ParaPos"); // the conversion tool
        QCOMPARE(QString::asprintf("%g..%g", tool->minimum(), tool->maximum()), "100..200");
        apply(-95.5, 95.5);
        QCOMPARE(QString::asprintf("%g %g %g", bar->min(), bar->mid(), bar->max()), "-95.5 0 95.5");
        locked([] { motorState.positionHistory()[9] = 95.5f; });
        flushAt(10);
        QCOMPARE(bar->markerX(), 252.f);
    }

    // Closing while a recording is saved lets the save finish: the window stays, saying why,
    // and the file is whole when it goes. The file is a pipe this test drains, so the save
    // runs exactly as long as the test lets it.
    void closingWaitsForTheSave()
    {
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.filePath("run.txt"));
        QVERIFY(mkfifo(path.constData(), 0600) == 0);
        const int pipe = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(pipe >= 0);
        const int n = 100000;
        locked([] {
            motorState.sampleCount = n;
            motorState.currentHistory()[n - 1] = 2.5f;
        });
        emit window->toTxt(QFile::decodeName(path));
        QTRY_VERIFY(find<QPushButton>("btnConfig")->text().startsWith("SaveToTxt"));
        window->close();
        QVERIFY(window->isVisible());
        QVERIFY(status().startsWith("Finishing the recording file"));
        QByteArray saved;
        char chunk[65536];
        for (ssize_t got = 1; got != 0;) {
            got = ::read(pipe, chunk, sizeof chunk);
            if (got > 0)
                saved.append(chunk, int(got));
            else if (got < 0)
                QTest::qWait(1);
        }
        ::close(pipe);
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 10000);
        QCOMPARE(saved.size(), 39 + 18 * n); // "100000", three headers, 6 bytes a sample
        QVERIFY(saved.endsWith("\n0.000\n2.500\n"));
    }

    // To TXT and From TXT open in the user's documents folder, then in the folder of the last
    // recording; To TXT adds ".txt" to a bare name; a cancelled dialog starts nothing.
    void fileButtonsAskForAFile()
    {
        QTemporaryDir home, dir;
        QVERIFY(QDir(home.path()).mkdir("Documents"));
        const QByteArray realHome = qgetenv("HOME");
        qputenv("HOME", home.path().toLocal8Bit());
        open(binDir);
        qputenv("HOME", realHome);
        QString answer; // the file to choose, or none to cancel
        QStringList asked;
        QTimer chooser; // the dialogs are modal: answered from their own event loop
        connect(&chooser, &QTimer::timeout, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal)) { // fail, do not hang
                asked << box->text();
                return box->accept();
            }
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog)
                return;
            asked << dialog->windowTitle() + " in " + dialog->directory().path();
            if (answer.isEmpty())
                return dialog->reject();
            dialog->findChild<QLineEdit *>("fileNameEdit")->setText(answer);
            // Past the dialog's own checks, which wait for its folder listing.
            static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
        });
        chooser.start(20);
        locked([] {
            motorState.sampleCount = 2;
            motorState.positionHistory()[1] = 1.5f;
        });
        for (const char *button : {"btnToTXT", "btnFromTXT"})
            find<QPushButton>(button)->setEnabled(true);
        QTest::mouseClick(find<QPushButton>("btnToTXT"), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>("btnFromTXT"), Qt::LeftButton);
        QTest::qWait(100); // a request would answer with a box by now
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        answer = dir.filePath("run");
        QTest::mouseClick(find<QPushButton>("btnToTXT"), Qt::LeftButton);
        QTRY_VERIFY(find<QPushButton>("btnConfig")->text() == "SaveToTxt 100 %");
        QCOMPARE(QFile(dir.filePath("run.txt")).size(),
                 qint64(sizeof "2\n[Position]\n0.000\n1.500\n[Velocity]\n0.000\n"
                               "0.000\n[Current]\n0.000\n0.000\n") -
                     1);
        locked(connectResetLocked);
        answer = dir.filePath("run.txt");
        QTest::mouseClick(find<QPushButton>("btnFromTXT"), Qt::LeftButton);
        QTRY_COMPARE(locked([] { return motorState.positionHistory()[1]; }), 1.5f);
        const QString documents = " in " + home.path() + "/Documents";
        const QString last = " in " + dir.path();
        QCOMPARE(
            asked,
            (QStringList{"Korvane - Save To Txt" + documents, "Korvane - Read from Txt" + documents,
                         "Korvane - Save To Txt" + documents, "Korvane - Read from Txt" + last}));
    }

    // A port named at start-up is listed even when nothing else lists it, selected, and
    // connected to when asked; a port that is not there is said and nothing is opened.
    void commandLineSelectsAndConnects()
    {
        PtyPeer listed, named;
        qputenv("KORVANE_EXTRA_PORTS", listed.slavePath().toLocal8Bit());
        open(binDir);
        StartOptions missing;
        missing.port = "/nonexistent/tty";
        missing.connect = true;
        window->applyStartOptions(missing);
        QTRY_COMPARE(status(), QStringLiteral("Port /nonexistent/tty was not found."));
        QCOMPARE(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));

        open(binDir);
        StartOptions options;
        options.port = named.slavePath();
        options.baud = 57600;
        options.motorId = 9;
        options.connect = true;
        window->applyStartOptions(options);
        QCOMPARE(named.readAtLeast(7, 5000), QByteArray::fromHex("aaaf07a2a101a4")); // to display
        QCOMPARE(named.lineSpeed(), speed_t(B57600));
        QVERIFY(find<QComboBox>("comboPort")->currentText().startsWith(named.slavePath()));
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:9"));
        QCOMPARE(listed.readAtLeast(1, 100), QByteArray());
    }

    // To PNG saves the three plots stacked in one image, hidden tabs at the shown one's size;
    // a name ending in ".csv" in the To TXT dialog exports CSV; failures are said.
    void toPngAndCsvWriteFiles()
    {
        QTemporaryDir dir;
        QString answer;
        QTimer chooser;
        MessageBoxCloser closer;
        connect(&chooser, &QTimer::timeout, this, [&] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                dialog->findChild<QLineEdit *>("fileNameEdit")->setText(answer);
                static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
            }
        });
        chooser.start(20);
        locked([] {
            motorState.sampleCount = 2;
            motorState.velocityHistory()[1] = -0.5f;
        });
        for (const char *button : {"btnToTXT", "btnToPNG"})
            find<QPushButton>(button)->setEnabled(true);
        auto *plot = find<Canvas>("plotPosition");
        QTRY_VERIFY(plot->isVisible() && plot->height() > 100);

        answer = dir.filePath("plots");
        QTest::mouseClick(find<QPushButton>("btnToPNG"), Qt::LeftButton);
        QTRY_COMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("SaveToPng 100 %"));
        const QImage image(dir.filePath("plots.png"));
        const qreal ratio = window->devicePixelRatioF();
        QCOMPARE(image.size(),
                 QSize(qRound(plot->width() * ratio), qRound(3 * plot->height() * ratio)));

        answer = dir.filePath("missing/plots.png");
        QTest::mouseClick(find<QPushButton>("btnToPNG"), Qt::LeftButton);
        QTRY_COMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("SaveToPng failed"));
        QTRY_COMPARE(closer.texts().size(), 1);
        QVERIFY(closer.texts()[0].startsWith("Could not save to " + answer + ": "));

        answer = dir.filePath("run.CSV");
        QTest::mouseClick(find<QPushButton>("btnToTXT"), Qt::LeftButton);
        QTRY_COMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("SaveToCsv 100 %"));
        QFile csv(answer);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll(), QByteArray("sample,position_rad,velocity_rad_s,current_a\n"
                                           "0,0.000,0.000,0.000\n1,0.000,-0.500,0.000\n"));
    }

    // The choices of one run come back in the next, and none of them goes to the wire.
    void remembersChoicesBetweenRuns()
    {
        QTemporaryDir dir;
        QSettings store(dir.filePath("korvane.ini"), QSettings::IniFormat);
        PtyPeer first, second;
        qputenv("KORVANE_EXTRA_PORTS",
                (first.slavePath() + ':' + second.slavePath()).toLocal8Bit());
        open(binDir);
        window->useSettings(&store);
        auto *ports = find<QComboBox>("comboPort");
        QTRY_VERIFY(ports->count() >= 2);
        ports->setCurrentIndex(1);
        auto *baud = find<QComboBox>("comboBaudRate");
        baud->setCurrentIndex(4);
        emit baud->activated(4);
        QTest::keyClicks(baud, "250000");
        find<QComboBox>("comboMotor")->setCurrentIndex(7);
        const QStringList typed = {"3", "-1.5", "2", "10", "0.5"};
        const char *fields[] = {"editPosition", "editVelocity", "editTorque", "editkp", "editKd"};
        for (int i = 0; i < 5; ++i) {
            find<QLineEdit>(fields[i])->setEnabled(true); // as when connected
            find<QLineEdit>(fields[i])->clear();
            QTest::keyClicks(find<QLineEdit>(fields[i]), typed[i]);
        }
        find<QCheckBox>("ckbVelocity")->setEnabled(true);
        QTest::mouseClick(find<QCheckBox>("ckbVelocity"), Qt::LeftButton);
        window->resize(1400, 900);
        Canvas::setHintVisible(false); // as its close mark does
        window->close();

        Canvas::setHintVisible(true);
        locked([] { motorState.cmdPosition = motorState.cmdKd = 0; });
        open(binDir);
        window->useSettings(&store);
        QTRY_COMPARE(find<QComboBox>("comboPort")->currentIndex(), 1);
        QCOMPARE(find<QComboBox>("comboBaudRate")->currentText(), QStringLiteral("250000"));
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:7"));
        for (int i = 0; i < 5; ++i)
            QCOMPARE(find<QLineEdit>(fields[i])->text(), typed[i]);
        QCOMPARE(locked([] { return motorState.cmdPosition; }), 3.f); // as if typed
        QCOMPARE(locked([] { return motorState.cmdKd; }), 0.5f);
        QCOMPARE(find<QCheckBox>("ckbPosion")->isChecked(), false);
        QCOMPARE(find<QCheckBox>("ckbVelocity")->isChecked(), true);
        QCOMPARE(window->size(), QSize(1400, 900));
        QVERIFY(!Canvas::hintVisible());
        Canvas::setHintVisible(true);
        QCOMPARE(first.readAtLeast(1, 200) + second.readAtLeast(1, 200), QByteArray());
    }

    // Whatever the settings file holds, the window starts, with defaults for what it cannot use;
    // a later version's file is neither used nor overwritten.
    void hostileSettingsGiveDefaults_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("nonsense values")
            << QByteArray("[port]\nlocation=/nonexistent/tty\nbaudRate=-5\n[motor]\nid=999\n"
                          "[command]\nfields=nan, 1e9, abc, 600, -1\nreferenceLines=x, y\n"
                          "[window]\ngeometry=@ByteArray(garbage)\n");
        QTest::newRow("off-screen window") << QByteArray("off-screen");
        QTest::newRow("not a settings file") << QByteArray("\x00\xff[[[=\n\x01\x02", 10);
        QTest::newRow("later version")
            << QByteArray("[General]\nsettingsVersion=2\n[motor]\nid=7\n[command]\n"
                          "fields=3, 0, 0, 0, 0\n");
    }
    void hostileSettingsGiveDefaults()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const QString path = dir.filePath("korvane.ini");
        if (file == "off-screen") {
            QWidget away;
            away.setGeometry(50000, 50000, 400, 300);
            QSettings(path, QSettings::IniFormat).setValue("window/geometry", away.saveGeometry());
        } else {
            QFile raw(path);
            QVERIFY(raw.open(QIODevice::WriteOnly));
            raw.write(file);
        }
        QFile before(path);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray held = before.readAll();
        QSettings store(path, QSettings::IniFormat);
        window->useSettings(&store);
        QCOMPARE(find<QComboBox>("comboBaudRate")->currentText(), QStringLiteral("921600"));
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:0"));
        for (const char *field : {"editPosition", "editVelocity", "editTorque", "editkp", "editKd"})
            QCOMPARE(find<QLineEdit>(field)->text(), QStringLiteral("0"));
        QVERIFY(!find<QCheckBox>("ckbPosion")->isChecked());
        QVERIFY(Canvas::hintVisible());
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().intersects(
            window->frameGeometry()));
        window->close();
        if (file.startsWith("[General]")) {
            QFile after(path);
            QVERIFY(after.open(QIODevice::ReadOnly));
            QCOMPARE(after.readAll(), held);
        }
    }

    // The console keeps its end in view as replies arrive.
    void consoleFollowsItsEnd()
    {
        find<QTabWidget>("tabWidget")->setCurrentIndex(3);
        QTest::qWait(50); // laid out and shown
        for (int line = 0; line < 80; ++line)
            QMetaObject::invokeMethod(window, "appendConfigText", Q_ARG(QString, "reply"));
        QScrollBar *bar = find<QTextEdit>("editConfig")->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
