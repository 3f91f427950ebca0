// The conversion tool turns parameters into the exact payload bytes that a command
// would carry and back, reads the byte fields forgivingly (any case, junk as 0, low
// 8 bits only), and never shows a byte as anything but two lowercase hex digits,
// even after the Limits have changed.
#include "datatool.h"
#include "motorstate.h"

#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestDataTool : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opensShowingZeroParameters();
    void parametersToBytes_data();
    void parametersToBytes();
    void bytesToParameters_data();
    void bytesToParameters();
    void clampsToLimitsChangedSinceLastReload();
    void rangesFollowReloadedLimits();

private:
    QDoubleSpinBox *spin(const char *name) const
    {
        return m_tool->findChild<QDoubleSpinBox *>(QLatin1String(name));
    }
    void click(const char *name) const
    {
        m_tool->findChild<QPushButton *>(QLatin1String(name))->click();
    }
    void setParameters(const QVector<double> &values) const;
    QVector<double> parameters() const;
    void setBytes(const QString &text) const;
    QString bytes() const;

    DataTool *m_tool = nullptr;
};

namespace {
const char *const paraNames[] = {"ParaPos", "ParaVel", "ParaTor", "ParaKp", "ParaKd"};

void setLimits(const Limits &l)
{
    QMutexLocker lock(&stateMutex);
    limits = l;
}
} // namespace

void TestDataTool::init()
{
    setLimits(Limits());
    m_tool = new DataTool;
}

void TestDataTool::cleanup()
{
    delete m_tool;
    m_tool = nullptr;
    setLimits(Limits());
}

// Values in the order position, velocity, torque, Kp, Kd.
void TestDataTool::setParameters(const QVector<double> &values) const
{
    for (int i = 0; i < 5; ++i)
        spin(paraNames[i])->setValue(values[i]);
}

QVector<double> TestDataTool::parameters() const
{
    QVector<double> values;
    for (const char *name : paraNames)
        values << spin(name)->value();
    return values;
}

void TestDataTool::setBytes(const QString &text) const
{
    const QStringList parts = text.split(QLatin1Char(' '));
    for (int i = 0; i < 8; ++i)
        m_tool->findChild<QLineEdit *>(QStringLiteral("Can%1").arg(i + 1))->setText(parts.value(i));
}

QString TestDataTool::bytes() const
{
    QStringList parts;
    for (int i = 0; i < 8; ++i)
        parts << m_tool->findChild<QLineEdit *>(QStringLiteral("Can%1").arg(i + 1))->text();
    return parts.join(QLatin1Char(' '));
}

// The dialog opens with the payload of all-zero parameters already shown.
void TestDataTool::opensShowingZeroParameters()
{
    QCOMPARE(m_tool->windowTitle(), QStringLiteral("Korvane DataToolWindow"));
    QCOMPARE(m_tool->size(), QSize(400, 300));
    QCOMPARE(parameters(), QVector<double>({0, 0, 0, 0, 0}));
    QCOMPARE(bytes(), QStringLiteral("7f ff 7f f0 00 00 07 ff"));
}

void TestDataTool::parametersToBytes_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zeros") << QVector<double>{0, 0, 0, 0, 0}
                           << QStringLiteral("7f ff 7f f0 00 00 07 ff");
    QTest::newRow("lower limits") << QVector<double>{-95.5, -45, -18, 0, 0}
                                  << QStringLiteral("00 00 00 00 00 00 00 00");
    QTest::newRow("upper limits") << QVector<double>{95.5, 45, 18, 500, 5}
                                  << QStringLiteral("ff ff ff ff ff ff ff ff");
    QTest::newRow("mixed") << QVector<double>{1, 2, 0.5, 10, 1}
                           << QStringLiteral("81 56 85 a0 51 33 38 38");
    QTest::newRow("small byte keeps its zero")
        << QVector<double>{-95.5, -45, -18, 1.25, 0} << QStringLiteral("00 00 00 00 0a 00 00 00");
}

// PARA -> CAN packs the same payload as a command frame would.
void TestDataTool::parametersToBytes()
{
    QFETCH(QVector<double>, values);
    QFETCH(QString, expected);
    setParameters(values);
    click("btnToCan");
    QCOMPARE(bytes(), expected);
}

