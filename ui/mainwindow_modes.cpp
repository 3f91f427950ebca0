// Display mode and configuration mode: which request the window sends when, how a
// failed switch is retried, and which controls each mode enables.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "motorstate.h"
#include "myserialport.h"
#include "packunit.h"
#include "widgetstate.h"

#include <QTimer>

namespace {
constexpr int configTabIndex = 3;
constexpr int maxRetries = 5;
} // namespace

void MainWindow::on_tabWidget_tabBarClicked(int index)
{
    if (!isConnected())
        return;
    if (index == configTabIndex) {
        if (lastTabIndex == configTabIndex || configSwitchPending)
            return;
        on_btnStop_clicked();
        configSwitchPending = true;
        emit changeToConfig();
        return;
    }
    if (configSwitchPending) {
        // The tab bar changes page after this signal; put it back on the tab the
        // pending switch is for.
        QTimer::singleShot(0, this, [this] {
            if (configSwitchPending)
                ui->tabWidget->setCurrentIndex(configTabIndex);
        });
        return;
    }
    if (lastTabIndex == configTabIndex) {
        emit changeToDisplay();
    } else {
        lastTabIndex = index;
        reCalculateHScroll();
    }
}

void MainWindow::toConfigSucceed()
{
    configRetries = 0;
    configSwitchPending = false;
    setMainStatusBar(QStringLiteral("Change to Config mode succeed."));
    releaseKeyboard();
    ui->tab_con->setEnabled(true);
    setEnabledAll({ui->btnRun, ui->btnStop, ui->btnDisplay, ui->btnKeyControl, ui->btnMotorMode,
                   ui->btnMotorExit, ui->btnZeroPos, ui->btnSendOnce, ui->comboMotor, ui->editKd,
                   ui->editkp, ui->editPosition, ui->editVelocity, ui->editTorque, ui->ckbPosion,
                   ui->ckbVelocity, ui->ckbTorque, ui->HScroll},
                  false);
    lastTabIndex = ui->tabWidget->currentIndex();
    flushActive = false;
    displayOn = false;
    packUnit->setLoop(false);
    serialPort->setLoop(false);
    QMutexLocker lock(&stateMutex);
    motorState.sendEnabled = false;
    motorState.usePackedCommand = false;
}

void MainWindow::toConfigFailed()
{
    if (configRetries <= maxRetries - 1) {
        ++configRetries;
        emit changeToConfig();
        return;
    }
    configSwitchPending = false;
    setMainStatusBar(QStringLiteral("Change to Config mode failed."));
    msgBox(QStringLiteral("Change to Config mode failed."));
    ui->tabWidget->setCurrentIndex(lastTabIndex);
    packUnit->setLoop(true);
    serialPort->setLoop(true);
    configRetries = 0;
}

void MainWindow::toDisplaySucceed()
{
    displayRetries = 0;
    setMainStatusBar(QStringLiteral("Change to Display mode succeed."));
    ui->tab_con->setEnabled(false);
    ui->btnRun->setEnabled(true);
    ui->btnStop->setEnabled(false);
    setEnabledAll({ui->btnDisplay, ui->btnKeyControl, ui->btnMotorMode, ui->btnMotorExit,
                   ui->btnZeroPos, ui->btnSendOnce, ui->comboMotor, ui->editKd, ui->editkp,
                   ui->editPosition, ui->editVelocity, ui->editTorque, ui->ckbPosion,
                   ui->ckbVelocity, ui->ckbTorque, ui->HScroll},
                  true);
    lastTabIndex = ui->tabWidget->currentIndex();
    reCalculateHScroll();
    flushActive = true;
    displayOn = true;
    // The display button never contradicts what the plots do: they follow again.
    ui->btnDisplay->setChecked(true);
    ui->btnDisplay->setText(QStringLiteral("Display✔"));
    {
        QMutexLocker lock(&stateMutex);
        motorState.usePackedCommand = false;
        motorState.sendEnabled = false;
    }
    serialPort->setLoop(true);
    packUnit->setLoop(true);
    QTimer::singleShot(100, this, &MainWindow::uiFlush);
}

void MainWindow::toDisplayFailed()
{
    if (displayRetries <= maxRetries - 1) {
        ++displayRetries;
        emit changeToDisplay();
        return;
    }
    setMainStatusBar(QStringLiteral("Change to Display mode failed."));
    msgBox(QStringLiteral("Change to Display mode failed."));
    ui->tabWidget->setCurrentIndex(lastTabIndex);
    packUnit->setLoop(false);
    serialPort->setLoop(false);
    displayRetries = 0;
    bool wasConnecting = false;
    {
        QMutexLocker lock(&stateMutex);
        wasConnecting = motorState.connectPending;
        motorState.connectPending = false;
    }
    if (wasConnecting)
        emit portUnConnect();
}

void MainWindow::on_btnDisplay_toggled(bool checked)
{
    ui->btnDisplay->setText(checked ? QStringLiteral("Display✔") : QStringLiteral("Display✖"));
    displayOn = checked;
}
