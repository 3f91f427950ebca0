// Sample and time texts are printf's "%.3f" and "%.6f"; a recording and a CSV export are laid
// out line by line as the format says, also across blocks; and the buffered reader finds what a
// plain reading with one 19-byte readLine per line finds, whatever the file holds.
#include "recordingfile.h"

#include <QtTest>

#include <cmath>
#include <cstdio>

using namespace recording;
// Each section's samples, low and high; the counts; non-numbers; whether there are times, and
// then the times.
using Log = QVector<double>;

// A file that is no recording, or whose headers are not where its count puts them, logs
// nothing; one that ends early logs what it held, then zeros up to the count kept of the
// first section, and has no times.
Log plainReading(const QString &path, qint64 capacity)
{
    QFile file(path);
    char buf[20]; // pieces of at most 19 bytes, and the terminator
    bool ok = file.open(QIODevice::ReadOnly), ended = false;
    QStringList lines;
    while (file.readLine(buf, sizeof buf) > 0)
        lines << QString(buf);
    const qint64 count = lines.value(0).trimmed().toLongLong(&ok), size = lines.size();
    const QString headers[] = {"[Position]", "[Velocity]", "[Current]"};
    for (int k = 0; k < 3 && ok && count >= 0; ++k) {
        const qint64 at = 1 + k * (std::min(count, size) + 1);
        ok = (k > 0 && at >= size) || lines.value(at).trimmed() == headers[k];
    }
    if (!ok || count < 0)
        return {};
    Log log, times;
    qint64 kept = std::min(count, capacity), at = 1, notNumbers = 0;
    for (int k = 0; k < 3; ++k) {
        ended = ended || at++ >= size; // the header
        double low = 0, high = 0;
        qint64 i = 0;
        for (; i < count && !ended && at < size; ++i, ++at) {
            const float v = lines[at].toFloat(&ok);
            if (i >= capacity)
                continue;
            notNumbers += !ok || !std::isfinite(v);
            log << (ok && std::isfinite(v) ? v : 0.f);
            low = std::min(low, log.last()), high = std::max(high, log.last());
        }
        ended = ended || i < count;
        kept = k == 0 ? std::min(i, kept) : kept;
        for (qint64 j = std::min(i, kept); j < kept; ++j)
            log << 0.;
        log << low << high;
    }
    bool valid = !ended && lines.value(at++).trimmed() == "[Time]";
    for (qint64 i = 0; i < count && valid; ++i, ++at) {
        const double t = lines.value(at).toDouble(&ok);
        valid = at < size && (i >= kept || (ok && t >= times.value(i - 1, 0) && t <= 1e9));
        times << t;
    }
    return log << count << kept << notNumbers << valid << (valid ? times.mid(0, kept) : Log());
}

// A recording of `count` samples per section and their times, whose sample lines are random
// numbers or up to 18 bytes of random tokens, zero bytes and broken UTF-8 among them.
QByteArray randomLines(int count)
{
    QRandomGenerator rng(11);
    static const char words[] = "0|1|2|3|4|5|6|7|8|9|.|-|+|e|E|nan|inf|x|0x| |\t|\r|\xc2\xa0|"
                                "\xe2\x80\x83|\xff|\x01|1e39|\0";
    const QList<QByteArray> tokens = QByteArray(words, sizeof words - 1).split('|');
    const QByteArray headers[] = {"[Position]", "[Velocity]", "[Current]", "[Time]"};
    QByteArray bytes = QByteArray::number(count) + '\n';
    double t = 0;
    for (int line = 0; line < 4 * count + 4; ++line) {
        QByteArray text = QByteArray::number(rng.bounded(2000.0) - 1000.0, 'f', rng.bounded(6));
        for (int i = rng.bounded(2) * rng.bounded(12); i > 0 && line < 3 * count + 3; --i)
            text = (i % 2 ? text : QByteArray()) + tokens[rng.bounded(tokens.size())];
        if (line > 3 * count + 3)
            text = QByteArray::number(t += rng.bounded(3) / 1e3, 'f', 6);
        bytes += (line % (count + 1) == 0 ? headers[line / (count + 1)] : text.left(18)) + '\n';
    }
    return bytes;
}

// Sample i of section k is (i - 40000) / 8 + k, and its time (k = 3) i / 64 seconds; both are
// exact in a few decimals, so Qt's formatting gives their texts.
struct EighthsSource : RecordingSource
{
    bool times = false;
    static double value(qint64 i, int k) { return k < 3 ? (i - 40000) / 8.0 + k : i / 64.0; }
    static QByteArray text(qint64 i, int k)
    {
        return QByteArray::number(value(i, k), 'f', k < 3 ? 3 : 6);
    }
    void copySamples(int section, qint64 first, int count, float *out) override
    {
        for (int j = 0; j < count; ++j)
            out[j] = float(value(first + j, section));
    }
    bool hasTimes() override { return times; }
    void copyTimes(qint64 first, int count, double *out) override
    {
        for (int j = 0; j < count; ++j)
            out[j] = value(first + j, 3);
    }
};

