// The conversion tool packs parameters into command payload bytes and back, forgivingly.
#include "datatool.h"
#include "motorstate.h"

#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using Values = QVector<double>; // position, velocity, torque, Kp, Kd

struct Tool : DataTool
{
    const char *const names[5] = {"ParaPos", "ParaVel", "ParaTor", "ParaKp", "ParaKd"};
    QDoubleSpinBox *spin(int i) { return findChild<QDoubleSpinBox *>(names[i]); }
    QLineEdit *field(int i) { return findChild<QLineEdit *>(QStringLiteral("Can%1").arg(i + 1)); }
    QString toCan(const Values &v)
    {
        QStringList bytes;
        for (int i = 0; i < 5; ++i)
            spin(i)->setValue(v[i]);
        findChild<QPushButton *>("btnToCan")->click();
        for (int i = 0; i < 8; ++i)
            bytes << field(i)->text();
        return bytes.join(' ');
    }
    Values toPara(const QString &bytes)
    {
        Values v;
        for (int i = 0; i < 8; ++i)
            field(i)->setText(bytes.split(' ').value(i));
        findChild<QPushButton *>("btnToPara")->click();
        for (int i = 0; i < 5; ++i)
            v << spin(i)->value();
        return v;
    }
};

class TestDataTool : public QObject
{
    Q_OBJECT
private slots:
    void converts_data()
    {
        QTest::addColumn<bool>("toCan");
        QTest::addColumn<Values>("values");
        QTest::addColumn<QString>("bytes");
        const Values zero{0, -0.01, 0, 0, 0}, low{-95.5, -45, -18, 0, 0},
            high{95.5, 45, 18, 500, 5};
        auto kp = [](double v) { return Values{-95.5, -45, -18, v, 0}; };
        QTest::newRow("zeros") << true << Values(5, 0) << "7f ff 7f f0 00 00 07 ff";
        QTest::newRow("lower limits") << true << low << "00 00 00 00 00 00 00 00";
        QTest::newRow("mixed") << true << Values{1, 2, 0.5, 10, 1} << "81 56 85 a0 51 33 38 38";
        QTest::newRow("two digits") << true << kp(1.25) << "00 00 00 00 0a 00 00 00";
        QTest::newRow("read zeros") << false << zero << "7f ff 7f f0 00 00 07 ff"; // 2 decimals
        QTest::newRow("upper case") << false << zero << "7F FF 7F F0 00 00 07 FF";
        QTest::newRow("all ones") << false << high << "ff ff ff ff ff ff ff ff";
        QTest::newRow("1A is 26") << false << kp(3.17) << "00 00 00 00 1A 00 00 00";
        QTest::newRow("not hex") << false << kp(0) << "00 00 00 00 zz 00 00 00";
        QTest::newRow("trailing junk") << false << kp(0) << "00 00 00 00 1g 00 00 00";
        QTest::newRow("empty fields") << false << low << "";
        QTest::newRow("1ff keeps ff") << false << kp(31.14) << "00 00 00 00 1ff 00 00 00";
    }

    // Both directions start from parameters unlike every expected value.
    void converts()
    {
        QFETCH(bool, toCan);
        QFETCH(Values, values);
        QFETCH(QString, bytes);
        Tool tool;
        tool.toCan({50, 20, 5, 250, 2.5});
        if (toCan)
            QCOMPARE(tool.toCan(values), bytes);
        else
            QCOMPARE(tool.toPara(bytes), values);
    }

    // Out-of-Limits values go out as the nearest limit, never as codes wider than two digits.
    void rangesFollowReloadedLimits()
    {
        Tool t;
        const Values high{95.5, 45, 18, 500, 5}, lo{100, -10, -30, 600, 1}, hi{200, 10, 10, 1e3, 2};
        QMutexLocker lock(&stateMutex); // the last test, so nothing is restored
        limits = {100, 200, -10, 10, -30, 10, -40, 40, 600, 1000, 1, 2};
        lock.unlock();
        QCOMPARE(t.toCan(high), QStringLiteral("00 00 ff f0 00 ff ff ff"));
        t.reloadLimits();
        for (int i = 0; i < 5; ++i)
            QCOMPARE(QPair(t.spin(i)->minimum(), t.spin(i)->maximum()), QPair(lo[i], hi[i]));
        QCOMPARE(t.toPara(QStringLiteral("ff ff ff ff ff ff ff ff")), hi);
        QCOMPARE(t.toPara(QStringLiteral("00 00 00 00 00 00 00 00")), lo);
    }
};

QTEST_MAIN(TestDataTool)
#include "tst_datatool.moc"
