// The simulated motor behaves like a damped rotor: a position command with moderate
// gains settles on its set-point without leaving the feedback's velocity range, the
// drive torque and current stay in their ranges (current = torque / 0.45), the rotor coasts and
// slows down outside motor mode, and the result does not depend on how the caller slices time.
#include "motormodel.h"

#include <QtTest>
#include <cmath>

namespace {
MotorCommand command(float position, float kp, float kd, float velocity = 0, float torque = 0)
{
    return {position, velocity, kp, kd, torque};
}
} // namespace

class TestMotorModel : public QObject
{
    Q_OBJECT
private slots:
    void settlesOnSetPoint_data();
    void settlesOnSetPoint();
    void coastsOutsideMotorMode();
    void zeroMovesTheReference();
    void sameResultHoweverAdvanced();
};

void TestMotorModel::settlesOnSetPoint_data()
{
    QTest::addColumn<float>("target");
    QTest::addColumn<float>("kp");
    QTest::addColumn<float>("kd");
    QTest::addColumn<float>("feedForward");
    QTest::addColumn<double>("settlesAt");
    QTest::addColumn<double>("firstTorque");
    QTest::newRow("soft") << 3.f << 5.f << 0.5f << 0.f << 3.0 << 15.0;
    QTest::newRow("middle, backwards, torque-limited")
        << -2.f << 10.f << 1.f << 0.f << -2.0 << -18.0;
    QTest::newRow("stiff, far, torque-limited") << 30.f << 20.f << 1.f << 0.f << 30.0 << 18.0;
    QTest::newRow("stiff, light damping") << 3.f << 20.f << 0.5f << 0.f << 3.0 << 18.0;
    QTest::newRow("feed-forward shifts the rest point") << 0.f << 20.f << 1.f << 2.f << 0.1 << 2.0;
}

void TestMotorModel::settlesOnSetPoint()
{
    QFETCH(float, target);
    QFETCH(float, kp);
    QFETCH(float, kd);
    QFETCH(float, feedForward);
    QFETCH(double, settlesAt);
    QFETCH(double, firstTorque);
    MotorModel model;
    model.setCommand(command(target, kp, kd, 0, feedForward));
    model.setMotorMode(true);
    model.step();
    QVERIFY(std::abs(model.torque() - firstTorque) < 1e-6);
    QVERIFY(std::abs(model.current() - firstTorque / 0.45) < 1e-6);
    double fastest = 0;
    for (int ms = 1; ms <= 2000; ++ms) {
        model.advanceTo(ms / 1000.0);
        fastest = std::max(fastest, std::abs(model.velocity()));
    }
    QVERIFY2(fastest <= 45, qPrintable(QStringLiteral("reached %1 rad/s").arg(fastest)));
    QVERIFY2(std::abs(model.position() - settlesAt) < 0.01 && std::abs(model.velocity()) < 0.05,
             qPrintable(QStringLiteral("at %1, moving at %2 after 2 s")
                            .arg(model.position())
                            .arg(model.velocity())));
}

void TestMotorModel::coastsOutsideMotorMode()
{
    MotorModel model;
    model.setCommand(command(0, 0, 1, 10));
    model.advanceTo(0.5);
    QVERIFY2(model.position() == 0, "a command moved a motor outside motor mode");
    model.setMotorMode(true);
    model.advanceTo(1.5);
    const double v0 = model.velocity();
    const double p0 = model.position();
    QVERIFY(v0 > 9);
    model.setMotorMode(false);
    QCOMPARE(model.current(), 0.0);
    model.advanceTo(2.0);
    // Viscous friction alone: v falls by e^(-t b / J).
    const double expected = v0 * std::exp(-0.5 * MotorModel::friction / MotorModel::inertia);
    QVERIFY2(std::abs(model.velocity() - expected) < 0.01 * v0,
             qPrintable(QStringLiteral("%1 instead of %2").arg(model.velocity()).arg(expected)));
    QVERIFY(model.position() > p0 + 1);
}

void TestMotorModel::zeroMovesTheReference()
{
    MotorModel model;
    model.setCommand(command(2, 10, 1));
    model.setMotorMode(true);
    model.advanceTo(2.0);
    model.setZero();
    QCOMPARE(model.position(), 0.0);
    // The same set-point now lies 2 further on.
    model.advanceTo(4.0);
    QVERIFY(std::abs(model.position() - 2) < 0.01);
}

void TestMotorModel::sameResultHoweverAdvanced()
{
    MotorModel once;
    MotorModel sliced;
    for (MotorModel *m : {&once, &sliced}) {
        m->setCommand(command(5, 10, 0.5));
        m->setMotorMode(true);
    }
    once.advanceTo(0.73);
    for (double t = 0; t < 0.73; t += 0.00037)
        sliced.advanceTo(t);
    sliced.advanceTo(0.73);
    QCOMPARE(sliced.time(), once.time());
    QCOMPARE(sliced.position(), once.position());
    QCOMPARE(sliced.velocity(), once.velocity());
}

QTEST_GUILESS_MAIN(TestMotorModel)
#include "tst_motormodel.moc"
