// The recording worker writes the histories byte for byte in the text format, reads
// files back into the histories without storing past them, names the file and the
// reason of every failure instead of reporting success, and never lets a connect
// reset land in the middle of a save or a read.
#include "motorstate.h"
#include "saveunit.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using Samples = QVector<float>;

namespace {

void setHistories(const Samples &position, const Samples &velocity, const Samples &current)
{
    QMutexLocker lock(&stateMutex);
    const Samples *all[3] = {&position, &velocity, &current};
    for (int k = 0; k < 3; ++k)
        std::copy(all[k]->begin(), all[k]->end(), motorState.histories[k].data());
    motorState.sampleCount = position.size();
}

Samples history(int k, int n)
{
    QMutexLocker lock(&stateMutex);
    return Samples(motorState.histories[k].data(), motorState.histories[k].data() + n);
}

int sampleCount()
{
    QMutexLocker lock(&stateMutex);
    return motorState.sampleCount;
}

QStringList texts(const QSignalSpy &spy)
{
    QStringList list;
    for (const QList<QVariant> &args : spy)
        list << args.at(0).toString();
    return list;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestSaveUnit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(prepareMotorState(QDir::tempPath())); }
    void init() { connectReset(); }
    void savesExactBytes();
    void roundTripRestoresRoundedSamples();
    void progressTexts_data();
    void progressTexts();
    void failuresAreReported_data();
    void failuresAreReported();
    void connectResetWaitsForOperation_data();
    void connectResetWaitsForOperation();

private:
    QString write(const QByteArray &bytes, const char *name = "given.txt");
    QTemporaryDir m_dir;
};

