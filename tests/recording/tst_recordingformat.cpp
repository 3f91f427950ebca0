// A recording and a CSV export are laid out line by line as the format says, also across
// blocks, with printf's "%.3f" for samples and "%.6f" for times; and the buffered reader finds what
// a plain reading with one 19-byte readLine per line finds, whatever the file holds.
#include "recordingfile.h"

#include <QtTest>

#include <cmath>
#include <cstdio>

using namespace recording;
// Each section's samples, low and high; the counts; non-numbers; whether there are times, and
// then the times.
using Log = QVector<double>;
const QByteArray headers[] = {"[Position]", "[Velocity]", "[Current]", "[Time]"};

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
        lines << QString(buf).trimmed();
    const qint64 count = lines.value(0).toLongLong(&ok), size = lines.size();
    for (qint64 k = 0, at = 1; k < 3 && ok && count >= 0; ++k, at += std::min(count, size) + 1)
        ok = (k > 0 && at >= size) || lines.value(at) == headers[k];
    if (!ok || count < 0)
        return {};
    Log log, times;
    qint64 kept = std::min(count, capacity), at = 1, notNumbers = 0, i;
    for (int k = 0; k < 3; ++k) {
        ended = ended || at++ >= size; // the header
        double low = 0, high = 0;
        for (i = 0; i < count && !ended && at < size; ++i, ++at) {
            const float v = lines[at].toFloat(&ok);
            if (i >= capacity)
                continue;
            notNumbers += !(ok && std::isfinite(v));
            log << (ok && std::isfinite(v) ? v : 0.f);
            low = std::min(low, log.last()), high = std::max(high, log.last());
        }
        ended = ended || i < count;
        for (kept = k ? kept : std::min(i, kept); i < kept; ++i)
            log << 0.;
        log << low << high;
    }
    bool valid = !ended && lines.value(at++) == headers[3];
    for (i = 0; i < count && valid; ++i, ++at) {
        const double t = lines.value(at).toDouble(&ok);
        valid = at < size && (i >= kept || (ok && t >= times.value(i - 1) && t <= 1e9));
        times << t;
    }
    return log << count << kept << notNumbers << valid << (valid ? times.mid(0, kept) : Log());
}

// Sample i of section k is an eighth, or every fifth one an awkward float (a tie, a negative
// zero, a subnormal, a non-finite value, and where texts may be wide an extreme); time i (k = 3)
// an exact tie (an odd multiple of 1/128 s) or a value beside a tie, and where texts may be wide
// first the largest ones. Their texts are printf's.
double awkward(qint64 i, int k, bool wide)
{
    static const float samples[] = {
        95.5f,   -0.125f, -0.f, -0.0001f,  0.0625f,        -0.0625f,      0.0005f,
        1.0005f, 1e-45f,  NAN,  -INFINITY, 9.00719925e15f, 3.4028235e38f, -3.4028235e38f};
    static const double times[] = {-0.0, 4e9, 3999999999.9999995, -5e9, 1e300, NAN};
    if (k < 3)
        return i % 5 ? (i - 40000) / 8.0 + k : samples[i / 5 % (wide ? 14 : 11)];
    return i < 6 && wide ? times[i] : i % 2 ? (i * 15625 + 0.5) / 1e6 : (2 * i + 1) / 128.0;
}

QByteArray awkwardText(qint64 i, int k, bool wide)
{
    char text[400];
    std::snprintf(text, sizeof text, k < 3 ? "%.3f" : "%.6f", awkward(i, k, wide));
    return text;
}

class TestRecordingFormat : public QObject, RecordingSource, RecordingSink
{
    Q_OBJECT
    Log m_log, m_times;
    bool m_hasTimes = false, m_withTimes = false, m_wide = false;
    void copySamples(int k, qint64 first, int n, float *out) override
    {
        for (int j = 0; j < n; ++j)
            out[j] = float(awkward(first + j, k, m_wide));
    }
    bool hasTimes() override { return m_withTimes; }
    void copyTimes(qint64 first, int n, double *out) override
    {
        for (int j = 0; j < n; ++j)
            out[j] = awkward(first + j, 3, m_wide);
    }
    void countRead(qint64 fileCount, qint64 kept) override { m_log << fileCount << kept; }
    void storeSamples(int, qint64, int n, const float *v) override { m_log += Log(v, v + n); }
    void sectionRead(int, float low, float high) override { m_log << low << high; }
    void storeTimes(qint64, int n, const double *t) override { m_times += Log(t, t + n); }
    void timesRead(bool valid) override { m_hasTimes = valid; }

