// Drives the real window (offscreen) against a pseudo-terminal playing the adapter:
// what the user types and clicks must reach the wire byte for byte, at the right
// times, and what the adapter sends must reach the window.
#include "frames.h"
#include "ptypeer.h"
#include "testframes.h"
#include "windowfixture.h"

class TestEndToEnd : public QObject, WindowFixture
{
    Q_OBJECT
    PtyPeer peer; // the adapter

private slots:
    void initTestCase()
    {
        QVERIFY(WindowFixture::prepare());
        QVERIFY(peer.isOpen());
        qputenv("KORVANE_EXTRA_PORTS", peer.slavePath().toLocal8Bit());
        open();
    }

    void cleanupTestCase()
    {
        DialogAnswerer discard; // the run is not kept
        discard.buttons = {QMessageBox::Discard};
        window->close();
    }

    void connectsInDisplayMode()
    {
        DialogAnswerer boxes; // a failed open must fail the test, not wait for a click
        auto *ports = find<QComboBox>("comboPort");
        // Named ports come first in the list.
        QTRY_VERIFY_WITH_TIMEOUT(ports->itemText(0).startsWith(peer.slavePath()), 5000);
        ports->setCurrentIndex(0);
        // A rate that is not in the list, typed after choosing "Custom".
        auto *baud = find<QComboBox>("comboBaudRate");
        baud->setCurrentIndex(4);
        emit baud->activated(4);
        QTest::keyClicks(baud, "230400");
        click("btnConnect");
        // Five refused replies, then the acknowledgement: display mode, and no message.
        QByteArray refused = modeAck;
        refused[5] = 1;
        for (int attempt = 0; attempt < 5; ++attempt) {
            QCOMPARE(peer.readAtLeast(modeFrameLength, 3000), toDisplayRequest);
            peer.write(refused);
        }
        QCOMPARE(peer.readAtLeast(modeFrameLength, 3000), toDisplayRequest);
        peer.write(modeAck);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Change to Display mode succeed."),
                                  3000);
        QCOMPARE(peer.lineSpeed(), speed_t(B230400));
        QCOMPARE(boxes.asked, QStringList());
        for (const char *on : {"btnRun", "editPosition"})
            QVERIFY2(find<QWidget>(on)->isEnabled(), on);
        for (const char *off : {"btnStop", "comboPort", "btnFromTXT"})
            QVERIFY2(!find<QWidget>(off)->isEnabled(), off);
        // A silent motor is said plainly and its last values greyed, until frames return.
        auto *position = find<QLabel>("labPosition");
        QTRY_VERIFY(status().startsWith("No feedback for ") && !position->isEnabled());
        peer.write(workedFeedback.repeated(20));
        QTRY_VERIFY(position->isEnabled() && !status().startsWith("No feedback"));
    }

    // Runs, stops, then sends once: the typed command goes out every 20 ms, then not at all,
    // then exactly once.
    void runStopAndSendOnceSendTheTypedCommand()
    {
        find<QComboBox>("comboMotor")->setCurrentIndex(3);
        const QString typed = "editPosition=1.0 editVelocity=2 editkp=10 editKd=1 editTorque=0.5";
        for (const QString &t : typed.split(' ')) {
            auto *edit = find<QLineEdit>(qPrintable(t.section('=', 0, 0)));
            edit->clear();
            QTest::keyClicks(edit, t.section('=', 1));
        }
        click("btnRun");
        QTest::qWait(100); // let the first frames of the new command replace any earlier
        peer.readAvailable();
        const QByteArray stream = peer.readAtLeast(1000 * commandFrameLength, 1000);
        const int frames = stream.size() / commandFrameLength;
        QVERIFY2(frames >= 30 && frames <= 65, qPrintable(QString("%1 frames in 1 s").arg(frames)));
        for (int i = 0; i < frames; ++i)
            QCOMPARE(stream.mid(i * commandFrameLength, commandFrameLength).toHex(' '),
                     workedCommand.toHex(' '));

        click("btnStop");
        QTest::qWait(100); // frames already on their way still arrive
        peer.readAvailable();
        QCOMPARE(peer.readAtLeast(1, 300).size(), 0);
        click("btnSendOnce");
        QCOMPARE(peer.readAtLeast(commandFrameLength, 2000).toHex(' '), workedCommand.toHex(' '));
        QCOMPARE(peer.readAtLeast(1, 300).size(), 0);
    }

    void specialButtonsSendFramesForSelectedMotor_data()
    {
        QTest::addColumn<QByteArray>("frame"); // for motor 37; the tag names the button
        QTest::newRow("btnMotorMode") << QByteArray::fromHex("aaaf0fa1 ffffffffffffff fc 2501 24");
        QTest::newRow("btnMotorExit") << QByteArray::fromHex("aaaf0fa1 ffffffffffffff fd 2501 25");
        QTest::newRow("btnZeroPos") << QByteArray::fromHex("aaaf0fa1 ffffffffffffff fe 2501 26");
    }

    void specialButtonsSendFramesForSelectedMotor()
    {
        QFETCH(QByteArray, frame);
        find<QComboBox>("comboMotor")->setCurrentIndex(37);
        click("btnRun");
        QTest::qWait(60);
        click(QTest::currentDataTag());
        // The run is stopped first, so the special frame is the last one on the wire.
        QByteArray stream;
        QTRY_VERIFY2_WITH_TIMEOUT((stream += peer.readAvailable()).endsWith(frame),
                                  qPrintable(stream.right(2 * frame.size()).toHex(' ')), 5000);
        QCOMPARE(peer.readAtLeast(1, 200).size(), 0);
    }

    void consoleTalksToFirmware()
    {
        peer.readAvailable();
        clickTab(3);
        QCOMPARE(peer.readAtLeast(modeFrameLength, 2000), toConfigRequest);
        // A plot tab clicked while the switch is pending is ignored: the tab bar stays with
        // the mode being asked for and nothing more is sent.
        clickTab(1);
        QTRY_COMPARE(find<QTabWidget>("tabWidget")->currentIndex(), 3);
        peer.write(modeAck);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Change to Config mode succeed."), 3000);
        QVERIFY(!find<QPushButton>("btnRun")->isEnabled());
        clickTab(3); // already there: nothing to ask for
        QCOMPARE(peer.readAtLeast(1, 300), QByteArray());

        auto *command = find<QLineEdit>("editCommand");
        // Blanks are simplified; only the exact token is the escape key.
        const char *const typed[][2] = {{"  m  ", "m"}, {"a   b", "a b"}, {" [esc]", "[esc]"}};
        for (const auto &line : typed) {
            QTest::keyClicks(command, line[0]);
            QTest::keyClick(command, Qt::Key_Return);
            QCOMPARE(peer.readAtLeast(int(strlen(line[1])), 2000), QByteArray(line[1]));
            QVERIFY(command->text().isEmpty());
        }
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(command->text(), QStringLiteral("[esc]"));
        QTest::keyClick(command, Qt::Key_Return);
        QCOMPARE(peer.readAtLeast(1, 2000), QByteArray("\x1b"));

        peer.write(QByteArray("Motor   Mode\r\nready\0junk", 24));
        auto *log = find<QTextEdit>("editConfig");
        QTRY_VERIFY_WITH_TIMEOUT(log->toPlainText().contains("Motor Mode ready"), 3000);
        QVERIFY(!log->toPlainText().contains("junk"));
        // Firmware text is shown exactly as sent, never read as markup, and the console keeps
        // its end in view.
        peer.write("<b>Kp</b> &lt; 5");
        QTRY_VERIFY_WITH_TIMEOUT(log->toPlainText().endsWith("\n<b>Kp</b> &lt; 5"), 3000);
        for (int line = 0; line < 80; ++line)
            QMetaObject::invokeMethod(window, "appendConfigText", Q_ARG(QString, "reply"));
        QScrollBar *bar = log->verticalScrollBar();
        QVERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
    }

    // A refused console is retried five times, then given up: nothing more is sent, the tab
    // bar returns to the plot tab and the next click asks again.
    void refusedConsoleIsRetriedThenGivenUp()
    {
        DialogAnswerer boxes;
        peer.readAvailable();
        clickTab(0);
        QCOMPARE(peer.readAtLeast(modeFrameLength, 2000), toDisplayRequest);
        peer.write(modeAck);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Change to Display mode succeed."),
                                  3000);
        clickTab(3);
        QByteArray refused = modeAck;
        refused[6] = 0;
        for (int attempt = 0; attempt < 6; ++attempt) {
            QCOMPARE(peer.readAtLeast(modeFrameLength, 3000), toConfigRequest);
            peer.write(refused);
        }
        QTRY_COMPARE_WITH_TIMEOUT(boxes.asked, QStringList{"Change to Config mode failed."}, 5000);
        QCOMPARE(find<QTabWidget>("tabWidget")->currentIndex(), 0);
        QCOMPARE(peer.readAtLeast(1, 700).size(), 0);

        clickTab(3);
        QCOMPARE(peer.readAtLeast(modeFrameLength, 2000), toConfigRequest);
        peer.write(modeAck);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Change to Config mode succeed."), 3000);
    }

    void disconnectGivesClosedLayout()
    {
        click("btnConnect");
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Disconnected successfully"), 3000);
        // The recording can be saved now, but nothing is sent any more.
        for (const char *on : {"btnToTXT", "btnToPNG", "btnFromTXT", "comboPort"})
            QVERIFY2(find<QWidget>(on)->isEnabled(), on);
        for (const char *off : {"btnRun", "btnKeyControl", "btnZeroPos", "btnSendOnce", "tab_con"})
            QVERIFY2(!find<QWidget>(off)->isEnabled(), off);
    }

    // A run that is in no file is not thrown away without asking: Cancel leaves everything
    // as it is, Save... saves it and then connects, and closing asks too.
    void unsavedRunIsNotLostSilently()
    {
        locked([] {
            motorState.sampleCount = 3;
            motorState.positionHistory()[2] = 1.25f;
        });
        const QString question = QStringLiteral("The recording of 3 samples has not been saved.");
        DialogAnswerer dialogs;
        dialogs.buttons = {QMessageBox::Cancel};
        peer.readAvailable();
        click("btnConnect");
        QCOMPARE(dialogs.asked, QStringList{question});
        QCOMPARE(peer.readAtLeast(1, 300).size(), 0);

        // A save that fails says why before the question comes back, and the run stays.
        QTemporaryDir dir;
        dialogs.asked.clear();
        dialogs.buttons = {QMessageBox::Save, QMessageBox::Ok, QMessageBox::Cancel};
        dialogs.file = dir.filePath("missing/kept.txt");
        click("btnConnect");
        QTRY_COMPARE(dialogs.asked.size(), 4);
        QCOMPARE(dialogs.asked[2].section(':', 0, 0), "Could not save to " + dialogs.file);
        QCOMPARE(dialogs.asked[3], question);
        QCOMPARE(peer.readAtLeast(1, 300).size(), 0);

        dialogs.asked.clear();
        dialogs.buttons = {QMessageBox::Save};
        dialogs.file = dir.filePath("kept");
        click("btnConnect");
        QCOMPARE(peer.readAtLeast(modeFrameLength, 5000), toDisplayRequest);
        QCOMPARE(dialogs.asked.value(0), question);
        QVERIFY(dialogs.asked.value(1).startsWith("Korvane - Save To Txt in "));
        QFile kept(dir.filePath("kept.txt")); // the suffix is added
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QVERIFY(kept.readAll().contains("\n1.250\n[Velocity]\n"));
        peer.write(modeAck);
        QTRY_COMPARE_WITH_TIMEOUT(find<QPushButton>("btnConnect")->text(),
                                  QStringLiteral("Disconnect"), 3000);

        // Closing asks too; a save that fails there leaves the window open, and nothing
        // says any more that it will close.
        locked([] { motorState.sampleCount = 2; });
        dialogs.asked.clear();
        dialogs.buttons = {QMessageBox::Save, QMessageBox::Ok, QMessageBox::Cancel};
        dialogs.file = dir.filePath("missing/closing.txt");
        window->close();
        QTRY_COMPARE(dialogs.asked.size(), 4);
        QCOMPARE(dialogs.asked[3], "The recording of 2 samples has not been saved.");
        QVERIFY(window->isVisible() && !status().startsWith("Finishing"));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
