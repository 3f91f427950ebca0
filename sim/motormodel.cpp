#include "motormodel.h"

#include "framemath.h"
#include "motorstate.h"

#include <algorithm>
#include <cmath>

MotorCommand decodeCommand(const PayloadCodes &codes)
{
    // The global Limits belong to the tool; the adapter only knows the defaults.
    const Limits l;
    MotorCommand c;
    c.position = fixedToFloat(codes.position, float(l.positionMin), float(l.positionMax), 16);
    c.velocity = fixedToFloat(codes.velocity, float(l.velocityMin), float(l.velocityMax), 12);
    c.kp = fixedToFloat(codes.kp, float(l.kpMin), float(l.kpMax), 12);
    c.kd = fixedToFloat(codes.kd, float(l.kdMin), float(l.kdMax), 12);
    c.torque = fixedToFloat(codes.torque, float(l.torqueMin), float(l.torqueMax), 12);
    return c;
}

void MotorModel::setMotorMode(bool on)
{
    m_motorMode = on;
    m_torque = on ? driveTorque() : 0;
}

double MotorModel::driveTorque() const
{
    const double t = m_command.kp * (m_command.position - m_position) +
                     m_command.kd * (m_command.velocity - m_velocity) + m_command.torque;
    const double upper = std::min(torqueLimit, torqueLimit * (1 - m_velocity / noLoadSpeed));
    const double lower = std::max(-torqueLimit, -torqueLimit * (1 + m_velocity / noLoadSpeed));
    return std::clamp(t, lower, upper);
}

void MotorModel::step()
{
    m_torque = m_motorMode ? driveTorque() : 0;
    m_velocity += (m_torque - friction * m_velocity) / inertia * stepSeconds;
    m_position += m_velocity * stepSeconds;
    ++m_steps;
}

void MotorModel::advanceTo(double seconds)
{
    const double target = std::floor(seconds / stepSeconds);
    if (!(target > double(m_steps)))
        return;
    // After a long stall the rotor would have come to rest long ago; do not spend
    // seconds catching up on more than a minute of simulated time.
    constexpr double maxCatchUp = 60 / stepSeconds;
    if (target - double(m_steps) > maxCatchUp)
        m_steps = static_cast<quint64>(target - maxCatchUp);
    const auto steps = static_cast<quint64>(target);
    while (m_steps < steps)
        step();
}

double MotorModel::current() const
{
    return std::clamp(m_torque / torqueConstant, -currentLimit, currentLimit);
}

void applyCommand(const InputEvent &event, MotorModel *model)
{
    switch (event.kind) {
    case InputEvent::Control:
        model->setCommand(decodeCommand(event.codes));
        break;
    case InputEvent::Enter:
        model->setMotorMode(true);
        break;
    case InputEvent::Exit:
        model->setMotorMode(false);
        break;
    case InputEvent::Zero:
        model->setZero();
        break;
    default:
        break;
    }
}
