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
    // A click beside the tabs names no tab: nothing to switch to or return to.
    if (!isConnected() || index < 0)
        return;
    if (index == configTabIndex) {
        if (displaySwitchPending) {
            // The adapter is still being switched to display mode: the console cannot
            // be asked for until that answer is in, and the page stays where it is.
            keepTab(ui->tabWidget->currentIndex());
            return;
        }
        if (lastTabIndex == configTabIndex || configSwitchPending)
            return;
        on_btnStop_clicked();
        configSwitchPending = true;
        emit changeToConfig();
        return;
    }
    if (configSwitchPending) {
        keepTab(configTabIndex);
        return;
    }
    if (displaySwitchPending) {
        // Only the page changes; the answer records the plot tab then shown.
        return;
    }
    if (lastTabIndex == configTabIndex) {
        requestDisplayMode();
    } else {
        lastTabIndex = index;
        reCalculateHScroll();
    }
}

void MainWindow::keepTab(int tab)
{
    // tabBarClicked comes before the tab bar changes page; undo that change afterwards.
    // The ignored click must not move the page whatever the switch's answer meanwhile:
    // success keeps this tab, and a final failure returns the tab bar itself later,
    // after its message box.
    QTimer::singleShot(0, this, [this, tab] { ui->tabWidget->setCurrentIndex(tab); });
}

void MainWindow::requestDisplayMode()
{
    displaySwitchPending = true;
    emit changeToDisplay();
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
    displaySwitchPending = false;
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
        requestDisplayMode();
        return;
    }
    displaySwitchPending = false;
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
