#pragma once

#include "commandparser.h"
#include "frames.h"

// Set-points of one control command, in physical units.
struct MotorCommand
{
    float position = 0;
    float velocity = 0;
    float kp = 0;
    float kd = 0;
    float torque = 0;
};

// The command a control payload carries, decoded over the default Limits.
MotorCommand decodeCommand(const PayloadCodes &codes);

// One rotor with inertia and viscous friction. In motor mode it is driven by the
// impedance law torque = Kp (p_set - p) + Kd (v_set - v) + t_ff, limited to the
// torque range; outside motor mode it coasts. Like a real drive on a fixed supply,
// the torque it can add in the direction of motion falls to zero at the no-load
// speed, so the rotor stays inside the feedback's velocity range. Integrated with semi-implicit
// Euler at a fixed step so that the result does not depend on how often it is advanced.
class MotorModel
{
public:
    static constexpr double stepSeconds = 1e-4;
    static constexpr double inertia = 0.01;        // kg m^2
    static constexpr double friction = 0.02;       // N m s / rad
    static constexpr double torqueConstant = 0.45; // N m / A
    static constexpr double torqueLimit = 18;      // N m
    static constexpr double currentLimit = 40;     // A
    static constexpr double noLoadSpeed = 45;      // rad / s

    void setCommand(const MotorCommand &command) { m_command = command; }
    void setMotorMode(bool on);
    // The present position becomes 0; the rotor keeps moving as before.
    void setZero() { m_position = 0; }

    void step();
    // Steps until the model's clock reaches `seconds` (the time since it started).
    void advanceTo(double seconds);

    double position() const { return m_position; }
    double velocity() const { return m_velocity; }
    double torque() const { return m_torque; }
    double current() const;
    bool motorMode() const { return m_motorMode; }

private:
    double driveTorque() const;

    MotorCommand m_command;
    bool m_motorMode = false;
    double m_position = 0;
    double m_velocity = 0;
    double m_torque = 0;
    quint64 m_steps = 0;
};

// Applies a control or special command to the model; any other event is left alone.
void applyCommand(const InputEvent &event, MotorModel *model);
