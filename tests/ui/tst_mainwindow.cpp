// The real window without a serial peer: what it shows at start, and that each of its
// controls reaches the rule or worker behind it (the rules themselves have their own
// tables): the port list, the parameter fields, the readout, key control, the limits,
// the file buttons, the command line and what the window remembers.
#include "canvas.h"
#include "changeboundryvalue.h"
#include "doublecanvas.h"
#include "fifo.h"
#include "ptypeer.h"
#include "windowfixture.h"

#include <QtTest>
#include <QtWidgets>

class TestMainWindow : public QObject
{
    Q_OBJECT
    WindowFixture w;

    template <typename T> T *find(const char *name) { return w.find<T>(name); }
    QString status() { return w.status(); }
    // Makes `count` samples recorded, then refreshes the readout once.
    void flushAt(int count)
    {
        locked([&] { motorState.sampleCount = count; });
        QMetaObject::invokeMethod(w.window, "uiFlush");
    }
    void type(const char *field, const QString &text)
    {
        auto *edit = find<QLineEdit>(field);
        edit->setEnabled(true); // as when connected
        edit->clear();
        QTest::keyClicks(edit, text);
    }

private slots:
    void initTestCase() { QVERIFY(WindowFixture::prepare()); }
    void init()
    {
        locked([] { motorState.appDir = WindowFixture::binDir(); });
        w.open();
    }
    void cleanup()
    {
        delete std::exchange(w.window, nullptr);
        qunsetenv("KORVANE_EXTRA_PORTS");
        locked(connectResetLocked);
        locked([] { limits = Limits(); });
    }

