// The whole chain with the motor simulator as a separate process and the real window
// offscreen: its feedback at the full line rate fills the histories without losing a
// frame, and the status line shows the error rate, of a clean line and of a noisy one.
#include "simprocess.h"
#include "windowfixture.h"

class TestSimWindow : public QObject, WindowFixture
{
    Q_OBJECT
    QTemporaryDir dir;
    const QString link = dir.filePath("sim");
    SimProcess sim;

    // Starts the simulator with `arguments`, then a window that connects to it.
    void connectToSimulator(const QStringList &arguments)
    {
        QVERIFY(sim.start(link, arguments));
        auto *combo = open()->findChild<QComboBox *>("comboPort");
        QTRY_VERIFY_WITH_TIMEOUT(combo->findText(link, Qt::MatchStartsWith) >= 0, 3000);
        combo->setCurrentIndex(combo->findText(link, Qt::MatchStartsWith));
        click("btnConnect");
        QTRY_VERIFY_WITH_TIMEOUT(find<QWidget>("btnRun")->isEnabled(), 10000);
    }
    static int samples()
    {
        return locked([] { return motorState.sampleCount; });
    }

private slots:
    void initTestCase()
    {
        QVERIFY(WindowFixture::prepare());
        qputenv("KORVANE_EXTRA_PORTS", link.toLocal8Bit());
    }

    void cleanup()
    {
        DialogAnswerer discard; // the run is not kept
        discard.buttons = {QMessageBox::Discard};
        if (window)
            window->close();
        delete std::exchange(window, nullptr);
        sim.stop();
    }

    void noiseRaisesTheErrorRateWhileFramesDecode()
    {
        connectToSimulator({"--noise", "20"});
        QRegularExpression rate(QStringLiteral("^USB data error : (\\d+\\.\\d\\d)%$"));
        // The connection's own message is held for 3 s first.
        QTRY_VERIFY_WITH_TIMEOUT(rate.match(status()).captured(1).toDouble() > 0.0, 10000);
        const int count = samples();
        QTRY_VERIFY_WITH_TIMEOUT(samples() > count + 500, 5000);
    }

    void fullLineRateLosesNoFrame()
    {
        // Ten seconds at the most a 921600-baud line carries.
        const int frames = 83780;
        connectToSimulator({"--rate", "100000", "--frames", QString::number(frames)});
        // A clean line's rate shows once the connection's message has been readable.
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("USB data error : 0.00%"), 5000);
        // Wait until the simulator has produced them all and the tool has read the last:
        // the count must hold still for 1.5 s, since a loaded machine may pause the reader,
        // and bytes still in the terminal are lost when the simulator stops.
        int seen = -1, still = 0;
        double fastestShown = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 40000 && (clock.elapsed() < 10500 || still < 3)) {
            still = samples() == seen ? still + 1 : 0;
            seen = samples();
            fastestShown =
                std::max(fastestShown,
                         find<QLabel>("labFeedbackRate")->text().section(' ', 1, 1).toDouble());
            QTest::qWait(500);
        }
        const QMap<QString, QString> summary = sim.stop();
        // Frames the terminal could not take while the tool waited for the mode reply were
        // never sent; every frame that was sent must have been decoded.
        QCOMPARE(QString::number(samples()), summary.value("feedback frames sent"));
        QVERIFY(samples() > frames * 3 / 4);
        QVERIFY2(fastestShown > frames / 20, qPrintable(QString::number(fastestShown)));
        // Times never go back, and within a read they step by one frame's line time:
        // 11 bytes of 10 bits at 921600 baud, 119.4 µs.
        std::vector<double> steps = locked([] {
            const double *t = motorState.timeHistory.data();
            std::vector<double> s(std::size_t(motorState.sampleCount - 1));
            for (std::size_t i = 0; i < s.size(); ++i)
                s[i] = t[i + 1] - t[i];
            return s;
        });
        QVERIFY(*std::min_element(steps.begin(), steps.end()) >= 0);
        std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
        QVERIFY2(qAbs(steps[steps.size() / 2] - 119.4e-6) < 0.3 * 119.4e-6,
                 qPrintable(QString::number(steps[steps.size() / 2])));
    }
};

QTEST_MAIN(TestSimWindow)
#include "tst_simwindow.moc"
