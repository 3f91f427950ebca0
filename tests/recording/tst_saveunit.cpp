// The recording worker saves, exports as CSV and reads the histories through the recording
// format, reports its progress, names the file and reason of every failure, and never lets a
// connect reset land inside an operation.
#include "fifo.h"
#include "motorstate.h"
#include "saveunit.h"

#include <QtTest>

#include <atomic>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

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

struct Failure
{
    QString op;
    int count;
    QByteArray bytes;
    QString path, box, shown;
    Samples samples; // sample count, the first three of each history, the decoder's ranges
};
Q_DECLARE_METATYPE(Failure)

class TestSaveUnit : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QScopedPointer<SaveUnit> m_unit; // a new one for each test
    QStringList m_boxes, m_shown;    // what it showed
    QByteArray m_tmpfs;              // a 64 KiB file system, if one could be mounted

private slots:
    void initTestCase()
    {
        QVERIFY(prepareMotorState(QDir::tempPath()) && QDir(m_dir.path()).mkdir("tmpfs"));
        m_tmpfs = QFile::encodeName(m_dir.filePath("tmpfs"));
        if (mount("tmpfs", m_tmpfs, "tmpfs", 0, "size=64k") != 0)
            m_tmpfs.clear();
    }
    void cleanupTestCase() { umount2(m_tmpfs, MNT_DETACH); }
    void init()
    {
        connectReset();
        m_boxes.clear(), m_shown.clear();
        m_unit.reset(new SaveUnit);
        connect(m_unit.get(), &SaveUnit::msgBox, [this](const QString &text) { m_boxes << text; });
        connect(m_unit.get(), &SaveUnit::configText, [this](const QString &t) { m_shown << t; });
        connect(m_unit.get(), &SaveUnit::uiRepaint, [this] { m_shown << "repaint"; });
    }

    // 12,000 random samples come back rounded to three decimals, zeros replace the rest of a
    // longer recording, and each section reports progress at samples 0, 5000 and 10000; the
    // export reports it by rows. Once reads are stopped, a read returns at once.
    void savesExportsAndReadsBack()
    {
        m_unit->saveToTxt(QString()); // nothing named yet
        m_unit->readFromTxt(QString());
        QCOMPARE(m_boxes, (QStringList{"Could not save: no file name was given.",
                                       "Could not read: no file name was given."}));
        const int n = 12000;
        QVector<Samples> values(3), want(3);
        QRandomGenerator rng(3);
        for (int i = 0; i < 3 * n; ++i) {
            values[i / n] << float(rng.bounded(200.0) - (i < 2 * n ? 100 : 0));
            want[i / n] << QString::number(values[i / n].last(), 'f', 3).toFloat();
        }
        setHistories(values);
        const QString path = m_dir.filePath("run.txt");
        QFile old(path); // replaced with its mode kept; a new file's mode is 0666 less the umask
        QVERIFY(old.open(QIODevice::WriteOnly) && old.setPermissions(QFile::Permissions(0x6040)));
        umask(077);
        m_unit->saveToTxt(path);
        m_unit->setFile(path);
        setHistories(QVector<Samples>(3, Samples(n + 10, 7)));
        m_unit->readFromTxt(QString());
        for (int k = 0; k < 3; ++k)
            QCOMPARE(history(k, n + 10), Samples{float(n)} + want[k] + Samples(10, 0));
        QStringList steps;
        for (const char *op : {"SaveToTxt", "ReadFromTxt"})
            for (const char *figure :
                 {"0", "0", "13.75", "27.5", "33", "46.75", "60.5", "66", "79.75", "93.5", "100"})
                steps << QString("%1 %2 %").arg(op, figure);
        m_unit->saveToCsv(m_dir.filePath("run.csv")); // progress by rows
        steps << "repaint";
        for (const char *figure : {"0", "0", "41.6667", "83.3333", "100"})
            steps << QString("SaveToCsv %1 %").arg(figure);
        QCOMPARE(m_shown, QStringList("SaveToTxt failed") + steps);
        const QStringList files = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
        QString got = files.join(' ');
        for (const QString &name : files) // owner, group, others
            got += ' ' + QString::number(QFile::permissions(m_dir.filePath(name)) & 0x7077, 16);
        QCOMPARE(got, "run.csv run.txt 6000 6040");
        m_shown.clear();
        m_unit->stopReading();
        setHistories(QVector<Samples>(3, Samples(4, 6)));
        m_unit->readFromTxt(path);
        QVERIFY(m_shown.isEmpty());
        QCOMPARE(history(0, 4), (Samples{4, 6, 6, 6, 6}));
    }

    void failures_data()
    {
        // What is done ("read", "txt", "csv"), with the histories holding `count` samples of 9;
        // the file's bytes, or a path; the box, with %1 for the file; what is shown, progress
        // aside; for reads, the sample count, the first three samples of each history and the
        // decoder's ranges. The connect reset before each row sets the ranges to the Limits.
        QTest::addColumn<Failure>("f");
        const auto row = [](const QByteArray &name, const char *op, int count, const char *bytes,
                            const char *path, const QString &box, const char *shown = "",
                            const Samples &samples = {}) {
            QTest::newRow(name.constData()) << Failure{op, count, bytes, path, box, shown, samples};
        };
        const QString ended =
            "%1 ended after %2 announced samples, in its [%3] section. The samples "
            "it holds were read; the rest are 0.";
        const Samples untouched{5, 9, 9, 9, 9, 9, 9, 9, 9, 9, -95.5, 95.5, -45, 45, -40, 40};
        row("cut in the velocity section", "read", 5, "3\n[Position]\n1\nnan\n3\n[Velocity]\n4\n",
            "",
            ended.arg("%1", "1 of its 3", "Velocity") +
                " Sample texts in %1 that are not numbers were read as 0: 1.",
            "ReadFromTxt incomplete|repaint", {3, 1, 0, 3, 4, 0, 0, 0, 0, 0, 0, 3, 0, 4, 0, 0});
        row("cut before a header", "read", 5, "2\n[Position]\n1\n2\n[Velocity]\n4\n-5\n", "",
            ended.arg("%1", "0 of its 2", "Current"), "ReadFromTxt incomplete|repaint",
            {2, 1, 2, 0, 4, -5, 0, 0, 0, 0, 0, 2, -5, 4, 0, 0});
        row("text", "read", 5, "hello\n[Position]\n1\n", "",
            "%1 holds no recording: it does not begin with a sample count and \"[Position]\".", "",
            untouched);
        row("out of order", "read", 5, "1\n[Position]\n1\n[Current]\n2\n[Velocity]\n3\n", "",
            "%1 holds its sections out of order: \"[Velocity]\" does not follow the 1 samples of "
            "\"[Position]\".",
            "", untouched);
        row("count too large", "read", 5, "18446744073709551616\n[Position]\n", "",
            "%1 holds no recording that can be read: its sample count is too large.", "",
            untouched);
        row("pipe with no writer", "read", 5, "", "fifo",
            "Could not read %1: it is not a regular file", "", untouched);
        row("missing file", "read", 5, "", "none", "Could not read %1: No such file or directory",
            "", untouched);
        // A failed save shows that it failed, never 100 %; one over a file leaves the old file,
        // and nothing else. A device is written to directly.
        row("csv, full device", "csv", 300000, "", "/dev/full",
            "Could not save to %1: No space left on device");
        row("txt, full file system", "txt", 300000, "old\n", "tmpfs/run.txt",
            "Could not save to %1: No space left on device");
        for (const char *op : {"txt", "csv"})
            row(op + QByteArray(", missing folder"), op, 5, "", "a/b",
                "Could not save to %1: No such file or directory");
    }

    // A file that ends before its count says stops there: what it holds is kept, the rest reads
    // 0, and the user is told, not shown 100 %. Nothing that is not a recording blocks the
    // worker or touches the histories. A save onto a full disk stops within a block or two of
    // the first megabyte.
    void failures()
    {
        QFETCH(Failure, f);
        QTemporaryFile file;
        if (f.path.isEmpty()) {
            QVERIFY(file.open() && file.write(f.bytes) == f.bytes.size() && file.flush());
            f.path = file.fileName();
        } else if (!f.path.startsWith('/')) {
            f.path = m_dir.filePath(f.path);
            if (f.path.endsWith("fifo"))
                QVERIFY(mkfifo(QFile::encodeName(f.path).constData(), 0600) == 0);
        }
        if (f.path.contains("tmpfs/") && m_tmpfs.isEmpty())
            QSKIP("a small tmpfs can be mounted only as root");
        QFile old(f.path);
        if (f.op != "read" && !f.bytes.isEmpty())
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write(f.bytes) && old.flush());
        old.close();
        setHistories(QVector<Samples>(3, Samples(f.count, 9)));
        f.op == "read"  ? m_unit->readFromTxt(f.path)
        : f.op == "csv" ? m_unit->saveToCsv(f.path)
                        : m_unit->saveToTxt(f.path);
        QCOMPARE(m_boxes, QStringList(f.box.arg(f.path)));
        if (f.op != "read")
            f.shown = f.op == "csv" ? "SaveToCsv failed" : "SaveToTxt failed";
        QCOMPARE(m_shown.join('|').remove(QRegularExpression("[a-zA-Z]+ (?!100 )[0-9.]+ %\\|?")),
                 f.shown);
        if (f.count > 100000)
            QVERIFY2(m_shown.value(m_shown.size() - 2).section(' ', 1, 1).toDouble() < 50,
                     qPrintable(m_shown.join('|')));
        if (f.op != "read") {
            if (!f.bytes.isEmpty()) {
                QVERIFY(old.open(QIODevice::ReadOnly) && old.readAll() == f.bytes);
                QCOMPARE(QDir(m_tmpfs).entryList(QDir::Files | QDir::Hidden), {"run.txt"});
            }
            return;
        }
        Samples got = history(0, 3) + history(1, 3).mid(1) + history(2, 3).mid(1);
        QMutexLocker lock(&stateMutex);
        got << motorState.decodePositionMin << motorState.decodePositionMax
            << motorState.decodeVelocityMin << motorState.decodeVelocityMax
            << motorState.decodeCurrentMin << motorState.decodeCurrentMax;
        QCOMPARE(got, f.samples);
    }

    // A reset asked for while another thread saves returns only after the whole save, and
    // leaves nothing of the recording behind. The save writes into a pipe this test drains,
    // so it is certainly still running when the reset is asked for.
    void connectResetWaitsForOperation()
    {
        const int n = 100000;
        const QString fifo = m_dir.filePath("pipe");
        const int pipe = openFifo(fifo);
        QVERIFY(pipe >= 0);
        setHistories(QVector<Samples>(3, Samples(n, 12.5f)));
        std::atomic<bool> saving{false}, resetDone{false};
        connect(m_unit.get(), &SaveUnit::configText, [&] { saving = true; }); // on its thread
        std::thread saver([&] { m_unit->saveToTxt(fifo); });
        QTRY_VERIFY(saving.load());
        std::thread resetter([&] {
            connectReset();
            resetDone = true;
        });
        QTest::qWait(200);
        const bool returnedEarly = resetDone.load();
        const QByteArray drained = drainFifo(pipe);
        saver.join();
        resetter.join();
        QVERIFY2(!returnedEarly, "the reset returned inside a save");
        QCOMPARE(drained.size(), 39 + 21 * n); // "100000", three headers, "12.500" lines
        for (int k = 0; k < 3; ++k)
            QVERIFY2(history(k, n) == Samples(n + 1, 0), "samples survived the reset");
    }
};

QTEST_GUILESS_MAIN(TestSaveUnit)
#include "tst_saveunit.moc"
