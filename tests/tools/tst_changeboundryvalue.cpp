// The limits dialog stores and announces valid Limits once per Apply, and refuses bad pairs.
#include "changeboundryvalue.h"
#include "motorstate.h"

#include <QDoubleSpinBox>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

namespace {
const char *const spinNames[] = {"spinPosMin", "spinPosMax", "spinVelMin", "spinVelMax",
                                 "spinTorMin", "spinTorMax", "spinCurMin", "spinCurMax",
                                 "spinKdMin",  "spinKdMax",  "spinKpMin",  "spinKpMax"};

// The Limits in the order of spinNames.
QVector<double> stored()
{
    QMutexLocker lock(&stateMutex);
    const Limits &l = limits;
    return {l.positionMin, l.positionMax, l.velocityMin, l.velocityMax, l.torqueMin, l.torqueMax,
            l.currentMin,  l.currentMax,  l.kdMin,       l.kdMax,       l.kpMin,     l.kpMax};
}

struct Dialog : ChangeBoundryValue
{
    QDoubleSpinBox *spin(int i) { return findChild<QDoubleSpinBox *>(spinNames[i]); }
    QPushButton *apply = findChild<QPushButton *>(QStringLiteral("btnApply"));
    QSignalSpy reloads{this, &ChangeBoundryValue::MaxMinDataNeedReload};
};
} // namespace

class TestChangeBoundryValue : public QObject
{
    Q_OBJECT
private slots:
    // Loading is not an edit; each Apply copies all twelve boxes and emits with the mutex free.
    void applyStoresEachEditAndReloadsOnce()
    {
        QMutexLocker lock(&stateMutex);
        limits.positionMax = 50; // unlike the form's own values
        lock.unlock();
        Dialog d;
        QVector<double> shown, seen;
        for (int i = 0; i < 12; ++i)
            shown << d.spin(i)->value();
        QCOMPARE(shown, stored());
        QVERIFY(!d.apply->isEnabled() && d.apply->text() == "No changed to apply");
        connect(&d, &ChangeBoundryValue::MaxMinDataNeedReload, this, [&] {
            if (stateMutex.tryLock()) { // sent under the lock, the signal would see nothing
                stateMutex.unlock();
                seen = stored();
            }
        });
        const double edited[] = {-10.25, 10.5, -20, 21, -3, 4, -5, 6, 0.5, 7.75, 1, 900};
        for (int i = 0; i < 12; ++i) {
            d.spin(i)->setValue(shown[i] = edited[i]);
            QVERIFY2(d.apply->isEnabled() && d.apply->text() == "Apply", spinNames[i]);
            seen.clear();
            d.apply->click();
            QCOMPARE(d.reloads.count(), i + 1);
            QCOMPARE(seen, shown);
            QVERIFY(!d.apply->isEnabled() && d.apply->text() == "No change to apply");
        }
    }

    void refusesEmptyOrReversedRange_data()
    {
        QTest::addColumn<int>("pair");
        const char *const names[] = {"Position", "Velocity", "Torque", "Current", "Kd", "Kp"};
        for (int i = 0; i < 6; ++i)
            QTest::newRow(names[i]) << i;
    }

    // Nothing is stored, not even a good edit beside the pair, and Apply stays available.
    void refusesEmptyOrReversedRange()
    {
        QFETCH(int, pair);
        Dialog d;
        d.spin(pair ? 1 : 3)->setValue(d.spin(pair ? 1 : 3)->value() + 1);
        d.spin(2 * pair)->setValue(pair % 2 ? 0.01 : 0); // reversed by 0.01 or equal at zero
        d.spin(2 * pair + 1)->setValue(0);
        const QVector<double> before = stored();
        QString box;
        QTimer closer; // the box is modal, so it is answered from its own event loop
        connect(&closer, &QTimer::timeout, this, [&] {
            if (auto b = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                box = b->windowTitle() + ": " + b->text();
                b->close();
            }
        });
        closer.start(10);
        d.apply->click();
        QCOMPARE(box, QStringLiteral("Korvane: %1 Minimum Value must be below %1 Maximum Value.")
                          .arg(QLatin1String(QTest::currentDataTag())));
        QCOMPARE(d.reloads.count(), 0);
        QCOMPARE(stored(), before);
        QVERIFY(d.apply->isEnabled() && d.apply->text() == "Apply");
    }
};

QTEST_MAIN(TestChangeBoundryValue)
#include "tst_changeboundryvalue.moc"
