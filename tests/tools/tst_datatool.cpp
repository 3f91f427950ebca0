// The conversion tool packs parameters into command payload bytes and back, forgivingly, within
// the Limits it last loaded.
#include "datatool.h"
#include "motorstate.h"

#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// Fills one side (unless `in` is empty), the parameters ("position velocity torque Kp Kd") for
// toCan or else the eight bytes, presses that side's button and returns the other side, all as
// text.
struct Tool : DataTool
{
    QDoubleSpinBox *spin(int i)
    {
        return findChild<QDoubleSpinBox *>(
            QString("ParaPos ParaVel ParaTor ParaKp ParaKd").section(' ', i, i));
    }
    QLineEdit *field(int i) { return findChild<QLineEdit *>(QStringLiteral("Can%1").arg(i + 1)); }
    QString convert(bool toCan, const QString &in)
    {
        for (int i = 0; i < (toCan ? 5 : 8) && !in.isEmpty(); ++i)
            toCan ? spin(i)->setValue(in.section(' ', i, i).toDouble())
                  : field(i)->setText(in.section(' ', i, i));
        findChild<QPushButton *>(toCan ? "btnToCan" : "btnToPara")->click();
        QStringList out;
        for (int i = 0; i < (toCan ? 8 : 5); ++i)
            out << (toCan ? field(i)->text() : QString::number(spin(i)->value()));
        return out.join(' ');
    }
};

class TestDataTool : public QObject
{
    Q_OBJECT
private slots:
    void converts_data()
    {
        // "parameters > bytes" packs, "parameters < bytes" reads the bytes.
        QTest::addColumn<QString>("row");
        for (const char *row : {
                 "1 2 0.5 10 1 > 81 56 85 a0 51 33 38 38",         // every field apart
                 "-95.5 -45 -18 1.25 0 > 00 00 00 00 0a 00 00 00", // two lowercase digits
                 "0 -0.01 0 0 0 < 7F FF 7F F0 00 00 07 FF", // any case; the boxes' two decimals
                 "95.5 45 18 500 5 < ff ff ff ff ff ff ff ff",
                 "-95.5 -45 -18 31.14 0 < 00 00 00 00 1ff 00 00 00", // only the low 8 bits count
                 "-95.5 -45 -18 0 0 < 1g  zz",                       // empty, or not wholly hex: 0
             })
            QTest::newRow(row) << QString::fromLatin1(row);
    }

    // Both directions start from parameters unlike every expected value.
    void converts()
    {
        QFETCH(QString, row);
        const QStringList side = row.split(QRegularExpression(" [<>] "));
        Tool tool;
        tool.convert(true, "50 20 5 250 2.5");
        const bool toCan = row.contains('>');
        QCOMPARE(tool.convert(toCan, side[!toCan]), side[toCan]);
    }

    // It opens on the payload of all-zero parameters. Out-of-Limits values go out as the nearest
    // limit, never as codes wider than two digits.
    void opensAndFollowsReloadedLimits()
    {
        Tool t;
        QCOMPARE(t.convert(false, QString()), "0 -0.01 0 0 0"); // as shown
        stateMutex.lock(); // the last test, so nothing is restored
        // Every range beyond the one the boxes open with on one side at least.
        limits = {100, 200, -50, 50, -30, 20, -40, 40, 600, 1000, 6, 7};
        stateMutex.unlock();
        QCOMPARE(t.convert(true, "95.5 45 18 500 5"), "00 00 f3 20 00 00 0f 5b");
        t.reloadLimits(); // the boxes now hold, and clamp to, the new ranges
        QCOMPARE(t.convert(false, "ff ff ff ff ff ff ff ff"), "200 50 20 1000 7");
        QCOMPARE(t.convert(false, "00 00 00 00 00 00 00 00"), "100 -50 -30 600 6");
    }
};

QTEST_MAIN(TestDataTool)
#include "tst_datatool.moc"
