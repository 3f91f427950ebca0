// The recording worker saves, exports as CSV and reads the histories, names the file and reason of
// every failure, and never lets a connect reset land inside an operation.
#include "motorstate.h"
#include "saveunit.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using Samples = QVector<float>;

// Fills the position, velocity and current histories and sets the sample count.
void setHistories(const QVector<Samples> &h)
{
    QMutexLocker lock(&stateMutex);
    for (int k = 0; k < 3; ++k)
        std::copy(h[k].begin(), h[k].end(), motorState.histories[k].data());
    motorState.sampleCount = h[0].size();
}

// The sample count, then the first n samples of history k.
Samples history(int k, int n)
{
    QMutexLocker lock(&stateMutex);
    const float *h = motorState.histories[k].data();
    return Samples{float(motorState.sampleCount)} + Samples(h, h + n);
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

class TestSaveUnit : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QScopedPointer<SaveUnit> m_unit; // a new one for each test
    QStringList m_boxes, m_shown;    // what it showed

private slots:
    void initTestCase() { QVERIFY(prepareMotorState(QDir::tempPath())); }
    void init()
    {
        connectReset();
        m_boxes.clear();
        m_unit.reset(new SaveUnit);
        connect(m_unit.get(), &SaveUnit::msgBox, [this](const QString &text) { m_boxes << text; });
        connect(m_unit.get(), &SaveUnit::configText, [this](const QString &t) { m_shown << t; });
        connect(m_unit.get(), &SaveUnit::uiRepaint,
                [this] { m_shown << QStringLiteral("repaint"); });
    }

    // Samples get three decimals and no samples give exactly four lines; 12,000 random samples
    // come back rounded, zeros replace a longer recording, and each section reports progress
    // three times.
    void savesAndReadsBack()
    {
        m_unit->saveToTxt(QString()); // nothing named yet
        m_unit->readFromTxt(QString());
        QCOMPARE(m_boxes, (QStringList{"Could not save: no file name was given.",
                                       "Could not read: no file name was given."}));
        m_boxes.clear();
        const QString path = m_dir.filePath(QStringLiteral("exact.txt"));
        setHistories({{1.5f, -2.25f, 0.125f}, {95.5f, -0.0001f, 0}, {-40, 40, 1234.5678f}});
        m_unit->saveToTxt(path);
        QCOMPARE(contents(path),
                 QByteArray("3\n[Position]\n1.500\n-2.250\n0.125\n[Velocity]\n95.500\n"
                            "-0.000\n0.000\n[Current]\n-40.000\n40.000\n1234.568\n"));
        connectReset();
        m_unit->saveToTxt(path);
        QCOMPARE(contents(path), QByteArray("0\n[Position]\n[Velocity]\n[Current]\n"));
        const int n = 12000;
        QVector<Samples> values(3), want(3);
        QRandomGenerator rng(3);
        for (int i = 0; i < 3 * n; ++i) {
            values[i / n] << float(rng.bounded(200.0) - (i < 2 * n ? 100 : 0));
            want[i / n] << QString::number(values[i / n].last(), 'f', 3).toFloat();
        }
        setHistories(values);
        m_unit->setFile(path);
        m_shown.clear();
        m_unit->saveToTxt(QString());
        setHistories(QVector<Samples>(3, Samples(n + 10, 7)));
        m_unit->readFromTxt(QString());
        for (int k = 0; k < 3; ++k)
            QCOMPARE(history(k, n + 10), Samples{float(n)} + want[k] + Samples(10, 0));
        QStringList steps;
        for (const char *op : {"SaveToTxt", "ReadFromTxt"})
            for (const char *figure :
                 {"0", "0", "13.75", "27.5", "33", "46.75", "60.5", "66", "79.75", "93.5", "100"})
                steps << QStringLiteral("%1 %2 %").arg(op, figure);
        QCOMPARE(m_shown, steps << QStringLiteral("repaint"));
    }

    // The export is a header and one row per sample, the index and the three samples with three
    // decimals, each line ended by a line feed; progress goes by rows. Over more rows than a block
    // holds, samples are eighths m / 8, whose text is exact: m / 8, a point, m % 8 * 125.
    void exportsCsv()
    {
        const QByteArray header("sample,position_rad,velocity_rad_s,current_a\n");
        const QString path = m_dir.filePath(QStringLiteral("run.csv"));
        m_unit->saveToCsv(path);
        QCOMPARE(contents(path), header);
        setHistories({{1.5f, -2.25f, 0.125f}, {95.5f, -0.0001f, 0}, {-40, 40, 1234.5678f}});
        m_unit->saveToCsv(path);
        QCOMPARE(contents(path), header + "0,1.500,95.500,-40.000\n1,-2.250,-0.000,40.000\n"
                                          "2,0.125,0.000,1234.568\n");
        const int n = 80000;
        const auto eighths = [](int i, int k) { return (i * 37 + k * 1001) % 16001 - 8000; };
        QVector<Samples> values(3);
        for (int i = 0; i < 3 * n; ++i)
            values[i / n] << eighths(i % n, i / n) / 8.0f;
        setHistories(values);
        m_unit->setFile(path);
        m_shown.clear();
        m_unit->saveToCsv(QString());
        QByteArray want = header;
        for (int i = 0; i < n; ++i) {
            want += QByteArray::number(i);
            for (int k = 0; k < 3; ++k) {
                const int m = eighths(i, k);
                want += QString::asprintf(",%s%d.%03d", m < 0 ? "-" : "", std::abs(m) / 8,
                                          std::abs(m) % 8 * 125)
                            .toLatin1();
            }
            want += '\n';
        }
        QVERIFY2(contents(path) == want, "the rows differ");
        QStringList steps{"SaveToCsv 0 %"}; // then each 5000th row's i / 800 %
        for (int i = 0; i < n; i += 5000)
            steps << QStringLiteral("SaveToCsv %1 %").arg(i / 800.0);
        QCOMPARE(m_shown, steps << "SaveToCsv 100 %");
    }

    void shortFilesKeepWhatTheyHold_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("ended");   // where the file ended
        QTest::addColumn<QString>("samples"); // count, then position, velocity, current [0..2]
        QTest::newRow("count far beyond the file")
            << QByteArray("2147418113\n[Position]\n1\n")
            << "1 of its 2147418113 announced samples, in its [Position]"
            << "1|1 0 0|0 0 0|0 0 0";
        QTest::newRow("cut in the velocity section")
            << QByteArray("3\n[Position]\n1\n2\n3\n[Velocity]\n4\n")
            << "1 of its 3 announced samples, in its [Velocity]"
            << "3|1 2 3|4 0 0|0 0 0";
        QTest::newRow("cut before a header")
            << QByteArray("2\n[Position]\n1\n2\n[Velocity]\n4\n5\n")
            << "0 of its 2 announced samples, in its [Current]"
            << "2|1 2 0|4 5 0|0 0 0";
    }

    // A file that ends before its count says stops there: what it holds is kept, the rest
    // reads 0 (never a longer recording's stale samples), and the user is told, not shown 100 %.
    void shortFilesKeepWhatTheyHold()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, ended);
        QFETCH(QString, samples);
        setHistories(QVector<Samples>(3, Samples(5, 9)));
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(bytes) == bytes.size() && file.flush());
        m_shown.clear();
        m_unit->readFromTxt(file.fileName());
        QCOMPARE(m_boxes, QStringList(QStringLiteral("%1 ended after %2 section. The samples it "
                                                     "holds were read; the rest are 0.")
                                          .arg(file.fileName(), ended)));
        QStringList got{QString::number(history(0, 0)[0])};
        for (int k = 0; k < 3; ++k) {
            QStringList row;
            for (float v : history(k, 3).mid(1))
                row << QString::number(v);
            got << row.join(' ');
        }
        QCOMPARE(got.join('|'), samples);
        QCOMPARE(history(0, 5).mid(4), Samples(2, 0)); // past the count
        QCOMPARE(m_shown.mid(m_shown.size() - 2),
                 (QStringList{"ReadFromTxt incomplete", "repaint"}));
    }

    void notRecordingsAreRefused_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        const QString junk = m_dir.filePath("junk.txt"), fifo = m_dir.filePath("fifo");
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("hello\n[Position]\n1\n") > 0);
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QString noRecording = " holds no recording: it does not begin with a sample count "
                                    "and \"[Position]\".";
        QTest::newRow("text") << junk << junk + noRecording;
        QTest::newRow("pipe with no writer")
            << fifo << "Could not read " + fifo + ": it is not a regular file";
        QTest::newRow("directory")
            << m_dir.path() << "Could not read " + m_dir.path() + ": it is not a regular file";
        QTest::newRow("device") << "/dev/zero"
                                << "Could not read /dev/zero: it is not a regular file";
    }

    // Nothing that is not a recording blocks the worker or touches the histories.
    void notRecordingsAreRefused()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        setHistories(QVector<Samples>(3, Samples(4, 6)));
        m_shown.clear();
        m_unit->readFromTxt(path);
        QCOMPARE(m_boxes, QStringList(message));
        QCOMPARE(m_shown, QStringList());
        QCOMPARE(history(1, 4), Samples(5, 4).mid(0, 1) + Samples(4, 6));
    }

    void failuresAreReported_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("samples");
        QTest::newRow("disk full at the end") << "SaveToTxt"
                                              << "/dev/full" << 0;
        QTest::newRow("disk full midway") << "SaveToTxt"
                                          << "/dev/full" << 300000;
        QTest::newRow("missing folder") << "SaveToTxt" << m_dir.filePath("a/b") << 5;
        QTest::newRow("missing file") << "ReadFromTxt" << m_dir.filePath("a") << 5;
        QTest::newRow("CSV, disk full at the end") << "SaveToCsv"
                                                   << "/dev/full" << 0;
        QTest::newRow("CSV, disk full midway") << "SaveToCsv"
                                               << "/dev/full" << 300000;
        QTest::newRow("CSV, missing folder") << "SaveToCsv" << m_dir.filePath("a/b") << 5;
    }

    // Nothing reports 100 % or repaints, a save stops within a block or two of a full disk, and a
    // read that could not start leaves the histories.
    void failuresAreReported()
    {
        QFETCH(QString, operation);
        QFETCH(QString, path);
        QFETCH(int, samples);
        const bool reading = operation == "ReadFromTxt";
        const char *reason =
            path == "/dev/full" ? "No space left on device" : "No such file or directory";
        setHistories(QVector<Samples>(3, Samples(samples, 5)));
        m_shown.clear();
        if (reading)
            m_unit->readFromTxt(path);
        else if (operation == "SaveToCsv")
            m_unit->saveToCsv(path);
        else
            m_unit->saveToTxt(path);
        QCOMPARE(m_boxes, QStringList(QStringLiteral("Could not %1 %2: %3")
                                          .arg(reading ? "read" : "save to", path, reason)));
        const QString shown = m_shown.join('|');
        QVERIFY2(!shown.contains("100 %") &&
                     (shown.isEmpty() || shown.endsWith(operation + " failed")),
                 qPrintable(shown));
        if (samples > 100000) // the first megabyte fills the disk
            QVERIFY2(m_shown.value(m_shown.size() - 2).section(' ', 1, 1).toDouble() < 50,
                     qPrintable(shown));
        QCOMPARE(history(2, samples), Samples{float(samples)} + Samples(samples, 5));
    }

    // A reset asked for while another thread saves returns only after the whole save, and
    // leaves nothing of the recording behind. The save writes into a pipe this test drains,
    // so it is certainly still running when the reset is asked for.
    void connectResetWaitsForOperation()
    {
        const int n = 100000;
        const QByteArray fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("pipe")));
        QVERIFY(mkfifo(fifo.constData(), 0600) == 0);
        const int pipe = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(pipe >= 0);
        setHistories(QVector<Samples>(3, Samples(n, 12.5f)));
        std::atomic<bool> saving{false}, resetDone{false};
        connect(m_unit.get(), &SaveUnit::configText, [&] { saving = true; }); // on its thread
        std::thread saver([&] { m_unit->saveToTxt(QFile::decodeName(fifo)); });
        QTRY_VERIFY(saving.load());
        std::thread resetter([&] {
            connectReset();
            resetDone = true;
        });
        QTest::qWait(200);
        const bool returnedEarly = resetDone.load();
        qint64 drained = 0;
        char chunk[65536];
        for (ssize_t got = 1; got != 0;) {
            got = ::read(pipe, chunk, sizeof chunk);
            drained += std::max<ssize_t>(got, 0);
            if (got < 0)
                QThread::msleep(1);
        }
        ::close(pipe);
        saver.join();
        resetter.join();
        QVERIFY2(!returnedEarly, "the reset returned inside a save");
        QCOMPARE(drained, 39 + 21 * qint64(n)); // "100000", three headers, "12.500" lines
        for (int k = 0; k < 3; ++k)
            QVERIFY2(history(k, n) == Samples(n + 1, 0), "samples survived the reset");
    }
};

QTEST_GUILESS_MAIN(TestSaveUnit)
#include "tst_saveunit.moc"