    void startsWithTitleStatusBoxesAndStates()
    {
        QCOMPARE(w.window->windowTitle(), QStringLiteral("Korvane MainWindow"));
        QCOMPARE(status(), QStringLiteral("Program run"));
        QCOMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("Motor Config Complete"));
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:0"));
        QVERIFY(!find<QLabel>("label_LOGO")->pixmap(Qt::ReturnByValue).isNull());
        QCOMPARE(find<QComboBox>("comboBaudRate")->currentText(), QStringLiteral("921600"));
        QCOMPARE(find<QComboBox>("comboMotor")->itemText(255), QStringLiteral("255"));
        QCOMPARE(find<QWidget>("barPosition")->size(), QSize(252, 20));
        QVERIFY(find<QTextEdit>("editConfig")->toPlainText().startsWith("[Commands]\n"));
        // The arrow keys drive the motor: the tabs never take the keyboard focus.
        auto *tabs = find<QTabWidget>("tabWidget");
        QCOMPARE(tabs->focusPolicy() | tabs->tabBar()->focusPolicy(), Qt::NoFocus);
        // On a laptop's screen every control lies inside it, whole.
        const QRect screen = w.window->screen()->availableGeometry();
        if (screen.size() == QSize(1280, 720)) {
            for (QWidget *c : w.window->findChildren<QWidget *>())
                QVERIFY2(!c->isVisible() ||
                             screen.contains(QRect(c->mapToGlobal(QPoint()), c->size())),
                         qPrintable(c->objectName()));
        }
        // Nothing that needs a connection takes input yet.
        for (const char *off :
             {"btnRun",       "btnStop",      "btnDisplay",   "btnKeyControl", "btnToTXT",
              "btnToPNG",     "btnMotorMode", "btnMotorExit", "btnZeroPos",    "btnSendOnce",
              "comboMotor",   "editKd",       "editkp",       "editPosition",  "editTorque",
              "editVelocity", "ckbPosion",    "ckbVelocity",  "ckbTorque",     "tab_con"})
            QVERIFY2(!find<QWidget>(off)->isEnabled(), off);
        for (const char *on : {"btnFromTXT", "comboPort", "comboBaudRate", "btnConnect",
                               "btnDataTool", "btnChangeMaxMinValue", "HScroll"})
            QVERIFY2(find<QWidget>(on)->isEnabled(), on);
    }

    // Started where there is no logo, with two device paths named of which one exists.
    void missingLogoIsReportedAndNamedPortsListed()
    {
        QTemporaryDir empty;
        PtyPeer peer;
        qputenv("KORVANE_EXTRA_PORTS", ("/nonexistent/tty:" + peer.slavePath()).toLocal8Bit());
        DialogAnswerer boxes;
        locked([&] { motorState.appDir = empty.path(); });
        w.open();
        QCOMPARE(boxes.asked,
                 QStringList{"Can not find Logo file\n" + empty.path() + "/Images/logo.png"});
        QCOMPARE(find<QLabel>("label_LOGO")->text(), QStringLiteral("LOGO"));
        auto *ports = find<QComboBox>("comboPort");
        QTRY_COMPARE_WITH_TIMEOUT(ports->count(), QSerialPortInfo::availablePorts().size() + 1,
                                  5000);
        QCOMPARE(ports->itemText(0), peer.slavePath() + ":Virtual serial port,");
        QVERIFY(find<QPushButton>("btnConnect")->isEnabled());
    }

    // A device that cannot be opened as a serial port: the failure is said, and nothing that
    // needs a connection becomes usable. Without any port, Connect only says so.
    void failedOrImpossibleConnectLeavesTheCommandsOff()
    {
        QTemporaryFile notATerminal;
        QVERIFY(notATerminal.open());
        qputenv("KORVANE_EXTRA_PORTS", notATerminal.fileName().toLocal8Bit());
        DialogAnswerer boxes;
        w.open();
        QTRY_VERIFY(find<QComboBox>("comboPort")->count() > 0);
        w.click("btnConnect");
        QTRY_COMPARE(status(), QStringLiteral("Open Port Failed."));
        QTRY_COMPARE(boxes.asked.size(), 1);
        QCOMPARE(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));
        for (const char *off : {"btnRun", "btnStop", "btnDisplay", "btnKeyControl", "btnToTXT"})
            QVERIFY2(!find<QWidget>(off)->isEnabled(), off);
        QVERIFY(find<QWidget>("btnFromTXT")->isEnabled());

        find<QComboBox>("comboPort")->clear();
        w.click("btnConnect");
        QVERIFY(status().contains("no longer available"));
        w.window->close();
        QCOMPARE(status(), QStringLiteral("Disconnected successfully"));
    }

    // Each field is checked against its own Limit pair and stores its own command; the
    // three with a reference line move it.
    void parameterFieldsReachTheirLimitsAndCommands_data()
    {
        QTest::addColumn<int>("index"); // position, velocity, torque, Kp, Kd
        QTest::addColumn<QString>("tooLarge");
        QTest::addColumn<QString>("plot");
        QTest::newRow("editPosition") << 0 << "95.6 Position [-95.5,95.5]"
                                      << "plotPosition";
        QTest::newRow("editVelocity") << 1 << "46 Velocity [-45,45]"
                                      << "plotVelocity";
        QTest::newRow("editTorque") << 2 << "19 Torque [-18,18]"
                                    << "plotCurrent";
        QTest::newRow("editkp") << 3 << "501 Kp [0,500]"
                                << "";
        QTest::newRow("editKd") << 4 << "6 Kd [0,5]"
                                << "";
    }
    void parameterFieldsReachTheirLimitsAndCommands()
    {
        QFETCH(int, index);
        QFETCH(QString, tooLarge);
        QFETCH(QString, plot);
        const auto stored = [] {
            return locked([] {
                return QVector<float>{motorState.cmdPosition, motorState.cmdVelocity,
                                      motorState.cmdTorque, motorState.cmdKp, motorState.cmdKd};
            });
        };
        const char *field = QTest::currentDataTag();
        type(field, "2.5");
        QVector<float> expected(5, 0.f);
        expected[index] = 2.5f;
        QCOMPARE(stored(), expected);
        if (!plot.isEmpty())
            QCOMPARE(find<Canvas>(qPrintable(plot))->refValue(), 2.5f);
        type(field, tooLarge.section(' ', 0, 0));
        QCOMPARE(status(), "Invalid data : " + tooLarge.section(' ', 1, 1) + " should be within " +
                               tooLarge.section(' ', 2));
        QCOMPARE(find<QLineEdit>(field)->text(), QStringLiteral("0"));
        QCOMPARE(find<QLineEdit>(field)->palette().color(QPalette::Text), QColor(Qt::red));
        QCOMPARE(stored(), QVector<float>(5, 0.f));
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
        flushAt(8000);
        QCOMPARE(plot->xEnd(), 7999.f);
        QCOMPARE(plot->xStart(), 5999.f);
        QCOMPARE(plot->limitMax(), 120.f);
        QCOMPARE(plot->viewTop(), 120.f);
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
    }

    // A held arrow nudges every 100 ms from the first press; taps, and the repeats a
    // system sends while a key is held (marked as such or not), join that one chain; key
    // control off returns the offsets to 0.
    void keyControlNudgesInOneChain()
    {
        auto *keys = find<QPushButton>("btnKeyControl");
        keys->setEnabled(true);
        keys->setChecked(true);
        QCOMPARE(keys->text(), QStringLiteral("KeyControl✔"));
        const auto send = [this](QEvent::Type type, bool repeat) {
            QKeyEvent event(type, Qt::Key_Up, Qt::NoModifier, QString(), repeat);
            QCoreApplication::sendEvent(w.window, &event);
        };
        QElapsedTimer since;
        since.start();
        send(QEvent::KeyPress, false);
        send(QEvent::KeyRelease, false);
        send(QEvent::KeyPress, false);
        for (int repeat = 0; since.elapsed() < 1000; ++repeat) {
            QTest::qWait(25);
            send(QEvent::KeyRelease, repeat % 2);
            send(QEvent::KeyPress, repeat % 2);
        }
        const qint64 elapsed = since.elapsed();
        send(QEvent::KeyRelease, false);
        const double steps = locked([] { return motorState.keyVelocity; }) / 0.75;
        QVERIFY2(steps >= 1 && steps <= double(elapsed / 100 + 1),
                 qPrintable(QString("%1 steps in %2 ms").arg(steps).arg(elapsed)));
        QTest::qWait(250); // released: the chain has ended
        QCOMPARE(locked([] { return motorState.keyVelocity; }) / 0.75, steps);
        keys->setChecked(false);
        QCOMPARE(keys->text(), QStringLiteral("KeyControl✖"));
        QCOMPARE(locked([] { return motorState.keyVelocity; }), 0.f);
    }

    // New Limits give each bar exactly the new range, even after a range wholly beside it.
    void barsTakeExactlyTheNewLimits()
    {
        auto *dialog = w.window->findChild<ChangeBoundryValue *>();
        QVERIFY(dialog);
        const auto apply = [dialog](double min, double max) {
            dialog->findChild<QDoubleSpinBox *>("spinPosMin")->setValue(min);
            dialog->findChild<QDoubleSpinBox *>("spinPosMax")->setValue(max);
            dialog->findChild<QPushButton *>("btnApply")->click();
        };
        auto *bar = find<DoubleCanvas>("barPosition");
        apply(100, 200);
        QCOMPARE(QString::asprintf("%g %g %g", bar->min(), bar->mid(), bar->max()), "100 150 200");
        auto *tool = w.window->findChild<QDoubleSpinBox *>("ParaPos"); // the conversion tool
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
        const QString path = dir.filePath("run.txt");
        const int pipe = openFifo(path);
        QVERIFY(pipe >= 0);
        const int n = 100000;
        locked([] {
            motorState.sampleCount = n;
            motorState.currentHistory()[n - 1] = 2.5f;
        });
        emit w.window->toTxt(path);
        QTRY_VERIFY(find<QPushButton>("btnConfig")->text().startsWith("SaveToTxt"));
        w.window->close();
        QVERIFY(w.window->isVisible());
        QVERIFY(status().startsWith("Finishing the recording file"));
        const QByteArray saved = drainFifo(pipe);
        QTRY_VERIFY_WITH_TIMEOUT(!w.window->isVisible(), 10000);
        QCOMPARE(saved.size(), 39 + 18 * n); // "100000", three headers, 6 bytes a sample
        QVERIFY(saved.endsWith("\n2.500\n"));
    }

    // To TXT and From TXT open in the user's documents folder, then in the folder of the last
    // recording; To TXT adds ".txt" to a bare name, or writes CSV for a ".csv" name; To PNG
    // stacks the three plots; a cancelled dialog starts nothing; failures are said.
    void fileButtonsAskForAFile()
    {
        QTemporaryDir home, dir;
        QVERIFY(QDir(home.path()).mkdir("Documents"));
        const QByteArray realHome = qgetenv("HOME");
        qputenv("HOME", home.path().toLocal8Bit());
        w.open();
        qputenv("HOME", realHome);
        DialogAnswerer dialogs;
        locked([] {
            motorState.sampleCount = 2;
            motorState.positionHistory()[1] = 1.5f;
        });
        for (const char *button : {"btnToTXT", "btnFromTXT", "btnToPNG"})
            find<QPushButton>(button)->setEnabled(true);
        const auto save = [&](const char *button, const QString &file, const char *done) {
            dialogs.file = file;
            w.click(button);
            QTRY_COMPARE(find<QPushButton>("btnConfig")->text(), QString(done));
        };
        w.click("btnToTXT");
        w.click("btnFromTXT");
        QTest::qWait(100); // a request would answer by now
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        save("btnToTXT", dir.filePath("run"), "SaveToTxt 100 %");
        locked(connectResetLocked);
        dialogs.file = dir.filePath("run.txt");
        w.click("btnFromTXT");
        QTRY_COMPARE(locked([] { return motorState.positionHistory()[1]; }), 1.5f);
        const QString documents = " in " + home.path() + "/Documents";
        QCOMPARE(dialogs.asked, (QStringList{"Korvane - Save To Txt" + documents,
                                             "Korvane - Read from Txt" + documents,
                                             "Korvane - Save To Txt" + documents,
                                             "Korvane - Read from Txt in " + dir.path()}));

        save("btnToTXT", dir.filePath("run.CSV"), "SaveToCsv 100 %");
        QFile csv(dir.filePath("run.CSV"));
        QVERIFY(csv.open(QIODevice::ReadOnly) && csv.readLine().startsWith("sample,"));

        auto *plot = find<Canvas>("plotPosition");
        QTRY_VERIFY(plot->isVisible() && plot->height() > 100);
        save("btnToPNG", dir.filePath("plots"), "SaveToPng 100 %");
        const QImage image(dir.filePath("plots.png"));
        const qreal ratio = w.window->devicePixelRatioF();
        QCOMPARE(image.size(),
                 QSize(qRound(plot->width() * ratio), qRound(3 * plot->height() * ratio)));
        dialogs.asked.clear();
        save("btnToPNG", dir.filePath("missing/plots.png"), "SaveToPng failed");
        QTRY_COMPARE(dialogs.asked.size(), 2);
        QVERIFY(dialogs.asked[1].startsWith("Could not save to " + dialogs.file + ": "));
    }

    // A port named at start-up is listed even when nothing else lists it, selected, and
    // connected to when asked; a port that is not there is said and nothing is opened.
    void commandLineSelectsAndConnects()
    {
        PtyPeer listed, named;
        qputenv("KORVANE_EXTRA_PORTS", listed.slavePath().toLocal8Bit());
        w.open();
        StartOptions missing;
        missing.port = "/nonexistent/tty";
        missing.connect = true;
        w.window->applyStartOptions(missing);
        QTRY_COMPARE(status(), QStringLiteral("Port /nonexistent/tty was not found."));
        QCOMPARE(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));

        w.open();
        StartOptions options;
        options.port = named.slavePath();
        options.baud = 57600;
        options.motorId = 9;
        options.connect = true;
        w.window->applyStartOptions(options);
        QCOMPARE(named.readAtLeast(7, 5000), QByteArray::fromHex("aaaf07a2a101a4")); // to display
        QCOMPARE(named.lineSpeed(), speed_t(B57600));
        QVERIFY(find<QComboBox>("comboPort")->currentText().startsWith(named.slavePath()));
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:9"));
        QCOMPARE(listed.readAtLeast(1, 100), QByteArray());
    }

    // The choices of one run come back in the next, and none of them goes to the wire; a
    // later build's settings are neither used nor overwritten.
    void remembersChoicesBetweenRuns()
    {
        QTemporaryDir dir;
        QSettings store(dir.filePath("korvane.ini"), QSettings::IniFormat);
        PtyPeer first, second;
        qputenv("KORVANE_EXTRA_PORTS",
                (first.slavePath() + ':' + second.slavePath()).toLocal8Bit());
        w.open()->useSettings(&store);
        auto *ports = find<QComboBox>("comboPort");
        QTRY_VERIFY(ports->count() >= 2);
        ports->setCurrentIndex(1);
        auto *baud = find<QComboBox>("comboBaudRate");
        baud->setCurrentIndex(4);
        emit baud->activated(4);
        QTest::keyClicks(baud, "250000");
        find<QComboBox>("comboMotor")->setCurrentIndex(7);
        type("editPosition", "3");
        type("editKd", "0.5");
        find<QCheckBox>("ckbVelocity")->setEnabled(true);
        QTest::mouseClick(find<QCheckBox>("ckbVelocity"), Qt::LeftButton);
        w.window->resize(1400, 900);
        Canvas::setHintVisible(false); // as its close mark does
        w.window->close();
        Canvas::setHintVisible(true);

        locked([] { motorState.cmdPosition = motorState.cmdKd = 0; });
        w.open()->useSettings(&store);
        QTRY_COMPARE(find<QComboBox>("comboPort")->currentIndex(), 1);
        QCOMPARE(find<QComboBox>("comboBaudRate")->currentText(), QStringLiteral("250000"));
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:7"));
        QCOMPARE(find<QLineEdit>("editKd")->text(), QStringLiteral("0.5"));
        QCOMPARE(locked([] { return motorState.cmdPosition + motorState.cmdKd; }), 3.5f);
        QCOMPARE(find<QCheckBox>("ckbVelocity")->isChecked(), true);
        QCOMPARE(w.window->size(), QSize(1400, 900));
        QVERIFY(!Canvas::hintVisible());
        Canvas::setHintVisible(true);
        QCOMPARE(first.readAtLeast(1, 200) + second.readAtLeast(1, 200), QByteArray());

        QCOMPARE(store.value("settingsVersion").toInt(), 1);
        // A later build's, even with a version number too large for an integer.
        store.setValue("settingsVersion", "99999999999999999999");
        store.sync();
        QFile file(store.fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray later = file.readAll();
        w.open()->useSettings(&store);
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:0"));
        w.window->close();
        file.seek(0);
        QCOMPARE(file.readAll(), later);
    }

    // The console keeps its end in view as replies arrive.
    void consoleFollowsItsEnd()
    {
        find<QTabWidget>("tabWidget")->setCurrentIndex(3);
        QTest::qWait(50); // laid out and shown
        for (int line = 0; line < 80; ++line)
            QMetaObject::invokeMethod(w.window, "appendConfigText", Q_ARG(QString, "reply"));
        QScrollBar *bar = find<QTextEdit>("editConfig")->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
