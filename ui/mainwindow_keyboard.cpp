// Keyboard control: held arrow keys nudge the position and velocity offsets every
// 100 ms while key control is on.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "motorstate.h"

#include <QKeyEvent>
#include <QLoggingCategory>
#include <QTimer>

// Each nudge's targets, for following key control from a terminal:
// QT_LOGGING_RULES="korvane.keycontrol.debug=true" korvane
Q_LOGGING_CATEGORY(lcKeyControl, "korvane.keycontrol", QtWarningMsg)

void MainWindow::on_btnKeyControl_toggled(bool checked)
{
    if (checked) {
        ui->btnKeyControl->setText(QStringLiteral("KeyControl✔"));
        grabKeyboard();
    } else {
        ui->btnKeyControl->setText(QStringLiteral("KeyControl✖"));
        {
            QMutexLocker lock(&stateMutex);
            motorState.keyPosition = 0;
            motorState.keyVelocity = 0;
        }
        releaseKeyboard();
    }
}

bool *MainWindow::arrowFlag(int key)
{
    switch (key) {
    case Qt::Key_Left:
        return &keyLeft;
    case Qt::Key_Right:
        return &keyRight;
    case Qt::Key_Up:
        return &keyUp;
    case Qt::Key_Down:
        return &keyDown;
    default:
        return nullptr;
    }
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat())
        return;
    if (ui->tab_con->isEnabled()) {
        if (event->key() == Qt::Key_Escape)
            ui->editCommand->setText(QStringLiteral("[esc]"));
        return;
    }
    if (!ui->btnKeyControl->isEnabled() || !ui->btnKeyControl->isChecked())
        return;
    if (bool *held = arrowFlag(event->key()))
        *held = true;
    // One timer carries the whole chain: a press while a tick is pending (after a quick
    // tap, or a repeat the system did not mark as one) joins it instead of starting a
    // second chain that would nudge twice as fast.
    keyRepeatArmed = true;
    if (!m_nudgeTimer->isActive())
        m_nudgeTimer->start();
}

void MainWindow::keyReleaseEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat())
        return;
    if (bool *held = arrowFlag(event->key()))
        *held = false;
    keyRepeatArmed = keyLeft || keyRight || keyUp || keyDown;
}

void MainWindow::keyPressing()
{
    {
        QMutexLocker lock(&stateMutex);
        // Each step is tested before it is taken, so an offset may pass half its limit
        // by at most one step.
        double position = motorState.keyPosition;
        double velocity = motorState.keyVelocity;
        if (keyLeft && position <= 0.5 * limits.positionMax)
            position = position + limits.positionMax / 60;
        if (keyRight && position >= 0.5 * limits.positionMin)
            position = position + limits.positionMin / 60;
        if (keyUp && velocity <= 0.5 * limits.velocityMax)
            velocity = velocity + limits.velocityMax / 60;
        if (keyDown && velocity >= 0.5 * limits.velocityMin)
            velocity = velocity + limits.velocityMin / 60;
        motorState.keyPosition = static_cast<float>(position);
        motorState.keyVelocity = static_cast<float>(velocity);
        qCDebug(lcKeyControl).noquote() << QStringLiteral("pos:%1 vel:%2")
                                               .arg(static_cast<double>(motorState.keyPosition))
                                               .arg(static_cast<double>(motorState.keyVelocity));
    }
    if (keyRepeatArmed)
        m_nudgeTimer->start();
}
