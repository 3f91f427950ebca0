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

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    const bool keyControlOn = ui->btnKeyControl->isEnabled() && ui->btnKeyControl->isChecked();
    switch (keyNudge.press(event->key(), event->isAutoRepeat(), ui->tab_con->isEnabled(),
                           keyControlOn)) {
    case KeyNudge::Press::Ignored:
        break;
    case KeyNudge::Press::Escape:
        ui->editCommand->setText(QStringLiteral("[esc]"));
        break;
    case KeyNudge::Press::Nudge:
        // One timer carries the whole chain: a press while a tick is pending (after a
        // quick tap, or a repeat the system did not mark as one) joins it instead of
        // starting a second chain that would nudge twice as fast.
        if (!m_nudgeTimer->isActive())
            m_nudgeTimer->start();
        break;
    }
}

void MainWindow::keyReleaseEvent(QKeyEvent *event)
{
    keyNudge.release(event->key(), event->isAutoRepeat());
}

void MainWindow::keyPressing()
{
    {
        QMutexLocker lock(&stateMutex);
        const KeyNudge::Offsets next =
            keyNudge.step({motorState.keyPosition, motorState.keyVelocity}, limits);
        motorState.keyPosition = next.position;
        motorState.keyVelocity = next.velocity;
        qCDebug(lcKeyControl).noquote() << QStringLiteral("pos:%1 vel:%2")
                                               .arg(static_cast<double>(next.position))
                                               .arg(static_cast<double>(next.velocity));
    }
    if (keyNudge.armed())
        m_nudgeTimer->start();
}
