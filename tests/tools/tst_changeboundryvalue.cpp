// The limits dialog stores all twelve Limits at once and announces it exactly once,
// only after the lock is released; it never stores a pair whose minimum is not below
// its maximum, and its Apply button tells whether there is anything to apply.
#include "changeboundryvalue.h"
#include "motorstate.h"

#include <QDoubleSpinBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestChangeBoundryValue : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opensWithCurrentLimitsAndNothingToApply();
    void anyEditEnablesApply_data();
    void anyEditEnablesApply();
    void applyStoresAllAndReloadsOnce();
    void refusesEmptyOrReversedRange_data();
    void refusesEmptyOrReversedRange();

private:
    QDoubleSpinBox *spin(const QString &name) const
    {
        return m_dialog->findChild<QDoubleSpinBox *>(name);
    }
    QPushButton *apply() const
    {
        return m_dialog->findChild<QPushButton *>(QStringLiteral("btnApply"));
    }

    ChangeBoundryValue *m_dialog = nullptr;
};

namespace {
const char *const spinNames[] = {"spinPosMin", "spinPosMax", "spinVelMin", "spinVelMax",
                                 "spinTorMin", "spinTorMax", "spinCurMin", "spinCurMax",
                                 "spinKdMin",  "spinKdMax",  "spinKpMin",  "spinKpMax"};

Limits currentLimits()
{
    QMutexLocker lock(&stateMutex);
    return limits;
}

// The Limits in the order of spinNames.
QVector<double> asList(const Limits &l)
{
    return {l.positionMin, l.positionMax, l.velocityMin, l.velocityMax, l.torqueMin, l.torqueMax,
            l.currentMin,  l.currentMax,  l.kdMin,       l.kdMax,       l.kpMin,     l.kpMax};
}
} // namespace

void TestChangeBoundryValue::init()
{
    {
        QMutexLocker lock(&stateMutex);
        limits = Limits();
        limits.positionMax = 50;
    }
    m_dialog = new ChangeBoundryValue;
}

void TestChangeBoundryValue::cleanup()
{
    delete m_dialog;
    m_dialog = nullptr;
    QMutexLocker lock(&stateMutex);
    limits = Limits();
}

// Loading the Limits into the spin boxes is not an edit.
void TestChangeBoundryValue::opensWithCurrentLimitsAndNothingToApply()
{
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Korvane ChangeMaxMinWindow"));
    QCOMPARE(m_dialog->size(), QSize(356, 450));
    const QVector<double> expected = asList(currentLimits());
    for (int i = 0; i < 12; ++i)
        QCOMPARE(spin(QLatin1String(spinNames[i]))->value(), expected[i]);
    QVERIFY(!apply()->isEnabled());
    QCOMPARE(apply()->text(), QStringLiteral("No changed to apply"));
}

void TestChangeBoundryValue::anyEditEnablesApply_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : spinNames)
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Every spin box enables Apply, and editing a value back does not disable it.
void TestChangeBoundryValue::anyEditEnablesApply()
{
    QFETCH(QString, name);
    const double before = spin(name)->value();
    spin(name)->setValue(before + 0.25);
    spin(name)->setValue(before);
    QVERIFY(apply()->isEnabled());
    QCOMPARE(apply()->text(), QStringLiteral("Apply"));
}

// Apply copies every spin box into its Limit and emits once, with the mutex free.
void TestChangeBoundryValue::applyStoresAllAndReloadsOnce()
{
    const QVector<double> edited{-10.25, 10.5, -20, 21, -3, 4, -5, 6, 0.5, 7.75, 1, 900};
    for (int i = 0; i < 12; ++i)
        spin(QLatin1String(spinNames[i]))->setValue(edited[i]);

    QSignalSpy spy(m_dialog, &ChangeBoundryValue::MaxMinDataNeedReload);
    QVERIFY(spy.isValid());
    bool lockFree = false;
    QVector<double> seen;
    connect(m_dialog, &ChangeBoundryValue::MaxMinDataNeedReload, this, [&] {
        lockFree = stateMutex.tryLock();
        if (lockFree) {
            seen = asList(limits);
            stateMutex.unlock();
        }
    });
    apply()->click();

    QCOMPARE(spy.count(), 1);
    QVERIFY2(lockFree, "MaxMinDataNeedReload emitted while stateMutex was held");
    QCOMPARE(seen, edited);
    QCOMPARE(asList(currentLimits()), edited);
    QVERIFY(!apply()->isEnabled());
    QCOMPARE(apply()->text(), QStringLiteral("No change to apply"));
}

void TestChangeBoundryValue::refusesEmptyOrReversedRange_data()
{
    QTest::addColumn<QString>("minName");
    QTest::addColumn<QString>("maxName");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<QString>("message");
    auto row = [](const char *tag, const char *minName, const char *maxName, double min, double max,
                  const char *quantity) {
        QTest::newRow(tag) << QString::fromLatin1(minName) << QString::fromLatin1(maxName) << min
                           << max
                           << QStringLiteral("%1 Minimum Value must be below %1 Maximum Value.")
                                  .arg(QLatin1String(quantity));
    };
    row("position reversed", "spinPosMin", "spinPosMax", 60, -60, "Position");
    row("velocity equal", "spinVelMin", "spinVelMax", 10, 10, "Velocity");
    row("torque equal at zero", "spinTorMin", "spinTorMax", 0, 0, "Torque");
    row("current reversed", "spinCurMin", "spinCurMax", 1, 0.99, "Current");
    row("kd equal", "spinKdMin", "spinKdMax", 5, 5, "Kd");
    row("kp reversed", "spinKpMin", "spinKpMax", 500, 0, "Kp");
}

// A bad pair brings up a "Korvane" box naming it; nothing is stored or announced and
// the edit can still be corrected and applied.
void TestChangeBoundryValue::refusesEmptyOrReversedRange()
{
    QFETCH(QString, minName);
    QFETCH(QString, maxName);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(QString, message);
    // A good edit beside the bad one must not be stored either.
    spin(QStringLiteral("spinVelMax"))->setValue(spin(QStringLiteral("spinVelMax"))->value() + 1);
    spin(minName)->setValue(min);
    spin(maxName)->setValue(max);
    const Limits before = currentLimits();

    QString title;
    QString text;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            box->close();
        }
    });
    closer.start(10);
    QSignalSpy spy(m_dialog, &ChangeBoundryValue::MaxMinDataNeedReload);
    QVERIFY(spy.isValid());
    apply()->click();
    closer.stop();

    QCOMPARE(title, QStringLiteral("Korvane"));
    QCOMPARE(text, message);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(asList(currentLimits()), asList(before));
    QVERIFY(apply()->isEnabled());
    QCOMPARE(apply()->text(), QStringLiteral("Apply"));
}

QTEST_MAIN(TestChangeBoundryValue)
#include "tst_changeboundryvalue.moc"
