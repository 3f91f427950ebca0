// A sample line is exactly what printf("%.3f") makes of the float widened to double,
// and the buffered reader finds the same count, samples (bit for bit) and ranges as a
// plain reading with one 19-byte readLine per line, whatever the file holds; when it
// has less room than the count, later sections still stay in step.
#include "recordingfile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <limits>

using namespace recording;
using Log = QVector<quint32>;

namespace {

quint32 bitsOf(float v)
{
    quint32 bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// Logs, in order: the counts, each section's samples, then its low and high.
class LogSink : public RecordingSink
{
public:
    Log log;
    void countRead(int fileCount, int storedCount) override { log << fileCount << storedCount; }
    void storeSamples(int, int, int count, const float *values) override
    {
        for (int i = 0; i < count; ++i)
            log << bitsOf(values[i]);
    }
    void sectionRead(int, float low, float high) override { log << bitsOf(low) << bitsOf(high); }
};

Log plainReading(const QString &path, int capacity)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    char buf[pieceLimit + 1];
    auto line = [&] {
        return file.readLine(buf, sizeof buf) > 0 ? QString::fromUtf8(buf) : QString();
    };
    bool ok = false;
    const int count = std::max(line().toInt(&ok, 10), 0);
    Log log{quint32(count), quint32(std::min(count, capacity))};
    for (int k = 0; k < sectionCount; ++k) {
        line();
        float low = 0, high = 0;
        for (int i = 0; i < count; ++i) {
            float v = line().toFloat(&ok);
            v = ok && std::isfinite(v) ? v : 0.f;
            if (i < capacity) {
                log << bitsOf(v);
                low = v <= low ? v : low;
                high = v >= high ? v : high;
            }
        }
        log << bitsOf(low) << bitsOf(high);
    }
    return log;
}

QByteArray randomLines(int count)
{
    QRandomGenerator rng(11);
    const char alphabet[] = "0123456789012345678901234567890123456789..--+eEnaifx \t\r\n";
    QByteArray bytes = QByteArray::number(count) + "\n[Position]\n";
    char text[sampleTextMax];
    for (int line = 0; line < 3 * count + 2; ++line) {
        if (rng.bounded(2)) {
            bytes.append(text, formatSample(float(rng.bounded(2000.0) - 1000.0), text));
        } else {
            for (int i = int(rng.bounded(45)); i > 0; --i)
                bytes += alphabet[rng.bounded(int(sizeof alphabet - 1))];
        }
        bytes += '\n';
    }
    return bytes;
}

} // namespace

class TestRecordingFormat : public QObject
{
    Q_OBJECT
private slots:
    void sampleTextMatchesPrintf();
    void readerMatchesPlainReading_data();
    void readerMatchesPlainReading();

private:
    QTemporaryDir m_dir;
};

// Ties, tiny and huge magnitudes, negative zero, non-finite values and random bit
// patterns all print as printf prints them.
void TestRecordingFormat::sampleTextMatchesPrintf()
{
    const float max = std::numeric_limits<float>::max();
    QVector<float> values = {
        95.5f,  -0.125f,        0.f,     -0.f, -0.0001f, 0.0625f,  -0.0625f,  0.0005f, 1.0005f,
        1e-45f, 9.00719925e15f, 1.8e16f, max,  -max,     INFINITY, -INFINITY, NAN,     -NAN};
    QRandomGenerator rng(7);
    for (int i = 0; i < 400000; ++i) {
        const quint32 bits = rng.generate();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        values << v << float(rng.bounded(200000.0) - 100000.0) << float(i - 200000) / 8192.f;
    }
    for (float v : values) {
        char want[128], got[sampleTextMax + 1];
        std::snprintf(want, sizeof want, "%.3f", double(v));
        got[formatSample(v, got)] = 0;
        QCOMPARE(QLatin1String(got), QLatin1String(want));
    }
}

void TestRecordingFormat::readerMatchesPlainReading_data()
{
    const int all = std::numeric_limits<int>::max();
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("capacity");
    QTest::newRow("crlf and blanks")
        << QByteArray(" 2 \r\n[P]\r\n 1.5\r\n\t-2.25 \r\n[V]\r\n7\r\n-0.000\r\n[C]\r\n9\r\n10")
        << all;
    QTest::newRow("long lines split")
        << QByteArray(
               "2\n[Position, a long header]\n1.50000000000000000001\n2\n[V]\n3\n4\n[C]\n5\n")
        << all;
    QTest::newRow("words and notations")
        << QByteArray("3\n[P]\nnan\ninf\n-inf\n[V]\n1e3\n+5\n0x10\n[C]\n.5\n5.\n1e39\n") << all;
    QTest::newRow("many digits")
        << QByteArray("3\n[P]\n123456789012345678\n0.1234567890123456\n-99999.9999999999\n") << all;
    QTest::newRow("empty lines, truncated") << QByteArray("4\n[P]\n\n\n-1\n\n[V]\n5\n") << all;
    static const char zeroByte[] = "2\n[P]\n1.5\0"
                                   "99\n\xc2\xa0"
                                   "2.5\n[V]\n\xe2\x80\x83-3\n4\xff\n";
    QTest::newRow("zero byte and utf-8") << QByteArray(zeroByte, sizeof zeroByte - 1) << all;
    QTest::newRow("count not a number") << QByteArray("three\n[P]\n1\n[V]\n2\n[C]\n3\n") << all;
    QTest::newRow("count negative") << QByteArray("-5\n[P]\n1\n[V]\n2\n[C]\n3\n") << all;
    QTest::newRow("count too wide") << QByteArray("2147483648\n[P]\n1\n") << all;
    QTest::newRow("count split") << QByteArray("                  12\n[P]\n1\n") << all;
    QTest::newRow("empty file") << QByteArray() << all;
    QTest::newRow("count above room")
        << QByteArray("5\n[P]\n1\n2\n-30\n4\n5\n[V]\n6\n7\n8\n9\n10\n") << 2;
    // Megabytes of random lines, so that pieces straddle every buffer refill.
    QTest::newRow("random text") << randomLines(400000) << all;
    QTest::newRow("random text cut") << randomLines(400000) << 300000;
}

void TestRecordingFormat::readerMatchesPlainReading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, capacity);
    const QString path = m_dir.filePath(QStringLiteral("recording.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    LogSink sink;
    const RecordingResult result = loadRecording(path, capacity, sink);
    QVERIFY(result.ok);
    QCOMPARE(sink.log, plainReading(path, capacity));
    QVERIFY(result.storedCount <= capacity);
}

QTEST_GUILESS_MAIN(TestRecordingFormat)
#include "tst_recordingformat.moc"