class TestRecordingFormat : public QObject, RecordingSink
{
    Q_OBJECT
    Log m_log, m_times;
    bool m_hasTimes = false;
    void countRead(qint64 fileCount, qint64 storedCount) override
    {
        m_log << fileCount << storedCount;
    }
    void storeSamples(int, qint64, int n, const float *v) override { m_log += Log(v, v + n); }
    void sectionRead(int, float low, float high) override { m_log << low << high; }
    void storeTimes(qint64, int n, const double *t) override { m_times += Log(t, t + n); }
    void timesRead(bool valid) override { m_hasTimes = valid; }

private slots:
    // Ties, extreme magnitudes, negative zero, a subnormal and non-finite values; for times
    // also exact ties (odd multiples of 1/128 s), values beside ties and the largest ones.
    void textMatchesPrintf()
    {
        for (float v : {95.5f, -0.125f, -0.f, -0.0001f, 0.0625f, -0.0625f, 0.0005f, 1.0005f,
                        9.00719925e15f, 3.4028235e38f, -3.4028235e38f, 1e-45f, NAN, -INFINITY}) {
            char want[64], got[sampleTextMax + 1];
            std::snprintf(want, sizeof want, "%.3f", double(v));
            got[formatSample(v, got)] = 0;
            QCOMPARE(QLatin1String(got), QLatin1String(want));
        }
        QRandomGenerator rng(5);
        Log times{-0.0, 4e9, 3999999999.9999995, -5e9, 1e300, NAN};
        while (times.size() < 300000)
            times << (times.size() % 2 ? (rng.bounded(1 << 30) * 2 + 1) / 128.0
                                       : (rng.generate64() % (1ull << 52) + 0.5) / 1e6);
        for (double t : times) {
            char want[400], got[timeTextMax + 1];
            std::snprintf(want, sizeof want, "%.6f", t);
            got[formatTime(t, got)] = 0;
            QCOMPARE(QLatin1String(got), QLatin1String(want));
        }
    }

    void savedText_data()
    {
        QTest::addColumn<bool>("csv");
        QTest::addColumn<bool>("times");
        QTest::addColumn<int>("count");
        for (bool csv : {false, true})
            for (bool times : {false, true})
                for (int count : {0, 70000}) // more samples than a block holds
                    QTest::addRow("%s%s, %d", csv ? "CSV" : "recording", times ? " with times" : "",
                                  count)
                        << csv << times << count;
    }

    // A recording: the count, then each header and its samples, and with times the time
    // header and the times; an export: the header, then the index, the time (or nothing) and
    // the three samples on each row. Every line ends in a line feed.
    void savedText()
    {
        QFETCH(bool, csv);
        QFETCH(bool, times);
        QFETCH(int, count);
        QByteArray want = csv ? "sample,time_s,position_rad,velocity_rad_s,current_a\n"
                              : QByteArray::number(count) + '\n';
        const char *headers[] = {"[Position]\n", "[Velocity]\n", "[Current]\n", "[Time]\n"};
        for (int k = 0; k < 3 + times && !csv; ++k) {
            want += headers[k];
            for (int i = 0; i < count; ++i)
                want += EighthsSource::text(i, k) + '\n';
        }
        for (int i = 0; i < count && csv; ++i)
            want += QByteArray::number(i) + ',' + (times ? EighthsSource::text(i, 3) : "") + ',' +
                    EighthsSource::text(i, 0) + ',' + EighthsSource::text(i, 1) + ',' +
                    EighthsSource::text(i, 2) + '\n';
        QTemporaryDir dir;
        QFile file(dir.filePath("saved"));
        EighthsSource source;
        source.times = times;
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
        QTest::newRow("out of order") << QByteArray("1\n[Position]\n1\n[Current]\n2\n") << 9;
        // Times that are all there, from 0 to 1e9 s and never going back, and only those are
        // times; past the capacity they need only be there.
        for (const char *times : {"0\n1.5\n", " 1e9 \n1e9", "0\n", "0\nx\n", "2\n1\n", "0\n1e10\n",
                                  "-1\n0\n", "0\nnan\n", "0\n-1\n"})
            for (int capacity : {1, 2})
                QTest::addRow("times %s, %d", QByteArray(times).replace('\n', '|').data(), capacity)
                    << "2\n[Position]\n1\n2\n[Velocity]\n3\n4\n[Current]\n5\n6\n[Time]\n" +
                           QByteArray(times)
                    << capacity;
        // Megabytes of lines, so that pieces straddle every buffer refill.
        QTest::newRow("random text cut") << randomLines(200000) << 150000;
    }

    void readerMatchesPlainReading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, capacity);
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(bytes) == bytes.size() && file.flush());
        m_log.clear(), m_times.clear();
        const RecordingResult result = loadRecording(file.fileName(), capacity, *this);
        if (!m_log.isEmpty())
            m_log << double(result.notNumbers) << double(m_hasTimes)
                  << (m_hasTimes ? m_times : Log());
        QCOMPARE(m_log, plainReading(file.fileName(), capacity));
    }
};

QTEST_GUILESS_MAIN(TestRecordingFormat)
#include "tst_recordingformat.moc"
