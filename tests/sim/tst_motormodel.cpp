// The simulated motor must behave like a damped rotor: a position command with
// moderate gains settles on its set-point, the drive torque never leaves its range,
// the rotor coasts and slows down outside motor mode, and the result does not depend
// on how the caller slices time.
#include "motormodel.h"

#include <QtTest>
#include <cmath>

namespace {
MotorCommand positionCommand(float position, float kp, float kd)
{
    MotorCommand c;
    c.position = position;
    c.kp = kp;
    c.kd = kd;
    return c;
}
} // namespace

class TestMotorModel : public QObject
{
    Q_OBJECT
private slots:
    void settlesOnSetPoint_data();
    void settlesOnSetPoint();
    void torqueAndCurrentLimits_data();
    void torqueAndCurrentLimits();
    void coastsOutsideMotorMode();
    void zeroMovesTheReference();
    void sameResultHoweverAdvanced();
    void decodesCommandPayload();
};

void TestMotorModel::settlesOnSetPoint_data()
{
    QTest::addColumn<float>("target");
    QTest::addColumn<float>("kp");
    QTest::addColumn<float>("kd");
    QTest::newRow("soft") << 3.f << 5.f << 0.5f;
    QTest::newRow("middle, backwards") << -2.f << 10.f << 1.f;
    QTest::newRow("stiff, far, torque-limited") << 30.f << 20.f << 1.f;
    QTest::newRow("stiff, light damping") << 3.f << 20.f << 0.5f;
}

void TestMotorModel::settlesOnSetPoint()
{
    QFETCH(float, target);
    QFETCH(float, kp);
    QFETCH(float, kd);
    MotorModel model;
    model.setCommand(positionCommand(target, kp, kd));
    model.setMotorMode(true);
    double fastest = 0;
    for (int ms = 1; ms <= 2000; ++ms) {
        model.advanceTo(ms / 1000.0);
        fastest = std::max(fastest, std::abs(model.velocity()));
    }
    // The feedback could not report anything faster.
    QVERIFY2(fastest <= 45, qPrintable(QStringLiteral("reached %1 rad/s").arg(fastest)));
    QVERIFY2(std::abs(model.position() - target) < 0.01,
             qPrintable(QStringLiteral("position %1 after 2 s").arg(model.position())));
    QVERIFY2(std::abs(model.velocity()) < 0.05,
             qPrintable(QStringLiteral("still moving at %1").arg(model.velocity())));
}

void TestMotorModel::torqueAndCurrentLimits_data()
{
    QTest::addColumn<float>("target");
    QTest::addColumn<float>("feedForward");
    QTest::addColumn<double>("torque");
    QTest::addColumn<double>("current");
    QTest::newRow("far ahead") << 90.f << 0.f << 18.0 << 40.0;
    QTest::newRow("far behind") << -90.f << 0.f << -18.0 << -40.0;
    QTest::newRow("feed-forward only") << 0.f << 4.5f << 4.5 << 10.0;
    QTest::newRow("feed-forward beyond the range") << 0.f << -30.f << -18.0 << -40.0;
}

void TestMotorModel::torqueAndCurrentLimits()
{
    QFETCH(float, target);
    QFETCH(float, feedForward);
    QFETCH(double, torque);
    QFETCH(double, current);
    MotorModel model;
    MotorCommand command = positionCommand(target, target == 0 ? 0 : 500, 0);
    command.torque = feedForward;
    model.setCommand(command);
    model.setMotorMode(true);
    model.step();
    QCOMPARE(model.torque(), torque);
    QCOMPARE(model.current(), current);
}

void TestMotorModel::coastsOutsideMotorMode()
{
    MotorModel model;
    MotorCommand spin;
    spin.velocity = 10;
    spin.kd = 1;
    model.setCommand(spin);
    // Commands alone do not move a motor that is not in motor mode.
    model.advanceTo(0.5);
    QCOMPARE(model.position(), 0.0);

    model.setMotorMode(true);
    model.advanceTo(1.5);
    const double v0 = model.velocity();
    QVERIFY(v0 > 9);
    model.setMotorMode(false);
    QCOMPARE(model.current(), 0.0);
    const double p0 = model.position();
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
    model.setCommand(positionCommand(2, 10, 1));
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
        m->setCommand(positionCommand(5, 10, 0.5));
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

void TestMotorModel::decodesCommandPayload()
{
    // Codes of position 1, velocity 2, Kp 10, Kd 1, torque 0.5 over the default Limits.
    const MotorCommand c = decodeCommand({33110, 2138, 81, 819, 2104});
    QVERIFY(std::abs(c.position - 1.f) < 0.003f);
    QVERIFY(std::abs(c.velocity - 2.f) < 0.03f);
    QVERIFY(std::abs(c.kp - 10.f) < 0.13f);
    QVERIFY(std::abs(c.kd - 1.f) < 0.002f);
    QVERIFY(std::abs(c.torque - 0.5f) < 0.01f);
}

QTEST_GUILESS_MAIN(TestMotorModel)
#include "tst_motormodel.moc"
