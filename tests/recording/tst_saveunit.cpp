// The recording worker saves, exports as CSV and reads the histories through the recording
// format, reports its progress, and names the file and reason of every failure.
#include "motorstate.h"
#include "saveunit.h"

#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>

using Samples = QVector<float>;

// Fills the first n entries of history k with value(i, k) and sets the sample count.
template <typename Value> void setHistories(int n, Value value)
{
    QMutexLocker lock(&stateMutex);
    for (int j = 0; j < 3 * n; ++j)
        motorState.histories[j / n][j % n] = value(j % n, j / n);
    motorState.sampleCount = n;
}

// The sample count, then the first n samples of history k.
Samples history(int k, int n)
{
    QMutexLocker lock(&stateMutex);
    const float *h = motorState.histories[k].data();
    return Samples{float(motorState.sampleCount)} + Samples(h, h + n);
}

struct Failure
{
    QString op, path, box, shown;
    QByteArray bytes;
    Samples samples; // the sample count, then the first three samples of two histories
};
Q_DECLARE_METATYPE(Failure)

class TestSaveUnit : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QScopedPointer<SaveUnit> m_unit;                                 // a new one for each test
    QStringList m_boxes, m_shown;                                    // what it showed
    QByteArray m_tmpfs = QFile::encodeName(m_dir.filePath("tmpfs")); // 64 KiB, if mounted

