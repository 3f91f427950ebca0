// The whole chain with the motor simulator as a separate process and the real window
// offscreen: its feedback at the full line rate fills the histories without losing a
// frame, and the status line shows the error rate, of a clean line and of a noisy one.
#include "windowfixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestSimWindow : public QObject
{
    Q_OBJECT
    QString binDir;
    QTemporaryDir dir;
    QString link;
    QProcess *sim = nullptr;
    MainWindow *window = nullptr;

    template <typename T> T *find(const char *name) { return child<T>(window, name); }
    QString status() { return find<QLabel>("labMainStatus")->text(); }

    void startSimulator(const QStringList &arguments)
    {
        sim = new QProcess;
        sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim->start(binDir + QStringLiteral("/korvane-sim"),
                   QStringList{QStringLiteral("--link"), link} + arguments);
        QVERIFY(sim->waitForStarted(5000) && sim->waitForReadyRead(5000));
        QVERIFY(sim->readLine().startsWith("device: "));
        window = new MainWindow;
        window->show();
    }

    QMap<QString, QString> stopSimulator()
    {
        QMap<QString, QString> summary;
        if (!sim)
            return summary;
        sim->terminate();
        sim->waitForFinished(5000);
        for (const QByteArray &line : sim->readAllStandardOutput().split('\n')) {
            const int colon = line.indexOf(':');
            if (colon > 0)
                summary.insert(QString::fromLatin1(line.left(colon)).trimmed(),
                               QString::fromLatin1(line.mid(colon + 1)).trimmed());
        }
        delete sim;
        sim = nullptr;
        return summary;
    }

    void connectToSimulator()
    {
        auto *combo = find<QComboBox>("comboPort");
        QTRY_VERIFY_WITH_TIMEOUT(combo->findText(link, Qt::MatchStartsWith) >= 0, 3000);
        combo->setCurrentIndex(combo->findText(link, Qt::MatchStartsWith));
        QTest::mouseClick(find<QPushButton>("btnConnect"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(find<QPushButton>("btnRun")->isEnabled() &&
                                     find<QLineEdit>("editPosition")->isEnabled(),
                                 10000);
    }

    int samples()
    {
        QMutexLocker lock(&stateMutex);
        return motorState.sampleCount;
    }

private slots:
    void initTestCase()
    {
        binDir = qEnvironmentVariable("KORVANE_BIN_DIR", QCoreApplication::applicationDirPath() +
                                                             QStringLiteral("/../bin"));
        QVERIFY(prepareMotorState(binDir));
        link = dir.path() + QStringLiteral("/sim");
        qputenv("KORVANE_EXTRA_PORTS", link.toLocal8Bit());
    }

    void cleanup()
    {
        if (window) {
            DialogAnswerer discard; // the run is not kept
            discard.button = QMessageBox::Discard;
            window->close();
            delete window;
            window = nullptr;
        }
        stopSimulator();
    }

    void noiseRaisesTheErrorRateWhileFramesDecode()
    {
        startSimulator({QStringLiteral("--noise"), QStringLiteral("20")});
        connectToSimulator();
        QRegularExpression rate(QStringLiteral("^USB data error : (\\d+\\.\\d\\d)%$"));
        QTRY_VERIFY_WITH_TIMEOUT(rate.match(status()).hasMatch() &&
                                     rate.match(status()).captured(1).toDouble() > 0.0,
                                 10000); // the connect's own message is held for 3 s first
        const int count = samples();
        QTRY_VERIFY_WITH_TIMEOUT(samples() > count + 500, 5000);
    }

    void fullLineRateLosesNoFrame()
    {
        // Ten seconds at the most a 921600-baud line carries.
        const int frames = 83780;
        startSimulator({QStringLiteral("--rate"), QStringLiteral("100000"),
                        QStringLiteral("--frames"), QString::number(frames)});
        connectToSimulator();
        // A clean line's rate shows once the connection's message has been readable.
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("USB data error : 0.00%"), 5000);
        // Wait until the simulator has produced them all and the tool has read the last:
        // the count must hold still for 1.5 s, since a loaded machine may pause the reader,
        // and bytes still in the terminal are lost when the simulator stops.
        int seen = -1, still = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 40000 && (clock.elapsed() < 10500 || still < 3)) {
            still = samples() == seen ? still + 1 : 0;
            seen = samples();
            QTest::qWait(500);
        }
        const QMap<QString, QString> summary = stopSimulator();
        // Frames the terminal could not take while the tool waited for the mode reply were
        // never sent; every frame that was sent must have been decoded.
        QVERIFY2(QString::number(samples()) ==
                     summary.value(QStringLiteral("feedback frames sent")),
                 qPrintable(QStringLiteral("%1 decoded; %2 sent; %3 mode requests")
                                .arg(samples())
                                .arg(summary.value(QStringLiteral("feedback frames sent")),
                                     summary.value(QStringLiteral("mode requests")))));
        QVERIFY(samples() > frames * 3 / 4);
    }
};

QTEST_MAIN(TestSimWindow)
#include "tst_simwindow.moc"
