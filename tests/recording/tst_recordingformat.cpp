// Sample text is printf's "%.3f"; a recording and a CSV export are laid out line by line as
// the format says, also across blocks; and the buffered reader finds what a plain reading with
// one 19-byte readLine per line finds, whatever the file holds.
#include "recordingfile.h"

#include <QtTest>

#include <cmath>
#include <cstdio>

using namespace recording;
using Log = QVector<double>; // each section's samples, low and high; the counts; non-numbers

// A file that is no recording, or whose headers are not where its count puts them, logs
// nothing; one that ends early logs what it held, then zeros up to the count kept of the
// first section.
Log plainReading(const QString &path, qint64 capacity)
{
    QFile file(path);
    char buf[20]; // pieces of at most 19 bytes, and the terminator
    bool ok = file.open(QIODevice::ReadOnly);
    QStringList lines;
    while (file.readLine(buf, sizeof buf) > 0)
        lines << QString(buf);
    const qint64 count = lines.value(0).trimmed().toLongLong(&ok);
    const qint64 size = lines.size();
    const QString headers[] = {"[Position]", "[Velocity]", "[Current]"};
    for (int k = 0; k < 3 && ok && count >= 0; ++k) {
        const qint64 at = 1 + k * (std::min(count, size) + 1);
        ok = (k > 0 && at >= size) || lines.value(at).trimmed() == headers[k];
    }
    if (!ok || count < 0)
        return {};
    Log log;
    qint64 kept = std::min(count, capacity), at = 2, notNumbers = 0;
    for (int k = 0; k < 3; ++k, ++at) {
        double low = 0, high = 0;
        qint64 i = 0;
        for (; i < count && at < size; ++i, ++at) {
            float v = lines[at].toFloat(&ok);
            if (i >= capacity)
                continue;
            notNumbers += !ok || !std::isfinite(v);
            v = ok && std::isfinite(v) ? v : 0.f;
            log << v, low = std::min<double>(low, v), high = std::max<double>(high, v);
        }
        if (k == 0)
            kept = std::min(i, kept);
        for (qint64 j = std::min(i, kept); j < kept; ++j)
            log << 0.;
        log << low << high;
    }
    return log << count << kept << notNumbers;
}

// A recording of `count` samples per section, in order, whose sample lines are random numbers
// or up to 18 bytes of random tokens, zero bytes and broken UTF-8 among them.
QByteArray randomLines(int count)
{
    QRandomGenerator rng(11);
    static const char words[] = "0|1|2|3|4|5|6|7|8|9|.|-|+|e|E|nan|inf|x|0x| |\t|\r|\xc2\xa0|"
                                "\xe2\x80\x83|\xff|\x01|1e39|\0";
    const QList<QByteArray> tokens = QByteArray(words, sizeof words - 1).split('|');
    QByteArray bytes = QByteArray::number(count) + '\n';
    for (int line = 0; line < 3 * count + 3; ++line) {
        QByteArray text = QByteArray::number(rng.bounded(2000.0) - 1000.0, 'f', rng.bounded(6));
        if (rng.bounded(2)) {
            text.clear();
            for (int i = rng.bounded(12); i > 0; --i)
                text += tokens[rng.bounded(tokens.size())];
            text.truncate(18);
        }
        const QByteArray headers[] = {"[Position]", "[Velocity]", "[Current]"};
        bytes += (line % (count + 1) == 0 ? headers[line / (count + 1)] : text) + '\n';
    }
    return bytes;
}

// Sample i of section k is m / 8 for m = eighths(i, k), whose text is exact: m / 8, a point
// and m % 8 * 125.
struct EighthsSource : RecordingSource
{
    static int eighths(qint64 i, int k) { return int((i * 37 + k * 1001) % 16001) - 8000; }
    static QByteArray text(qint64 i, int k)
    {
        const int m = eighths(i, k);
        return QString::asprintf("%s%d.%03d", m < 0 ? "-" : "", std::abs(m) / 8,
                                 std::abs(m) % 8 * 125)
            .toLatin1();
    }
    void copySamples(int section, qint64 first, int count, float *out) override
    {
        for (int j = 0; j < count; ++j)
            out[j] = eighths(first + j, section) / 8.0f;
    }
};