QString TestSaveUnit::write(const QByteArray &bytes, const char *name)
{
    const QString path = m_dir.filePath(QLatin1String(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// No samples give exactly four lines; samples are written with three decimals; a
// longer file of the same name is replaced.
void TestSaveUnit::savesExactBytes()
{
    const QString path = write(QByteArray(4096, 'x'));
    SaveUnit unit;
    unit.saveToTxt(path);
    QCOMPARE(contents(path), QByteArray("0\n[Position]\n[Velocity]\n[Current]\n"));
    setHistories({1.5f, -2.25f, 0.125f}, {95.5f, -0.0001f, 0}, {-40, 40, 1234.5678f});
    unit.saveToTxt(path);
    QCOMPARE(contents(path), QByteArray("3\n[Position]\n1.500\n-2.250\n0.125\n[Velocity]\n95.500\n"
                                        "-0.000\n0.000\n[Current]\n-40.000\n40.000\n1234.568\n"));
}

// Save then read gives every sample rounded to 3 decimals, the count, ranges that
// include 0, and zeros where a longer earlier recording had samples.
void TestSaveUnit::roundTripRestoresRoundedSamples()
{
    const int n = 20000;
    Samples values[3];
    QRandomGenerator rng(3);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < n; ++i)
            values[k] << float(rng.bounded(200.0) - (k == 2 ? 0.0 : 100.0));
    setHistories(values[0], values[1], values[2]);
    SaveUnit unit;
    unit.setFile(m_dir.filePath(QStringLiteral("round.txt")));
    unit.saveToTxt(QString());
    setHistories(Samples(n + 10, 7), Samples(n + 10, 7), Samples(n + 10, 7));
    QSignalSpy repaint(&unit, &SaveUnit::uiRepaint);
    unit.readFromTxt(QString());
    QCOMPARE(repaint.count(), 1);
    QCOMPARE(sampleCount(), n);
    float range[3][2] = {};
    for (int k = 0; k < 3; ++k) {
        Samples want = values[k];
        for (float &v : want) {
            char text[32];
            std::snprintf(text, sizeof text, "%.3f", double(v));
            v = std::strtof(text, nullptr);
            range[k][0] = std::min(range[k][0], v);
            range[k][1] = std::max(range[k][1], v);
        }
        QCOMPARE(history(k, n + 10), want + Samples(10, 0));
    }
    QMutexLocker lock(&stateMutex);
    const MotorState &s = motorState;
    QCOMPARE(
        (Samples{s.decodePositionMin, s.decodePositionMax, s.decodeVelocityMin, s.decodeVelocityMax,
                 s.decodeCurrentMin, s.decodeCurrentMax}),
        (Samples{range[0][0], range[0][1], range[1][0], range[1][1], range[2][0], range[2][1]}));
}

void TestSaveUnit::progressTexts_data()
{
    QTest::addColumn<bool>("reading");
    QTest::newRow("save") << false;
    QTest::newRow("read") << true;
}

// With 12,000 samples each section reports 3 steps of its 33 points, then 100.
void TestSaveUnit::progressTexts()
{
    QFETCH(bool, reading);
    const QString path = m_dir.filePath(QStringLiteral("progress.txt"));
    setHistories(Samples(12000, 1), Samples(12000, 2), Samples(12000, 3));
    SaveUnit unit;
    unit.saveToTxt(path);
    QSignalSpy progress(&unit, &SaveUnit::configText);
    reading ? unit.readFromTxt(path) : unit.saveToTxt(path);
    QStringList want;
    for (const char *figure :
         {"0", "0", "13.75", "27.5", "33", "46.75", "60.5", "66", "79.75", "93.5", "100"})
        want << QStringLiteral("%1 %2 %").arg(reading ? "ReadFromTxt" : "SaveToTxt", figure);
    QCOMPARE(texts(progress), want);
}

void TestSaveUnit::failuresAreReported_data()
{
    QTest::addColumn<bool>("reading");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("samples");
    QTest::addColumn<QString>("message");
    const QString dir = m_dir.path();
    const QString full = QStringLiteral("Could not save to /dev/full: No space left on device");
    QTest::newRow("disk full at the end") << false << "/dev/full" << 0 << full;
    QTest::newRow("disk full midway") << false << "/dev/full" << 300000 << full;
    QTest::newRow("missing folder")
        << false << dir + "/no/x.txt" << 5
        << "Could not save to " + dir + "/no/x.txt: No such file or directory";
    QTest::newRow("missing file") << true << dir + "/absent.txt" << 5
                                  << "Could not read " + dir +
                                         "/absent.txt: No such file or directory";
    QTest::newRow("a folder") << true << dir << 5 << "Could not read " + dir + ": Is a directory";
    QTest::newRow("above capacity")
        << true << write("32000001\n[Position]\n1.5\n", "huge.txt") << historyCapacity
        << dir + "/huge.txt holds 32000001 samples per history; only the "
                 "first 32000000 were read.";
}

// A failed save or read names the file and the reason and never reports 100 %; a
// read that could not start leaves the histories as they were. A count above the
// histories' room keeps what fits and says so.
void TestSaveUnit::failuresAreReported()
{
    QFETCH(bool, reading);
    QFETCH(QString, path);
    QFETCH(int, samples);
    QFETCH(QString, message);
    const bool cut = samples == historyCapacity;
    if (!cut)
        setHistories(Samples(samples, 3), Samples(samples, 4), Samples(samples, 5));
    SaveUnit unit;
    QSignalSpy boxes(&unit, &SaveUnit::msgBox);
    QSignalSpy progress(&unit, &SaveUnit::configText);
    QSignalSpy repaint(&unit, &SaveUnit::uiRepaint);
    reading ? unit.readFromTxt(path) : unit.saveToTxt(path);
    QCOMPARE(texts(boxes), QStringList{message});
    QCOMPARE(sampleCount(), samples);
    if (cut) {
        QCOMPARE(history(0, 2), (Samples{1.5f, 0}));
        return;
    }
    const QStringList shown = texts(progress);
    QVERIFY2(!shown.join('|').contains("100 %"), qPrintable(shown.join('|')));
    if (!shown.isEmpty())
        QCOMPARE(shown.last(), QStringLiteral("SaveToTxt failed"));
    QCOMPARE(repaint.count(), 0);
    QCOMPARE(history(2, samples), Samples(samples, 5));
}

void TestSaveUnit::connectResetWaitsForOperation_data()
{
    QTest::addColumn<bool>("reading");
    QTest::newRow("save") << false;
    QTest::newRow("read") << true;
}

// A connect reset made while the worker thread saves or reads waits for it: the
// operation completes whole, and the reset leaves nothing of it behind.
void TestSaveUnit::connectResetWaitsForOperation()
{
    QFETCH(bool, reading);
    const int n = 2000000;
    setHistories(Samples(n, 12.5f), Samples(n, 13.5f), Samples(n, 14.5f));
    const QString path = m_dir.filePath(QStringLiteral("big.txt"));
    if (reading) {
        SaveUnit().saveToTxt(path);
        connectReset();
    }
    QThread thread;
    SaveUnit *unit = new SaveUnit;
    unit->moveToThread(&thread);
    const auto stop = qScopeGuard([&] {
        thread.quit();
        thread.wait();
        delete unit;
    });
    QMutex shownMutex;
    QString lastShown;
    connect(
        unit, &SaveUnit::configText, unit,
        [&](const QString &text) {
            QMutexLocker lock(&shownMutex);
            lastShown = text;
        },
        Qt::DirectConnection);
    auto shown = [&] {
        QMutexLocker lock(&shownMutex);
        return lastShown;
    };
    thread.start();
    QMetaObject::invokeMethod(unit, reading ? "readFromTxt" : "saveToTxt", Q_ARG(QString, path));
    QTRY_VERIFY_WITH_TIMEOUT(!shown().isEmpty(), 20000);
    connectReset();
    QVERIFY2(shown().endsWith(" 100 %"), "the reset returned before the operation ended");
    QCOMPARE(sampleCount(), 0);
    for (int k = 0; k < 3; ++k)
        QVERIFY2(history(k, n) == Samples(n, 0), "samples survived the reset");
    const QByteArray want = "2000000\n[Position]\n" + QByteArray("12.500\n").repeated(n) +
                            "[Velocity]\n" + QByteArray("13.500\n").repeated(n) + "[Current]\n" +
                            QByteArray("14.500\n").repeated(n);
    QVERIFY2(contents(path) == want, "the saved file is not the recording as it was");
}

QTEST_GUILESS_MAIN(TestSaveUnit)
#include "tst_saveunit.moc"
