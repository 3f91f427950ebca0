#include "keynudge.h"

#include "motorstate.h"

#include <Qt>

bool *KeyNudge::heldFlag(int key)
{
    switch (key) {
    case Qt::Key_Left:
        return &m_left;
    case Qt::Key_Right:
        return &m_right;
    case Qt::Key_Up:
        return &m_up;
    case Qt::Key_Down:
        return &m_down;
    default:
        return nullptr;
    }
}

KeyNudge::Press KeyNudge::press(int key, bool autoRepeat, bool consoleActive, bool keyControlOn)
{
    if (autoRepeat)
        return Press::Ignored;
    if (consoleActive)
        return key == Qt::Key_Escape ? Press::Escape : Press::Ignored;
    if (!keyControlOn)
        return Press::Ignored;
    if (bool *held = heldFlag(key))
        *held = true;
    m_armed = true;
    return Press::Nudge;
}

void KeyNudge::release(int key, bool autoRepeat)
{
    if (autoRepeat)
        return;
    if (bool *held = heldFlag(key))
        *held = false;
    m_armed = m_left || m_right || m_up || m_down;
}

void KeyNudge::releaseAll()
{
    m_left = m_right = m_up = m_down = false;
}

KeyNudge::Offsets KeyNudge::step(Offsets now, const Limits &bounds) const
{
    // In double precision, each test before its step, so an offset may pass half its
    // limit by at most one step; opposite arrows held together cancel.
    double position = now.position;
    double velocity = now.velocity;
    if (m_left && position <= 0.5 * bounds.positionMax)
        position = position + bounds.positionMax / 60;
    if (m_right && position >= 0.5 * bounds.positionMin)
        position = position + bounds.positionMin / 60;
    if (m_up && velocity <= 0.5 * bounds.velocityMax)
        velocity = velocity + bounds.velocityMax / 60;
    if (m_down && velocity >= 0.5 * bounds.velocityMin)
        velocity = velocity + bounds.velocityMin / 60;
    return {static_cast<float>(position), static_cast<float>(velocity)};
}
