// The limits dialog stores and announces valid Limits once per Apply, and refuses bad pairs.
#include "changeboundryvalue.h"
#include "motorstate.h"
#include "ptypeer.h"

#include <QDoubleSpinBox>
#include <QPushButton>
#include <QtTest>

// The Limits in the order of the dialog's boxes, minimum then maximum of position, velocity,
// torque, current, Kd and Kp.
static QVector<double> stored()
{
    QMutexLocker lock(&stateMutex);
    const Limits &l = limits;
    return {l.positionMin, l.positionMax, l.velocityMin, l.velocityMax, l.torqueMin, l.torqueMax,
            l.currentMin,  l.currentMax,  l.kdMin,       l.kdMax,       l.kpMin,     l.kpMax};
}

class TestChangeBoundryValue : public QObject
{
    Q_OBJECT
private slots:
    // Loading is not an edit; each Apply copies all twelve boxes and emits with the mutex free. A
    // pair with an empty or reversed range is refused by name: nothing is stored, not even a good
    // edit beside it, and Apply stays available.
    void appliesEachEditOnceAndRefusesBadPairs()
    {
        // Unlike the form's.
        stateMutex.lock();
        limits = {-1.5, 2.5, -3.5, 4.5, -5.5, 6.5, -7.5, 8.5, 9.5, 10.5, 0.25, 0.75};
        stateMutex.unlock();
        ChangeBoundryValue d;
        const QStringList pairs{"Position", "Velocity", "Torque", "Current", "Kd", "Kp"};
        auto spin = [&](int i) { // spinPosMin, spinPosMax, spinVelMin, ...
            return d.findChild<QDoubleSpinBox *>("spin" + pairs[i / 2].left(3) +
                                                 (i % 2 ? "Max" : "Min"));
        };
        auto *apply = d.findChild<QPushButton *>("btnApply");
        QSignalSpy reloads(&d, &ChangeBoundryValue::MaxMinDataNeedReload);
        QVector<double> shown, seen;
        for (int i = 0; i < 12; ++i)
            shown << spin(i)->value();
        QCOMPARE(shown, stored());
        QVERIFY(!apply->isEnabled());
        connect(&d, &ChangeBoundryValue::MaxMinDataNeedReload, this, [&] {
            if (stateMutex.tryLock()) { // sent under the lock, the signal would see nothing
                stateMutex.unlock();
                seen = stored();
            }
        });
        const double edited[] = {-10.25, 10.5, -20, 21, -3, 4, -5, 6, 0.5, 7.75, 1, 900};
        for (int i = 0; i < 12; ++i) {
            spin(i)->setValue(shown[i] = edited[i]);
            QVERIFY(apply->isEnabled());
            seen.clear();
            apply->click();
            QCOMPARE(reloads.count(), i + 1);
            QCOMPARE(seen, shown);
            QVERIFY(!apply->isEnabled());
        }
        MessageBoxCloser closer; // the boxes are modal: answered from their own event loops
        for (int pair = 0; pair < 6; ++pair) {
            spin(pair ? 1 : 3)->setValue(spin(pair ? 1 : 3)->value() + 1); // a good edit
            spin(2 * pair)->setValue(pair % 2 ? 0.01 : 0); // reversed by 0.01 or equal at zero
            spin(2 * pair + 1)->setValue(0);
            apply->click();
            QCOMPARE(closer.texts().value(pair), // answered before click() returns
                     QStringLiteral("%1 Minimum Value must be below %1 Maximum Value.")
                         .arg(pairs[pair]));
            QVERIFY(reloads.count() == 12 && stored() == shown && apply->isEnabled());
            for (int i : {2 * pair, 2 * pair + 1})
                spin(i)->setValue(shown[i]);
        }
    }
};

QTEST_MAIN(TestChangeBoundryValue)
#include "tst_changeboundryvalue.moc"