class TestRecordingFormat : public QObject, RecordingSink
{
    Q_OBJECT
    Log m_log;
    void countRead(qint64 fileCount, qint64 storedCount) override
    {
        m_log << fileCount << storedCount;
    }
    void storeSamples(int, qint64, int n, const float *v) override { m_log += Log(v, v + n); }
    void sectionRead(int, float low, float high) override { m_log << low << high; }

private slots:
    // Ties, extreme magnitudes, negative zero, a subnormal and non-finite values.
    void sampleTextMatchesPrintf()
    {
        for (float v : {95.5f, -0.125f, -0.f, -0.0001f, 0.0625f, -0.0625f, 0.0005f, 1.0005f,
                        9.00719925e15f, 3.4028235e38f, -3.4028235e38f, 1e-45f, NAN, -INFINITY}) {
            char want[64], got[sampleTextMax + 1];
            std::snprintf(want, sizeof want, "%.3f", double(v));
            got[formatSample(v, got)] = 0;
            QCOMPARE(QLatin1String(got), QLatin1String(want));
        }
    }

    void savedText_data()
    {
        QTest::addColumn<bool>("csv");
        QTest::addColumn<int>("count");
        for (bool csv : {false, true})
            for (int count : {0, 70000}) // more samples than a block holds
                QTest::addRow("%s, %d", csv ? "CSV" : "recording", count) << csv << count;
    }

    // A recording: the count, then each header and its samples; an export: the header, then
    // the index and the three samples on each row. Every line ends in a line feed.
    void savedText()
    {
        QFETCH(bool, csv);
        QFETCH(int, count);
        QByteArray want = csv ? "sample,position_rad,velocity_rad_s,current_a\n"
                              : QByteArray::number(count) + '\n';
        const char *headers[] = {"[Position]\n", "[Velocity]\n", "[Current]\n"};
        for (int k = 0; k < 3 && !csv; ++k) {
            want += headers[k];
            for (int i = 0; i < count; ++i)
                want += EighthsSource::text(i, k) + '\n';
        }
        for (int i = 0; i < count && csv; ++i)
            want += QByteArray::number(i) + ',' + EighthsSource::text(i, 0) + ',' +
                    EighthsSource::text(i, 1) + ',' + EighthsSource::text(i, 2) + '\n';
        QTemporaryDir dir;
        QFile file(dir.filePath("saved"));
        EighthsSource source;
        const RecordingResult result = csv ? saveCsv(file.fileName(), count, source)
                                           : saveRecording(file.fileName(), count, source);
        QVERIFY(result.ok && result.error.isEmpty() && file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == want, "the text differs");
    }

    void readerMatchesPlainReading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("capacity");
        // Non-numbers count as 0, also among the range; a long line is two samples.
        QTest::newRow("short, non-numbers, long line")
            << QByteArray(" 4 \r\n[Position]\n1.5\ninf\n-123456.7890123456789\n[Velocity]\nnan\n"
                          "-Infinity\n\n5")
            << INT_MAX;
        // Samples past the capacity are consumed, and count in no range.
        QTest::newRow("cut at the capacity")
            << QByteArray("3\n[Position]\n1\n2\n9\n[Velocity]\n-1\n-2\n-9\n[Current]\n1\n2\n3\n")
            << 2;
        QTest::newRow("no room") << QByteArray("2\n[Position]\n1\n2\n[Velocity]\n3\n4\n") << 0;
        QTest::newRow("out of order") << QByteArray("1\n[Position]\n1\n[Current]\n2\n") << 9;
        // Megabytes of lines, so that pieces straddle every buffer refill.
        QTest::newRow("random text cut") << randomLines(200000) << 150000;
    }

    void readerMatchesPlainReading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, capacity);
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(bytes) == bytes.size() && file.flush());
        m_log.clear();
        const RecordingResult result = loadRecording(file.fileName(), capacity, *this);
        if (!m_log.isEmpty())
            m_log << double(result.notNumbers);
        QCOMPARE(m_log, plainReading(file.fileName(), capacity));
    }
};

QTEST_GUILESS_MAIN(TestRecordingFormat)
#include "tst_recordingformat.moc"
