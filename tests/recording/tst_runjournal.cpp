// The run journal keeps every stored sample on disk while the run goes on: what is read back
// is what was stored, a cut or damaged tail costs only the blocks it touches, a journal is
// offered only while no running instance holds it, and a disk that fails stops the journal
// with its reason instead of the run.
#include "runjournal.h"
#include "saveunit.h"

#include <QtTest>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// Collects what a journal holds: one text per sample, "time position velocity current".
struct Collect : journal::Sink
{
    QStringList got;
    void samples(qint64, int count, const char *t, const char *p, const char *v,
                 const char *c) override
    {
        const auto f = [](const char *column, int i) {
            return qFromLittleEndian<float>(column + 4 * i);
        };
        for (int i = 0; i < count; ++i)
            got << QString("%1 %2 %3 %4")
                       .arg(qFromLittleEndian<double>(t + 8 * i))
                       .arg(f(p, i))
                       .arg(f(v, i))
                       .arg(f(c, i));
    }
};

const double times[5] = {0.25, 0.5, 0.75, 1, 1.25};
const float values[3][5] = {{1.5f, -2.25f, 0.125f, 3, 4}, {-1, -2, -3, 5, 6}, {0, 1, 2, 7, 8}};

// A journal of 3 samples, new Limits (position up to 12.5), then 2 more: 132 header bytes, then
// blocks of 20 + 60, 20 + 96 and 20 + 40 bytes.
void writeReference(const QString &path)
{
    Limits later;
    later.positionMax = 12.5;
    journal::Writer w;
    journal::Header h;
    h.startMs = 1700000000000;
    h.baud = 921600;
    h.motorId = 7;
    QVERIFY(w.create(path, h));
    QVERIFY(w.appendSamples(0, 3, times, values[0], values[1], values[2]));
    QVERIFY(w.appendLimits(3, later));
    QVERIFY(w.appendSamples(3, 2, times + 3, values[0] + 3, values[1] + 3, values[2] + 3));
    QVERIFY(w.sync());
}

const QStringList written = {"0.25 1.5 -1 0", "0.5 -2.25 -2 1", "0.75 0.125 -3 2", "1 3 5 7",
                             "1.25 4 6 8"};

// Stores `n` samples where the decoder would, sample i being (i + 8) / 8 in every history.
void store(int from, int n)
{
    QMutexLocker lock(&stateMutex);
    for (int i = from; i < from + n; ++i) {
        motorState.timeHistory[std::size_t(i)] = i / 1000.0;
        for (History &h : motorState.histories)
            h[std::size_t(i)] = (i + 8) / 8.f;
    }
    motorState.sampleCount = from + n;
}
} // namespace