private slots:
    void initTestCase()
    {
        QVERIFY(prepareMotorState(QDir::tempPath()) && QDir(m_dir.path()).mkdir("tmpfs"));
        if (mount("tmpfs", m_tmpfs, "tmpfs", 0, "size=64k") != 0)
            m_tmpfs.clear();
    }
    void cleanupTestCase() { umount2(m_tmpfs, MNT_DETACH); }
    void init()
    {
        connectReset();
        motorState.hasTimes = false; // runs without times, as read from older files
        m_boxes.clear(), m_shown.clear();
        m_unit.reset(new SaveUnit);
        connect(m_unit.get(), &SaveUnit::msgBox, [this](const QString &text) { m_boxes << text; });
        // Progress is shown only while the operation holds off the connect reset.
        connect(m_unit.get(), &SaveUnit::configText, [this](const QString &t) {
            m_shown << t + (historyOperationRunning() || !t.endsWith('%') ? "" : " unguarded");
        });
        connect(m_unit.get(), &SaveUnit::uiRepaint, [this] { m_shown << "repaint"; });
    }

    // 12,000 samples in eighths come back exactly, zeros replace the rest of a longer recording,
    // each range is the smallest and largest sample widened to include 0, and each section
    // reports progress at samples 0, 5000 and 10000; the export reports it by rows. A file that
    // is replaced keeps its mode; a new one has 0666 less the umask. Once reads are stopped, a
    // read returns at once.
    void savesExportsAndReadsBack()
    {
        const int n = 12000;
        const auto eighths = [](int i, int k) {
            return (i % 1601 - 800 * (k < 2)) / 8.f * (k + 1);
        };
        setHistories(n, eighths);
        const QString path = m_dir.filePath("run.txt");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.setPermissions(QFile::Permissions(0x6040)));
        umask(077);
        m_unit->saveToTxt(path);
        m_unit->setFile(path);
        setHistories(n + 10, [](int, int) { return 7.f; });
        m_unit->readFromTxt(QString());
        m_unit->saveToCsv(m_dir.filePath("run.csv")); // progress by rows
        m_unit->stopReading();
        m_unit->readFromTxt(m_dir.filePath("run.csv")); // no recording, but shows nothing
        for (int k = 0; k < 3; ++k) {
            Samples want{float(n)};
            for (int i = 0; i < n + 10; ++i)
                want << (i < n ? eighths(i, k) : 0);
            QCOMPARE(history(k, n + 10), want);
        }
        QString steps;
        for (const char *op : {"|SaveToTxt ", "|ReadFromTxt "})
            steps += QString(" 0 0 13.75 27.5 33 46.75 60.5 66 79.75 93.5 100").replace(' ', op);
        QCOMPARE(m_shown.join('|').remove(" %"),
                 steps.mid(1) + "|repaint|SaveToCsv 0|SaveToCsv 0|"
                                "SaveToCsv 41.6667|SaveToCsv 83.3333|SaveToCsv 100");
        QString files = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).join(' ');
        for (const char *name : {"run.csv", "run.txt"}) // owner, group, others
            files += ' ' + QString::number(QFile::permissions(m_dir.filePath(name)) & 0x7077, 16);
        QFile csv(m_dir.filePath("run.csv")); // a run without times leaves their cells empty
        QVERIFY(csv.open(QFile::ReadOnly) && csv.readAll().contains("\n0,,-100.000,-200.000,"));
        const MotorState &m = motorState; // read back by this thread: no lock needed
        for (float limit : {m.decodePositionMin, m.decodePositionMax, m.decodeVelocityMin,
                            m.decodeVelocityMax, m.decodeCurrentMin, m.decodeCurrentMax})
            files += ' ' + QString::number(limit);
        QCOMPARE(files, "run.csv run.txt 6000 6040 -100 100 -200 200 0 600");
        QVERIFY(m_boxes.isEmpty());
    }

    // The receive times go into the file's [Time] section and its CSV column, come back with a
    // read, and a time section that goes backwards is named and leaves the run without times.
    void timesTravelWithTheRun()
    {
        setHistories(3, [](int i, int k) { return float(i + k); });
        const double times[] = {0.000001, 0.5, 604800.25};
        std::copy(times, times + 3, motorState.timeHistory.data());
        motorState.hasTimes = true;
        const QString txt = m_dir.filePath("timed.txt"), csv = m_dir.filePath("timed.csv");
        m_unit->saveToTxt(txt);
        m_unit->saveToCsv(csv);
        QFile t(txt), c(csv);
        QVERIFY(t.open(QFile::ReadOnly) && c.open(QFile::ReadOnly));
        QVERIFY(t.readAll().endsWith("[Time]\n0.000001\n0.500000\n604800.250000\n"));
        QVERIFY(c.readAll().contains("\n2,604800.250000,2.000,3.000,4.000\n"));
        std::fill_n(motorState.timeHistory.data(), 3, 9.0);
        motorState.hasTimes = false;
        m_unit->readFromTxt(txt);
        QVERIFY(motorState.hasTimes);
        QCOMPARE(
            std::vector<double>(motorState.timeHistory.data(), motorState.timeHistory.data() + 3),
            std::vector<double>(times, times + 3));
        QFile back(m_dir.filePath("back.txt"));
        QVERIFY(back.open(QFile::WriteOnly) &&
                back.write("2\n[Position]\n1\n2\n[Velocity]\n3\n4\n[Current]\n5\n6\n"
                           "[Time]\n0.5\n0.25\n"));
        back.close();
        m_unit->readFromTxt(back.fileName());
        QCOMPARE(m_boxes, {"The times in " + back.fileName() +
                           " were not read, as the time of "
                           "sample 1 is earlier than the one before it; the run has no times."});
        QVERIFY(!motorState.hasTimes);
        QCOMPARE(history(2, 2), Samples({2, 5, 6}));
    }

    void failures_data()
    {
        // The slot called, with the histories holding 5 samples of 9 for a read and 300000 for a
        // save; the bytes of the file named, if any, before the call; the box, with %1 for the
        // file; what is shown, progress aside; the sample count with the first samples of
        // position and velocity.
        QTest::addColumn<Failure>("f");
        const auto row = [](const QByteArray &name, const char *op, const char *bytes,
                            const char *path, const QString &box, const char *shown = "",
                            const Samples &samples = {5, 9, 9, 9, 9, 9, 9}) {
            QTest::newRow(name.constData()) << Failure{op, path, box, shown, bytes, samples};
        };
        const char *read = "readFromTxt";
        row("cut in the velocity section", read, "3\n[Position]\n1\nnan\n3\n[Velocity]\n4\n", "in",
            "%1 ended after 1 of its 3 announced samples, in its [Velocity] section. The samples "
            "it holds were read; the rest are 0. Sample texts in %1 that are not numbers were "
            "read as 0: 1.",
            "ReadFromTxt incomplete|repaint", {3, 1, 0, 3, 4, 0, 0});
        row("text", read, "hello\n[Position]\n1\n", "in",
            "%1 holds no recording: it does not begin with a sample count and \"[Position]\".");
        row("out of order", read, "1\n[Position]\n1\n[Current]\n2\n[Velocity]\n3\n", "in",
            "%1 holds its sections out of order: \"[Velocity]\" does not follow the 1 samples of "
            "\"[Position]\".");
        row("count too large", read, "18446744073709551616\n[Position]\n", "in",
            "%1 holds no recording that can be read: its sample count is too large.");
        row("pipe with no writer", read, "", "fifo", "Could not read %1: it is not a regular file");
        row("missing file", read, "", "none", "Could not read %1: No such file or directory");
        // A failed save shows that it failed, never 100 %; one over a file leaves the old file,
        // and nothing else. A device is written to directly.
        row("txt, no name", "saveToTxt", "", "", "Could not save: no file name was given.",
            "SaveToTxt failed");
        const QString full = "Could not save to %1: No space left on device";
        row("csv, full device", "saveToCsv", "", "/dev/full", full, "SaveToCsv failed");
        if (!m_tmpfs.isEmpty()) // only root can mount the small file system
            row("txt, full disk", "saveToTxt", "old\n", "tmpfs/run.txt", full, "SaveToTxt failed");
        row("csv, missing folder", "saveToCsv", "", "a/b",
            "Could not save to %1: No such file or directory", "SaveToCsv failed");
    }

    // A file that ends before its count says stops there: what it holds is kept, the rest reads
    // 0, and the user is told, not shown 100 %. Nothing that is not a recording blocks the
    // worker or touches the histories. A save onto a full disk stops within a block or two of
    // the first megabyte.
    void failures()
    {
        QFETCH(Failure, f);
        const QString path = f.path.isEmpty() || f.path[0] == '/' ? f.path : m_dir.filePath(f.path);
        QFile file(path);
        QVERIFY(f.bytes.isEmpty() || (file.open(QFile::WriteOnly) && file.write(f.bytes)));
        file.close(); // written out
        QVERIFY(!path.endsWith("fifo") || mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        const bool reads = f.op == "readFromTxt";
        setHistories(reads ? 5 : 300000, [](int, int) { return 9.f; });
        QMetaObject::invokeMethod(m_unit.get(), f.op.toLatin1().constData(), Q_ARG(QString, path));
        QCOMPARE(m_boxes, QStringList(f.box.replace("%1", path)));
        QCOMPARE(m_shown.join('|').remove(QRegularExpression("[a-zA-Z]+ (?!100 )[0-9.]+ %\\|?")),
                 f.shown);
        if (reads)
            QCOMPARE(history(0, 3) + history(1, 3).mid(1), f.samples);
        else
            QVERIFY(m_shown.value(m_shown.size() - 2).section(' ', 1, 1).toDouble() < 50);
        if (!reads && !f.bytes.isEmpty()) {
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == f.bytes);
            QCOMPARE(QDir(m_tmpfs).entryList(QDir::Files | QDir::Hidden), {"run.txt"});
        }
    }
};

QTEST_GUILESS_MAIN(TestSaveUnit)
#include "tst_saveunit.moc"
