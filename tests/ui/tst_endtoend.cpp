// Drives the real window (offscreen) against a pseudo-terminal playing the adapter:
// what the user types and clicks must reach the wire byte for byte, at the right
// times, and what the adapter sends must reach the window.
#include "child.h"
#include "framemath.h"
#include "frames.h"
#include "mainwindow.h"
#include "motorstate.h"
#include "ptypeer.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QtTest>

namespace {
QByteArray bytesOf(const quint8 *frame, int length)
{
    return frameBytes(frame, length);
}

QList<QByteArray> splitFrames(const QByteArray &stream, int length)
{
    QList<QByteArray> frames;
    for (int i = 0; i + length <= stream.size(); i += length)
        frames.append(stream.mid(i, length));
    return frames;
}
} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void connectsInDisplayMode();
    void runSendsTypedCommandEvery20ms();
    void stopEndsTheStreamAndSendOnceSendsOne();
    void specialButtonsSendFramesForSelectedMotor_data();
    void specialButtonsSendFramesForSelectedMotor();
    void consoleTalksToFirmware();
    void sixRefusedAcknowledgementsGiveUp();
    void disconnectGivesClosedLayout();

private:
    template <typename T> T *find(const char *name) { return child<T>(window, name); }
    QString status() { return find<QLabel>("labMainStatus")->text(); }
    void selectPeerPort(PtyPeer &peer);
    void connectAndAcknowledge(PtyPeer &peer);
    void clickTab(int index);

    PtyPeer *peer = nullptr;
    MainWindow *window = nullptr;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY(prepareMotorState(qEnvironmentVariable(
        "KORVANE_BIN_DIR", QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"))));
    peer = new PtyPeer;
    QVERIFY(peer->isOpen());
    qputenv("KORVANE_EXTRA_PORTS", peer->slavePath().toLocal8Bit());
    window = new MainWindow;
    window->show();
}

void TestEndToEnd::cleanupTestCase()
{
    window->close();
    delete window;
    delete peer;
}

void TestEndToEnd::selectPeerPort(PtyPeer &p)
{
    auto *combo = find<QComboBox>("comboPort");
    QTRY_VERIFY_WITH_TIMEOUT(combo->findText(p.slavePath(), Qt::MatchStartsWith) >= 0, 3000);
    combo->setCurrentIndex(combo->findText(p.slavePath(), Qt::MatchStartsWith));
    QTRY_VERIFY(find<QPushButton>("btnConnect")->isEnabled());
}

void TestEndToEnd::connectAndAcknowledge(PtyPeer &p)
{
    selectPeerPort(p);
    QTest::mouseClick(find<QPushButton>("btnConnect"), Qt::LeftButton);
    const QByteArray request = p.readAtLeast(modeFrameLength, 3000);
    QCOMPARE(request, bytesOf(toDisplayFrame, modeFrameLength));
    p.write(bytesOf(modeAckFrame, modeFrameLength));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Change to Display mode succeed."), 3000);
}

void TestEndToEnd::clickTab(int index)
{
    QTabBar *bar = find<QTabWidget>("tabWidget")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
}

void TestEndToEnd::connectsInDisplayMode()
{
    connectAndAcknowledge(*peer);
    QCOMPARE(find<QPushButton>("btnConnect")->text(), QStringLiteral("Disconnect"));
    QVERIFY(find<QPushButton>("btnRun")->isEnabled());
    QVERIFY(!find<QPushButton>("btnStop")->isEnabled());
    QVERIFY(find<QLineEdit>("editPosition")->isEnabled());
    QVERIFY(!find<QComboBox>("comboPort")->isEnabled());
    QVERIFY(!find<QPushButton>("btnFromTXT")->isEnabled());
    QMutexLocker lock(&stateMutex);
    QVERIFY(!motorState.connectPending);
}

void TestEndToEnd::runSendsTypedCommandEvery20ms()
{
    find<QComboBox>("comboMotor")->setCurrentIndex(3);
    const QList<QPair<const char *, QString>> typed = {{"editPosition", QStringLiteral("1.0")},
                                                       {"editVelocity", QStringLiteral("2")},
                                                       {"editkp", QStringLiteral("10")},
                                                       {"editKd", QStringLiteral("1")},
                                                       {"editTorque", QStringLiteral("0.5")}};
    for (const auto &t : typed) {
        auto *edit = find<QLineEdit>(t.first);
        edit->clear();
        QTest::keyClicks(edit, t.second);
    }
    peer->readAvailable();
    QTest::mouseClick(find<QPushButton>("btnRun"), Qt::LeftButton);
    QTest::qWait(100); // let the first frames of the new command replace any earlier
    peer->readAvailable();
    const QByteArray stream = peer->readAtLeast(1000 * commandFrameLength, 1000);
    const QByteArray expected = QByteArray::fromHex("aaaf0fa1815685a05133383803 01fd");
    const QList<QByteArray> frames = splitFrames(stream, commandFrameLength);
    QVERIFY2(frames.size() >= 30 && frames.size() <= 65,
             qPrintable(QStringLiteral("%1 frames in 1 s").arg(frames.size())));
    for (const QByteArray &f : frames)
        QCOMPARE(f.toHex(' '), expected.toHex(' '));
}

void TestEndToEnd::stopEndsTheStreamAndSendOnceSendsOne()
{
    QTest::mouseClick(find<QPushButton>("btnStop"), Qt::LeftButton);
    QTest::qWait(100);
    peer->readAvailable();
    QCOMPARE(peer->readAtLeast(1, 300).size(), 0);

    QTest::mouseClick(find<QPushButton>("btnSendOnce"), Qt::LeftButton);
    const QByteArray once = peer->readAtLeast(commandFrameLength, 2000);
    QCOMPARE(once.toHex(' '), QByteArray::fromHex("aaaf0fa1815685a05133383803 01fd").toHex(' '));
    QCOMPARE(peer->readAtLeast(1, 300).size(), 0);
}

void TestEndToEnd::specialButtonsSendFramesForSelectedMotor_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<quint8>("lastPayloadByte");
    QTest::newRow("enter") << QStringLiteral("btnMotorMode") << quint8(0xFC);
    QTest::newRow("exit") << QStringLiteral("btnMotorExit") << quint8(0xFD);
    QTest::newRow("zero") << QStringLiteral("btnZeroPos") << quint8(0xFE);
}

void TestEndToEnd::specialButtonsSendFramesForSelectedMotor()
{
    QFETCH(QString, button);
    QFETCH(quint8, lastPayloadByte);
    find<QComboBox>("comboMotor")->setCurrentIndex(37);
    QTest::mouseClick(find<QPushButton>("btnRun"), Qt::LeftButton);
    QTest::qWait(60);
    QTest::mouseClick(find<QPushButton>(button.toLatin1().constData()), Qt::LeftButton);
    QVERIFY(find<QPushButton>("btnRun")->isEnabled());
    QByteArray expected = QByteArray::fromHex("aaaf0fa1ffffffffffffff00 2501 00");
    expected[11] = static_cast<char>(lastPayloadByte);
    expected[14] = static_cast<char>(byteSum(expected.constData(), 14) & 0xFF);
    // The run is stopped first, so the special frame is the last one on the wire.
    QByteArray stream;
    QTRY_VERIFY_WITH_TIMEOUT((stream += peer->readAvailable()).endsWith(expected), 5000);
    QCOMPARE(peer->readAtLeast(1, 200).size(), 0);
}

void TestEndToEnd::consoleTalksToFirmware()
{
    peer->readAvailable();
    clickTab(3);
    QCOMPARE(peer->readAtLeast(modeFrameLength, 2000), bytesOf(toConfigFrame, modeFrameLength));
    // A plot tab clicked while the switch is pending is ignored: the tab bar stays with
    // the mode being asked for and nothing more is sent.
    clickTab(1);
    QTRY_COMPARE(find<QTabWidget>("tabWidget")->currentIndex(), 3);
    peer->write(bytesOf(modeAckFrame, modeFrameLength));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Change to Config mode succeed."), 3000);
    QVERIFY(!find<QPushButton>("btnRun")->isEnabled());

    auto *command = find<QLineEdit>("editCommand");
    QTest::keyClicks(command, QStringLiteral("  m  "));
    QTest::keyClick(command, Qt::Key_Return);
    QCOMPARE(peer->readAtLeast(1, 2000), QByteArray("m"));
    QVERIFY(command->text().isEmpty());

    QTest::keyClick(window, Qt::Key_Escape);
    QCOMPARE(command->text(), QStringLiteral("[esc]"));
    QTest::keyClick(command, Qt::Key_Return);
    QCOMPARE(peer->readAtLeast(1, 2000), QByteArray("\x1b"));

    peer->write(QByteArray("Motor   Mode\r\nready\0junk", 24));
    auto *log = find<QTextEdit>("editConfig");
    QTRY_VERIFY_WITH_TIMEOUT(log->toPlainText().contains(QStringLiteral("Motor Mode ready")), 3000);
    QVERIFY(!log->toPlainText().contains(QStringLiteral("junk")));
}

void TestEndToEnd::sixRefusedAcknowledgementsGiveUp()
{
    MessageBoxCloser closer;
    peer->readAvailable();
    clickTab(0);
    // The first request and five retries, each answered with a reply that is off by one byte.
    for (int attempt = 0; attempt < 6; ++attempt) {
        QCOMPARE(peer->readAtLeast(modeFrameLength, 3000),
                 bytesOf(toDisplayFrame, modeFrameLength));
        QByteArray wrong = bytesOf(modeAckFrame, modeFrameLength);
        wrong[4] = 0;
        peer->write(wrong);
    }
    QTRY_COMPARE_WITH_TIMEOUT(closer.texts(),
                              QStringList{QStringLiteral("Change to Display mode failed.")}, 5000);
    QCOMPARE(status(), QStringLiteral("Change to Display mode failed."));
    QCOMPARE(find<QTabWidget>("tabWidget")->currentIndex(), 3);
    QCOMPARE(peer->readAtLeast(1, 700).size(), 0);
}

void TestEndToEnd::disconnectGivesClosedLayout()
{
    QTest::mouseClick(find<QPushButton>("btnConnect"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Disconnected successfully"), 3000);
    QCOMPARE(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));
    for (const char *enabled : {"btnToTXT", "btnToPNG", "btnFromTXT"})
        QVERIFY2(find<QPushButton>(enabled)->isEnabled(), enabled);
    for (const char *disabled : {"btnRun", "btnStop", "btnDisplay", "btnKeyControl", "btnMotorMode",
                                 "btnMotorExit", "btnZeroPos", "btnSendOnce"})
        QVERIFY2(!find<QPushButton>(disabled)->isEnabled(), disabled);
    QVERIFY(find<QComboBox>("comboPort")->isEnabled());
    QVERIFY(find<QComboBox>("comboBaudRate")->isEnabled());
    QVERIFY(!find<QWidget>("tab_con")->isEnabled());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
