// The real window without a serial peer: what it shows at start, and that each of its
// controls reaches the rule or worker behind it (the rules themselves have their own
// tables): the port list, the parameter fields, the readout, key control, the limits,
// the file buttons, the command line and what the window remembers.
#include "canvas.h"
#include "changeboundryvalue.h"
#include "doublecanvas.h"
#include "fifo.h"
#include "ptypeer.h"
#include "runjournal.h"
#include "windowfixture.h"

class TestMainWindow : public QObject, WindowFixture
{
    Q_OBJECT

    // Makes `count` samples recorded, then refreshes the readout once.
    void flushAt(int count)
    {
        locked([&] { motorState.sampleCount = count; });
        QMetaObject::invokeMethod(window, "uiFlush");
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
        open();
    }
    void cleanup()
    {
        delete std::exchange(window, nullptr);
        qunsetenv("KORVANE_EXTRA_PORTS");
        locked(connectResetLocked);
        locked([] { limits = Limits(); });
    }

    void startsClosedAndOnTheScreen()
    {
        QVERIFY(!find<QLabel>("label_LOGO")->pixmap(Qt::ReturnByValue).isNull());
        // On a laptop's screen every control lies inside it, whole.
        const QRect screen = window->screen()->availableGeometry();
        for (QWidget *c : window->findChildren<QWidget *>()) {
            const QRect r(c->mapToGlobal(QPoint()), c->size());
            if (screen.size() == QSize(1280, 720) && c->isVisible())
                QVERIFY2(screen.contains(r), qPrintable(c->objectName()));
        }
        // Nothing that needs a connection takes input yet.
        for (const char *off :
             {"btnRun", "btnDisplay", "btnKeyControl", "btnToTXT", "btnToPNG", "btnMotorMode",
              "btnSendOnce", "comboMotor", "editPosition", "ckbPosion", "tab_con"})
            QVERIFY2(!find<QWidget>(off)->isEnabled(), off);
        QVERIFY(find<QWidget>("btnFromTXT")->isEnabled());
    }

    // Each field is checked against its own Limit pair and stores its own command; the
    // three with a reference line move it. A row: the command it stores (0 to 4: position,
    // velocity, torque, Kp, Kd), a value too large, the name and range said, the plot.
    void parameterFieldsReachTheirLimitsAndCommands_data()
    {
        QTest::addColumn<QString>("story");
        QTest::newRow("editPosition") << "0 95.6 Position [-95.5,95.5] plotPosition";
        QTest::newRow("editVelocity") << "1 46 Velocity [-45,45] plotVelocity";
        QTest::newRow("editTorque") << "2 19 Torque [-18,18] plotCurrent";
        QTest::newRow("editkp") << "3 501 Kp [0,500]";
        QTest::newRow("editKd") << "4 6 Kd [0,5]";
    }
    void parameterFieldsReachTheirLimitsAndCommands()
    {
        QFETCH(QString, story);
        const QStringList s = story.split(' ');
        const auto stored = [] {
            return locked([] {
                return QVector<float>{motorState.cmdPosition, motorState.cmdVelocity,
                                      motorState.cmdTorque, motorState.cmdKp, motorState.cmdKd};
            });
        };
        const char *field = QTest::currentDataTag();
        type(field, "2.5");
        QVector<float> expected(5, 0.f);
        expected[s[0].toInt()] = 2.5f;
        QCOMPARE(stored(), expected);
        if (s.size() > 4)
            QCOMPARE(find<Canvas>(qPrintable(s[4]))->refValue(), 2.5f);
        type(field, s[1]);
        QCOMPARE(status(), "Invalid data : " + s[2] + " should be within " + s[3]);
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
        flushAt(16000001);
        QCOMPARE(find<QPushButton>("btnConfig")->text(), QStringLiteral("Memory Usage: 50.0000 %"));

        // With the display on, each refresh moves the plots' 2000-sample window so that its
        // right end follows the newest sample, and widens the value limits to the ranges.
        find<QPushButton>("btnDisplay")->setChecked(false);
        find<QPushButton>("btnDisplay")->setChecked(true);
        auto *plot = find<Canvas>("plotPosition");
        locked([] { motorState.decodePositionMax = 120.f; });
        flushAt(8000);
        const auto view = [](Canvas *c) {
            return QString::asprintf("%g..%g %g %g", c->xStart(), c->xEnd(), c->limitMax(),
                                     c->viewTop());
        };
        QCOMPARE(view(plot), "5999..7999 120 120");
        // A plot the user holds (scrolled back) or zoomed keeps its window and view.
        auto *velocity = find<Canvas>("plotVelocity");
        plot->setHold(1);
        velocity->setYZoomed(1);
        velocity->setView(-1, 1);
        locked([] { motorState.decodeVelocityMax = 50.f; });
        flushAt(9000);
        QCOMPARE(view(plot) + " | " + view(velocity), "5999..7999 120 120 | 6999..8999 50 1");
    }

