// Sample text is printf's "%.3f"; a recording and a CSV export are laid out line by line as
// the format says, also across blocks; and the buffered reader finds what a plain reading with
// one 19-byte readLine per line finds, whatever the file holds.
#include "recordingfile.h"

#include <QtTest>

#include <cmath>
#include <cstdio>

using namespace recording;
using Log = QVector<float>; // the counts, then each section's samples, low and high

// A file that is no recording logs nothing; one that ends early logs what it held, then
// zeros up to the count kept of the first section.
Log plainReading(const QString &path, qint64 capacity)
{
    QFile file(path);
    char buf[20]; // pieces of at most 19 bytes, and the terminator
    bool ok = file.open(QIODevice::ReadOnly);
    bool atEnd = false;
    auto line = [&] {
        const bool got = file.readLine(buf, sizeof buf) > 0;
        atEnd = atEnd || !got;
        return got ? QString(buf) : QString();
    };
    const qint64 count = line().trimmed().toLongLong(&ok);
    if (!ok || count < 0 || line().trimmed() != "[Position]")
        return {};
    Log log;
    qint64 kept = std::min(count, capacity);
    for (int k = 0; k < 3; ++k) {
        float low = 0, high = 0;
        if (k > 0)
            line();
        qint64 i = 0;
        for (; i < count && !atEnd; ++i) {
            float v = line().toFloat(&ok);
            if (atEnd)
                break;
            v = ok && std::isfinite(v) ? v : 0.f;
            if (i < capacity)
                log << v, low = std::min(low, v), high = std::max(high, v);
        }
        if (k == 0)
            kept = std::min(i, kept);
        for (qint64 j = std::min(i, kept); j < kept; ++j)
            log << 0.f;
        log << low << high;
    }
    return log << float(count) << float(kept);
}

// Lines that are samples or up to 44 random tokens, line feeds and zero bytes among them.
QByteArray randomLines(int count)
{
    QRandomGenerator rng(11);
    static const char words[] = "0|1|2|3|4|5|6|7|8|9|.|-|+|e|E|nan|inf|x|0x| |\t|\r|\n|\xc2\xa0|"
                                "\xe2\x80\x83|\xff|\x01|1e39|\0";
    const QList<QByteArray> tokens = QByteArray(words, sizeof words - 1).split('|');
    QByteArray bytes = QByteArray::number(count) + "\n[Position]\n";
    for (int line = 0; line < 3 * count + 2; ++line) {
        if (rng.bounded(2))
            bytes += QByteArray::number(rng.bounded(2000.0) - 1000.0, 'f', rng.bounded(6));
        else
            for (int i = rng.bounded(45); i > 0; --i)
                bytes += tokens[rng.bounded(tokens.size())];
        bytes += '\n';
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
        QTest::newRow("short; inf, NaN, long line")
            << QByteArray(" 4 \r\n[Position]\n1.5\ninf\n\n-123456.7890123456789\n[V]\nnan\n5")
            << INT_MAX;
        // Samples past the capacity are consumed, and count in no range.
        QTest::newRow("cut at the capacity")
            << QByteArray("3\n[Position]\n1\n2\n9\n[V]\n-1\n-2\n-9\n[C]\n1\n2\n3\n") << 2;
        QTest::newRow("no room") << QByteArray("2\n[Position]\n1\n2\n[V]\n3\n4\n") << 0;
        // Megabytes of lines, so that pieces straddle every buffer refill.
        QTest::newRow("random text cut") << randomLines(400000) << 300000;
    }

    void readerMatchesPlainReading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, capacity);
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(bytes) == bytes.size() && file.flush());
        m_log.clear();
        loadRecording(file.fileName(), capacity, *this);
        QCOMPARE(m_log, plainReading(file.fileName(), capacity));
    }
};

QTEST_GUILESS_MAIN(TestRecordingFormat)
#include "tst_recordingformat.moc"