void TestDataTool::bytesToParameters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<bool>("roundTrips");
    const QVector<double> lower{-95.5, -45, -18, 0, 0};
    auto kp = [&](double v) { return QVector<double>{-95.5, -45, -18, v, 0}; };
    QTest::newRow("zeros, rounded to two decimals")
        << QStringLiteral("7f ff 7f f0 00 00 07 ff") << QVector<double>{0, -0.01, 0, 0, 0} << true;
    QTest::newRow("upper case") << QStringLiteral("7F FF 7F F0 00 00 07 FF")
                                << QVector<double>{0, -0.01, 0, 0, 0} << true;
    QTest::newRow("all ones") << QStringLiteral("ff ff ff ff ff ff ff ff")
                              << QVector<double>{95.5, 45, 18, 500, 5} << true;
    QTest::newRow("all zero") << QStringLiteral("00 00 00 00 00 00 00 00") << lower << true;
    QTest::newRow("1A is 26") << QStringLiteral("00 00 00 00 1A 00 00 00") << kp(3.17) << false;
    QTest::newRow("not hex") << QStringLiteral("00 00 00 00 zz 00 00 00") << kp(0) << false;
    QTest::newRow("trailing junk") << QStringLiteral("00 00 00 00 1g 00 00 00") << kp(0) << false;
    QTest::newRow("empty fields") << QString() << lower << false;
    QTest::newRow("1ff keeps ff") << QStringLiteral("00 00 00 00 1ff 00 00 00") << kp(31.14)
                                  << false;
}

// CAN -> PARA decodes each field over its Limit pair, as the spin boxes show it.
void TestDataTool::bytesToParameters()
{
    QFETCH(QString, text);
    QFETCH(QVector<double>, values);
    QFETCH(bool, roundTrips);
    setParameters({50, 20, 5, 250, 2.5});
    setBytes(text);
    click("btnToPara");
    QCOMPARE(parameters(), values);
    if (roundTrips) {
        click("btnToCan");
        QCOMPARE(bytes(), text.toLower());
    }
}

// A value the spin box still allows but the Limits no longer do is sent as the
// nearest limit, not wrapped into some other code.
void TestDataTool::clampsToLimitsChangedSinceLastReload()
{
    setParameters({95, 40, 17, 400, 4});
    Limits narrower;
    narrower.positionMax = 50.5;
    narrower.velocityMax = 30;
    narrower.torqueMax = 10;
    narrower.kpMax = 300;
    narrower.kdMax = 3;
    setLimits(narrower);
    click("btnToCan");
    QCOMPARE(bytes(), QStringLiteral("ff ff ff ff ff ff ff ff"));
}

// After reloadLimits the spin boxes span the new Limits, so the full payload range
// reads back as the new bounds and every field stays two digits.
void TestDataTool::rangesFollowReloadedLimits()
{
    setParameters({95.5, 45, 18, 500, 5});
    Limits wider;
    wider.positionMin = -12.5;
    wider.positionMax = 200;
    wider.velocityMin = -10;
    wider.velocityMax = 10;
    wider.torqueMin = -30;
    wider.torqueMax = 30;
    wider.kpMin = 10;
    wider.kpMax = 1000;
    wider.kdMin = 1;
    wider.kdMax = 2;
    setLimits(wider);
    m_tool->reloadLimits();

    const double mins[] = {-12.5, -10, -30, 10, 1};
    const double maxs[] = {200, 10, 30, 1000, 2};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(spin(paraNames[i])->minimum(), mins[i]);
        QCOMPARE(spin(paraNames[i])->maximum(), maxs[i]);
    }
    // Values left outside the narrowed ranges were pulled in.
    QCOMPARE(parameters(), QVector<double>({95.5, 10, 18, 500, 2}));
    click("btnToCan");
    for (const QString &field : bytes().split(QLatin1Char(' ')))
        QVERIFY2(field.size() == 2, qPrintable(bytes()));

    setBytes(QStringLiteral("ff ff ff ff ff ff ff ff"));
    click("btnToPara");
    QCOMPARE(parameters(), QVector<double>({200, 10, 30, 1000, 2}));
    setBytes(QStringLiteral("00 00 00 00 00 00 00 00"));
    click("btnToPara");
    QCOMPARE(parameters(), QVector<double>({-12.5, -10, -30, 10, 1}));
}

QTEST_MAIN(TestDataTool)
#include "tst_datatool.moc"
