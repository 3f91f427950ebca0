#include "configmenu.h"

#include <QString>

namespace {
constexpr char escape = 0x1B;

QByteArray menuText()
{
    return QByteArrayLiteral("\r\n[Commands]\r\n"
                             " m - Motor Mode\r\n"
                             " c - Calibrate Encoder\r\n"
                             " s - Setup\r\n"
                             " e - Display Encoder\r\n"
                             " z - Set Zero Position\r\n"
                             " [esc] - Exit To Menu\r\n");
}
} // namespace

ConfigMenu::ConfigMenu(int motorId, bool notPowered) : m_motorId(motorId), m_notPowered(notPowered)
{
}

QByteArray ConfigMenu::reply(const QByteArray &input, double position) const
{
    if (m_notPowered)
        return QByteArray(1, char(0xFF));
    const QByteArray key = input.trimmed();
    if (key == QByteArray(1, escape))
        return menuText();
    if (key == "m")
        return QByteArrayLiteral("\r\nMotor mode: send [esc] to leave.\r\n");
    if (key == "c")
        return QByteArrayLiteral("\r\nCalibrating encoder... done, offset stored.\r\n");
    if (key == "s")
        return QStringLiteral("\r\nSetup: motor ID %1, current limit 40.0 A, torque limit "
                              "18.0 N m. Type a letter and a value, [esc] to leave.\r\n")
            .arg(m_motorId)
            .toLatin1();
    if (key == "e")
        return QStringLiteral("\r\nEncoder position: %1 rad\r\n")
            .arg(position, 0, 'f', 4)
            .toLatin1();
    if (key == "z")
        return QByteArrayLiteral("\r\nZero position saved.\r\n");
    // Zero bytes would cut the text short at the host.
    QByteArray echo = input;
    echo.replace('\0', ' ');
    return echo;
}