    // What the reader finds in `path`, compared with the plain reading.
    void checkReading(const QString &path, qint64 capacity)
    {
        m_log.clear(), m_times.clear();
        const RecordingResult got = loadRecording(path, capacity, *this);
        if (!m_log.isEmpty())
            m_log << double(got.notNumbers) << double(m_hasTimes) << (m_hasTimes ? m_times : Log());
        QCOMPARE(m_log, plainReading(path, capacity));
    }

private slots:
    void savedText_data()
    {
        QTest::addColumn<int>("row"); // CSV, with times and with 140000 samples (over two blocks)
        for (int row = 0; row < 8; ++row)
            QTest::addRow("csv %d, times %d, long %d", row & 1, row >> 1 & 1, row >> 2) << row;
    }

    // A recording: the count, then each header and its samples, and with times the time
    // header and the times; an export: the header, then the index, the time (or nothing) and
    // the three samples on each row. Every line ends in a line feed.
    void savedText()
    {
        QFETCH(int, row);
        const int csv = m_wide = row & 1, times = m_withTimes = row & 2,
                  count = row & 4 ? 140000 : 0;
        QByteArray want = csv ? "sample,time_s,position_rad,velocity_rad_s,current_a\n"
                              : QByteArray::number(count) + '\n';
        for (int k = 0; k < 3 + times && !csv; ++k)
            for (int i = -1; i < count; ++i)
                want += (i < 0 ? headers[k] : awkwardText(i, k, csv)) + '\n';
        for (int i = 0; i < count && csv; ++i)
            want += QByteArray::number(i) + ',' + (times ? awkwardText(i, 3, csv) : "") + ',' +
                    awkwardText(i, 0, csv) + ',' + awkwardText(i, 1, csv) + ',' +
                    awkwardText(i, 2, csv) + '\n';
        QTemporaryDir dir;
        const QString path = dir.filePath("saved");
        const auto r = csv ? saveCsv(path, count, *this) : saveRecording(path, count, *this);
        QFile file(path);
        QVERIFY(r.ok && r.error.isEmpty() && file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == want, "the text differs");
        if (!csv) // megabytes of lines, so that pieces straddle every buffer refill
            checkReading(path, count * 3 / 4);
    }

    void readerMatchesPlainReading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("capacity");
        // Times that are all there, from 0 to 1e9 s and never going back, and only those are
        // times; past the capacity they need only be there.
        for (const char *times : {"0\n1.5\n", " 1e9 \n1e9", "0\n", "0\nx\n", "2\n1\n", "0\n1e10\n",
                                  "-1\n0\n", "0\nnan\n", "0\n-1\n"})
            for (int capacity : {1, 2})
                QTest::addRow("times %s, %d", QByteArray(times).replace('\n', '|').data(), capacity)
                    << "2\n[Position]\n1\n2\n[Velocity]\n3\n4\n[Current]\n5\n6\n[Time]\n" +
                           QByteArray(times)
                    << capacity;
        // Non-numbers are 0, also in the range, and are counted; texts near the plain shape go
        // the long way; a long line is two samples; past the capacity samples are consumed, and
        // count in no range.
        QTest::newRow("shapes") << QByteArray(" 12 \r\n[Position]\n1234567890123456789012\n+5\n"
                                              "1e2\n.5\n5.\n-\n1.2.3\n 7\n0x1\ninf\n\n[Velocity]\n"
                                              "nan\n-Infinity\n3")
                                << 10;
    }

    void readerMatchesPlainReading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, capacity);
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(bytes) == bytes.size() && file.flush());
        checkReading(file.fileName(), capacity);
    }
};

QTEST_GUILESS_MAIN(TestRecordingFormat)
#include "tst_recordingformat.moc"
