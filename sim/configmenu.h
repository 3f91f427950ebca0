#pragma once

#include <QByteArray>

// The motor firmware's text menu as the adapter passes it through in
// configuration mode. Each input chunk is one command: a menu key (m, c, s, e, z,
// or ESC for the menu itself) gets a short text, anything else is echoed. An
// unpowered motor answers every input with the single byte FF.
class ConfigMenu
{
public:
    ConfigMenu(int motorId, bool notPowered);

    // `position` is the rotor position the encoder display reports.
    QByteArray reply(const QByteArray &input, double position) const;

private:
    int m_motorId;
    bool m_notPowered;
};