class TestRunJournal : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QThread m_thread;
    RunJournal *m_journal = nullptr;

    template <typename F> void onWriter(F f)
    {
        QMetaObject::invokeMethod(m_journal, f, Qt::BlockingQueuedConnection);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(prepareMotorState(QDir::tempPath()));
        m_journal = new RunJournal;
        m_journal->moveToThread(&m_thread);
        connect(&m_thread, &QThread::finished, m_journal, &QObject::deleteLater);
        m_thread.start();
    }
    void cleanupTestCase()
    {
        m_thread.quit();
        m_thread.wait();
    }

    // The check value of the CRC-32 every zip and PNG file uses.
    void crcIsTheCommonOne() { QCOMPARE(journal::crc32("123456789", 9), 0xCBF43926u); }

    // Bytes cut or flipped, at an offset; the samples kept and the bytes dropped, or why the
    // journal cannot be read at all.
    void damage_data()
    {
        QTest::addColumn<int>("cutTo");
        QTest::addColumn<int>("flipAt");
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("dropped");
        QTest::addColumn<QString>("error");
        QTest::newRow("whole") << 388 << -1 << 5 << 0 << "";
        QTest::newRow("cut in the last block") << 387 << -1 << 3 << 59 << "";
        QTest::newRow("flipped in the last block") << 388 << 340 << 3 << 60 << "";
        QTest::newRow("flipped in the limits block") << 388 << 240 << 3 << 176 << "";
        QTest::newRow("flipped in the first block") << 388 << 150 << 0 << 256 << "";
        QTest::newRow("header only") << 132 << -1 << 0 << 0 << "";
        QTest::newRow("later format") << 388 << 9 << 0 << 0
                                      << "it was written by a later version of Korvane "
                                         "(journal format 257)";
        QTest::newRow("damaged header") << 388 << 40 << 0 << 0 << "its header is damaged";
        QTest::newRow("no journal") << 388 << 0 << 0 << 0 << "it is not a run journal";
    }
    void damage()
    {
        QFETCH(int, cutTo);
        QFETCH(int, flipAt);
        QFETCH(int, samples);
        QFETCH(int, dropped);
        QFETCH(QString, error);
        const QString path = m_dir.filePath("damaged.kvj");
        writeReference(path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.size() == 388);
        QByteArray bytes = f.readAll().left(cutTo);
        if (flipAt >= 0)
            bytes[flipAt] = char(bytes[flipAt] ^ 1);
        QVERIFY(f.resize(0) && f.seek(0) && f.write(bytes) == bytes.size());
        f.close();
        Collect sink;
        const journal::Info info = journal::read(path, sink);
        QCOMPARE(info.error, error);
        QCOMPARE(sink.got, written.mid(0, samples));
        QCOMPARE(info.samples, sink.got.size());
        QCOMPARE(info.droppedBytes, dropped);
        if (info.readable) {
            const journal::Header &h = info.header;
            QCOMPARE(QString("%1 %2 %3").arg(h.startMs).arg(h.baud).arg(h.motorId),
                     "1700000000000 921600 7");
            QCOMPARE(info.limits.positionMax, samples < 3 || dropped >= 176 ? 95.5 : 12.5);
            if (flipAt < 0) // the scan does not check the blocks
                QCOMPARE(journal::scan(path).samples, info.samples);
        }
    }

    // The writer follows the histories on its own thread and makes a folder it needs; its
    // journal is not offered while it is held, and once let go it is offered and recovered
    // into the histories with the Limits the run ended with.
    void followsTheRunAndIsRecovered()
    {
        const QString folder = m_dir.filePath("state/journal");
        connectReset();
        store(0, 1000);
        onWriter([this, folder] { m_journal->begin(folder, 115200, 3); });
        store(1000, 70000); // more than a block
        {
            QMutexLocker lock(&stateMutex);
            limits.currentMin = -20;
        }
        onWriter([this] { m_journal->finish(); });
        const QString path = QDir(folder).filePath(QDir(folder).entryList({"*.kvj"}).value(0));
        QTRY_COMPARE(journal::scan(path).samples, 71000);
        QCOMPARE(journal::unheldJournals(folder).size(), 0u);
        onWriter([this] { m_journal->release(); });
        const std::vector<journal::Offer> offers = journal::unheldJournals(folder);
        QCOMPARE(offers.size(), 1u);
        QCOMPARE(offers[0].info.header.baud, 115200);

        connectReset();
        limits = Limits();
        SaveUnit unit;
        unit.recoverJournal(path);
        const MotorState &m = motorState; // ranges from 0, as a read recording's
        QCOMPARE(QString("%1 %2 %3 %4 %5 %6 %7 %8")
                     .arg(m.sampleCount)
                     .arg(limits.currentMin)
                     .arg(m.hasTimes)
                     .arg(m.timeHistory[70999])
                     .arg(m.histories[0][70999])
                     .arg(m.histories[2][70999])
                     .arg(m.decodeVelocityMin)
                     .arg(m.decodeCurrentMax),
                 "71000 -20 1 70.999 8875.88 8875.88 0 8875.88");
        onWriter([this, offers] { m_journal->adopt(offers[0].path, offers[0].lock); });
        onWriter([this] { m_journal->discard(); });
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // A run killed on a full disk is offered all the same, though no new lock file fits
    // beside the one its instance left.
    void offeredFromAFullDisk()
    {
        const QString folder = m_dir.filePath("full");
        const QByteArray mountPoint = QFile::encodeName(folder);
        if (!QDir().mkpath(folder) || mount("tmpfs", mountPoint, "tmpfs", 0, "size=64k") != 0)
            QSKIP("only root can mount a small file system");
        const QString path = folder + "/run-1.kvj";
        writeReference(path);
        // The lock of an instance that is gone: taken by a child process that then ends.
        const pid_t child = fork();
        if (child == 0) {
            QLockFile lock(path + ".lock");
            _exit(lock.tryLock(0) ? 0 : 1);
        }
        int status = -1;
        QVERIFY(child > 0 && waitpid(child, &status, 0) == child && status == 0);
        QFile filler(folder + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'x')) == 4096) {
        }
        std::vector<journal::Offer> offers = journal::unheldJournals(folder);
        QCOMPARE(offers.size(), 1u);
        QCOMPARE(offers[0].info.samples, 5);
        journal::remove(offers[0].path, offers[0].lock);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"filler"});
        umount2(mountPoint, MNT_DETACH);
    }

    // A folder that cannot be made, and a disk that fills, each stop the journal once.
    void faultsStopTheJournal_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no folder") << "/proc/korvane"
                                   << "cannot create /proc/korvane";
        QTest::newRow("full disk") << m_dir.filePath("tmpfs") << "No space left on device";
    }
    void faultsStopTheJournal()
    {
        QFETCH(QString, folder);
        QFETCH(QString, reason);
        const QByteArray tmpfs = QFile::encodeName(m_dir.filePath("tmpfs"));
        if (folder.endsWith("tmpfs") &&
            (!QDir().mkpath(folder) || mount("tmpfs", tmpfs, "tmpfs", 0, "size=64k") != 0))
            QSKIP("only root can mount a small file system");
        QSignalSpy stops(m_journal, &RunJournal::stopped);
        QVERIFY(stops.isValid());
        connectReset();
        onWriter([this, folder] { m_journal->begin(folder, 921600, 0); });
        store(0, 20000); // 400 kB
        QTRY_COMPARE(stops.size(), 1);
        QTest::qWait(600); // and no more
        QCOMPARE(QList<QVariantList>(stops), QList<QVariantList>{{reason}});
        onWriter([this] { m_journal->discard(); });
        umount2(tmpfs, MNT_DETACH);
    }
};

QTEST_GUILESS_MAIN(TestRunJournal)
#include "tst_runjournal.moc"