    // A held arrow nudges every 100 ms from the first press; taps, and the repeats a
    // system sends while a key is held (marked as such or not), join that one chain; key
    // control off returns the offsets to 0.
    void keyControlNudgesInOneChain()
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
        QCOMPARE(locked([] { return motorState.keyVelocity; }), 0.f);
    }

    // New Limits give each bar and the conversion tool exactly the new range.
    void barsTakeExactlyTheNewLimits()
    {
        auto *dialog = window->findChild<ChangeBoundryValue *>();
        QVERIFY(dialog);
        child<QDoubleSpinBox>(dialog, "spinPosMin")->setValue(100);
        child<QDoubleSpinBox>(dialog, "spinPosMax")->setValue(200);
        child<QPushButton>(dialog, "btnApply")->click();
        auto *bar = find<DoubleCanvas>("barPosition");
        auto *tool = find<QDoubleSpinBox>("ParaPos"); // the conversion tool
        QCOMPARE(QString::asprintf("%g %g %g, %g..%g", bar->min(), bar->mid(), bar->max(),
                                   tool->minimum(), tool->maximum()),
                 "100 150 200, 100..200");
        locked([] { motorState.positionHistory()[9] = 200.f; });
        flushAt(10);
        QCOMPARE(bar->markerX(), 252.f);
    }

    // To TXT and From TXT open in the user's documents folder, then in the folder of the last
    // recording; To TXT adds ".txt" to a bare name, or writes CSV for a ".csv" name; To PNG
    // stacks the three plots; a cancelled dialog starts nothing; failures are said. Closing
    // while a recording is saved lets the save finish: the window stays, saying why, and the
    // file is whole when it goes. That file is a pipe this test drains, so the save runs
    // exactly as long as the test lets it.
    void fileButtonsAskForAFileAndClosingWaitsForTheSave()
    {
        QTemporaryDir home, dir;
        QVERIFY(QDir(home.path()).mkdir("Documents"));
        const QByteArray realHome = qgetenv("HOME");
        qputenv("HOME", home.path().toLocal8Bit());
        open();
        qputenv("HOME", realHome);
        DialogAnswerer dialogs;
        locked([] { motorState.positionHistory()[1] = 1.5f; });
        flushAt(2);
        for (const char *button : {"btnToTXT", "btnFromTXT", "btnToPNG"})
            find<QPushButton>(button)->setEnabled(true);
        const auto save = [&](const char *button, const QString &file, const char *done) {
            dialogs.file = file;
            click(button);
            QTRY_COMPARE(find<QPushButton>("btnConfig")->text(), QString(done));
        };
        click("btnToTXT");
        click("btnFromTXT");
        QTest::qWait(100); // a request would answer by now
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        save("btnToTXT", dir.filePath("run"), "SaveToTxt 100 %");
        locked(connectResetLocked);
        dialogs.file = dir.filePath("run.txt");
        click("btnFromTXT");
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
        QCOMPARE(QImage(dir.filePath("plots.png")).size() / window->devicePixelRatioF(),
                 QSize(plot->width(), 3 * plot->height()));
        dialogs.asked.clear();
        save("btnToPNG", dir.filePath("missing/plots.png"), "SaveToPng failed");
        QTRY_VERIFY(dialogs.asked.value(1).startsWith("Could not save to " + dialogs.file + ": "));

        const int pipe = openFifo(dialogs.file = dir.filePath("pipe.txt"));
        QVERIFY(pipe >= 0);
        const int n = 100000;
        locked([] { // a run without times, as read from an older file
            motorState.currentHistory()[n - 1] = 2.5f;
            motorState.hasTimes = false;
        });
        flushAt(n);
        click("btnToTXT");
        QTRY_VERIFY(find<QPushButton>("btnConfig")->text().startsWith("SaveToTxt"));
        window->close();
        QVERIFY(window->isVisible() && status().startsWith("Finishing the recording file"));
        const QByteArray saved = drainFifo(pipe);
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 10000);
        QCOMPARE(saved.size(), 39 + 18 * n); // "100000", three headers, 6 bytes a sample
        QVERIFY(saved.endsWith("\n2.500\n"));
    }

    // A journal that an instance left behind, unlocked as after a crash, is offered with its
    // size and start; Recover loads it and keeps it as this instance's; Later keeps it;
    // Discard removes it.
    void offersRunsThatWereNotSaved_data()
    {
        QTest::addColumn<int>("answer"); // a QMessageBox::StandardButton
        QTest::addColumn<int>("samples");
        QTest::addColumn<bool>("kept");
        QTest::newRow("Recover") << int(QMessageBox::Yes) << 3 << true;
        QTest::newRow("Later") << int(QMessageBox::No) << 0 << true;
        QTest::newRow("Discard") << int(QMessageBox::Discard) << 0 << false;
    }
    void offersRunsThatWereNotSaved()
    {
        QFETCH(int, answer);
        QFETCH(int, samples);
        QFETCH(bool, kept);
        QTemporaryDir dir;
        const QString path = dir.filePath("run-1.kvj");
        journal::Writer writer;
        journal::Header header;
        header.startMs = 1700000000000;
        header.limits.positionMax = 12.5;
        const double times[] = {0.1, 0.2, 0.3};
        const float values[] = {1.5f, -2.25f, 0.125f};
        QVERIFY(writer.create(path, header) &&
                writer.appendSamples(0, 3, times, values, values, values) && writer.sync());
        writer.close();
        DialogAnswerer dialogs;
        dialogs.buttons = {QMessageBox::StandardButton(answer), QMessageBox::Discard};
        open()->useJournal(dir.path());
        QCOMPARE(
            dialogs.asked.value(0),
            "Korvane closed while a run of 3 samples from " +
                QDateTime::fromMSecsSinceEpoch(header.startMs).toString("yyyy-MM-dd HH:mm:ss") +
                " had not been saved.");
        QTRY_COMPARE(
            locked([] { return motorState.sampleCount * motorState.velocityHistory()[1]; }),
            samples * -2.25f);
        QCOMPARE(QFile::exists(path), kept);
        QTRY_COMPARE(find<QPushButton>("btnToTXT")->isEnabled(), samples > 0);       // to be saved
        QCOMPARE(find<DoubleCanvas>("barPosition")->max(), samples ? 12.5f : 95.5f); // its Limits
        // Closing asks about the recovered run, as about any unsaved one; Discard lets its
        // journal go with it.
        window->close();
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(dialogs.asked.mid(1),
                 samples ? QStringList{"The recording of 3 samples has not been saved."}
                         : QStringList());
        QCOMPARE(QFile::exists(path), kept && !samples);
    }

    // Started where there is no logo, with three device paths named of which one is gone
    // and one is no terminal: the missing logo is said, and the paths that exist are listed
    // first. Connecting to the file fails, says so and leaves the commands off; without any
    // port, Connect only says so. A port named at start-up is listed even when nothing else
    // lists it, selected, and connected to when asked.
    void startUpAndConnectSayWhatIsMissing()
    {
        QTemporaryDir empty;
        QTemporaryFile notATerminal;
        QVERIFY(notATerminal.open());
        PtyPeer listed, named;
        const QString named3 = "/nonexistent/tty:" + notATerminal.fileName() + ':';
        qputenv("KORVANE_EXTRA_PORTS", (named3 + listed.slavePath()).toLocal8Bit());
        DialogAnswerer boxes;
        locked([&] { motorState.appDir = empty.path(); });
        open();
        QCOMPARE(boxes.asked,
                 QStringList{"Can not find Logo file\n" + empty.path() + "/Images/logo.png"});
        auto *ports = find<QComboBox>("comboPort");
        QTRY_COMPARE_WITH_TIMEOUT(ports->count(), QSerialPortInfo::availablePorts().size() + 2,
                                  5000);
        QCOMPARE(ports->itemText(1), listed.slavePath() + ":Virtual serial port,");
        click("btnConnect");
        QTRY_COMPARE(status(), QStringLiteral("Open Port Failed."));
        QTRY_COMPARE(boxes.asked.size(), 2);
        QVERIFY(!find<QWidget>("btnRun")->isEnabled() && find<QWidget>("btnFromTXT")->isEnabled());
        ports->clear();
        click("btnConnect");
        QVERIFY(status().contains("no longer available"));

        window->applyStartOptions({named.slavePath(), 57600, 9, true});
        QCOMPARE(named.readAtLeast(7, 5000), QByteArray::fromHex("aaaf07a2a101a4")); // to display
        QCOMPARE(named.lineSpeed(), speed_t(B57600));
        QVERIFY(ports->currentText().startsWith(named.slavePath()));
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:9"));
        QCOMPARE(listed.readAtLeast(1, 100), QByteArray());
    }

    // The choices of one run come back in the next, and none of them goes to the wire; a
    // later build's settings are neither used nor overwritten.
    void remembersChoicesBetweenRuns()
    {
        QTemporaryDir dir;
        QSettings store(dir.filePath("korvane.ini"), QSettings::IniFormat);
        PtyPeer peer;
        qputenv("KORVANE_EXTRA_PORTS", ("/dev/null:" + peer.slavePath()).toLocal8Bit());
        open()->useSettings(&store);
        auto *ports = find<QComboBox>("comboPort");
        QTRY_VERIFY(ports->count() >= 2);
        ports->setCurrentIndex(1);
        auto *baud = find<QComboBox>("comboBaudRate");
        baud->setCurrentIndex(4);
        emit baud->activated(4);
        QTest::keyClicks(baud, "250000");
        find<QComboBox>("comboMotor")->setCurrentIndex(7);
        // Written within a second of the change, long before the window closes.
        QTRY_COMPARE_WITH_TIMEOUT(
            QSettings(dir.filePath("korvane.ini"), QSettings::IniFormat).value("motor/id"),
            QVariant(7), 2000);
        type("editPosition", "3");
        type("editKd", "0.5");
        find<QCheckBox>("ckbVelocity")->setEnabled(true);
        QTest::mouseClick(find<QCheckBox>("ckbVelocity"), Qt::LeftButton);
        window->resize(1400, 900);
        Canvas::setHintVisible(false); // as its close mark does
        window->close();
        Canvas::setHintVisible(true);

        locked([] { motorState.cmdPosition = motorState.cmdKd = 0; });
        open()->useSettings(&store);
        QTRY_COMPARE(find<QComboBox>("comboPort")->currentIndex(), 1);
        QCOMPARE(find<QComboBox>("comboBaudRate")->currentText(), QStringLiteral("250000"));
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:7"));
        QCOMPARE(locked([] { return motorState.cmdPosition + motorState.cmdKd; }), 3.5f);
        QVERIFY(find<QCheckBox>("ckbVelocity")->isChecked());
        QCOMPARE(window->size(), QSize(1400, 900));
        QVERIFY(!Canvas::hintVisible());
        Canvas::setHintVisible(true);
        QCOMPARE(peer.readAtLeast(1, 200), QByteArray());

        // A later build's settings.
        store.setValue("settingsVersion", 2);
        open()->useSettings(&store);
        QCOMPARE(find<QLabel>("labMotorID")->text(), QStringLiteral("MotorID:0"));
        window->close();
        QCOMPARE(store.value("motor/id").toInt(), 7); // not overwritten
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
