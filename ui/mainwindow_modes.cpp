// Display mode and configuration mode: the window applies what the mode switch decides
// and enables the controls of each mode.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "motorstate.h"
#include "myserialport.h"
#include "packunit.h"
#include "widgetstate.h"

#include <QTimer>

void MainWindow::on_tabWidget_tabBarClicked(int index)
{
    // A CAN link has no console to switch to.
    if (m_onCan && index == ModeSwitch::configTab)
        return;
    applyModeStep(modeSwitch.tabClicked(index, isConnected(), ui->tabWidget->currentIndex()),
                  index == ModeSwitch::configTab);
}

void MainWindow::applyModeStep(ModeSwitch::Answer answer, bool configMode)
{
    using Step = ModeSwitch::Step;
    const QString mode = configMode ? QStringLiteral("Config") : QStringLiteral("Display");
    switch (answer.step) {
    case Step::None:
    case Step::Entered:
        break;
    case Step::AskConfig:
        on_btnStop_clicked();
        emit changeToConfig();
        break;
    case Step::AskDisplay:
        emit changeToDisplay();
        break;
    case Step::Retry:
        if (configMode)
            emit changeToConfig();
        else
            emit changeToDisplay();
        break;
    case Step::KeepTab:
        keepTab(answer.tab);
        break;
    case Step::FollowTab:
        reCalculateHScroll();
        break;
    case Step::GiveUp: {
        const QString failed = QStringLiteral("Change to %1 mode failed.").arg(mode);
        setMainStatusBar(failed);
        msgBox(failed);
        ui->tabWidget->setCurrentIndex(answer.tab);
        // Configuration mode was not entered, so display mode goes on; a display mode
        // that could not be entered leaves the loops stopped.
        packUnit->setLoop(configMode);
        setLinkLoop(configMode);
        break;
    }
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

void MainWindow::toConfigSucceed()
{
    modeSwitch.configAnswered(true, ui->tabWidget->currentIndex());
    m_statusLine.setRatesLive(false);
    setMainStatusBar(QStringLiteral("Change to Config mode succeed."));
    releaseKeyboard();
    ui->tab_con->setEnabled(true);
    setEnabledAll({ui->btnRun, ui->btnStop, ui->btnDisplay, ui->btnKeyControl, ui->btnMotorMode,
                   ui->btnMotorExit, ui->btnZeroPos, ui->btnSendOnce, ui->comboMotor, ui->editKd,
                   ui->editkp, ui->editPosition, ui->editVelocity, ui->editTorque, ui->ckbPosion,
                   ui->ckbVelocity, ui->ckbTorque, ui->HScroll},
                  false);
    flushActive = false;
    displayOn = false;
    m_feedbackWatch.stop();
    greyReadout(false);
    packUnit->setLoop(false);
    setLinkLoop(false);
    QMutexLocker lock(&stateMutex);
    motorState.sendEnabled = false;
    motorState.usePackedCommand = false;
}

void MainWindow::toConfigFailed()
{
    applyModeStep(modeSwitch.configAnswered(false, ui->tabWidget->currentIndex()), true);
}

void MainWindow::toDisplaySucceed()
{
    modeSwitch.displayAnswered(true, ui->tabWidget->currentIndex());
    setMainStatusBar(QStringLiteral("Change to Display mode succeed."));
    m_statusLine.setRatesLive(true);
    ui->tab_con->setEnabled(false);
    ui->btnRun->setEnabled(true);
    ui->btnStop->setEnabled(false);
    setEnabledAll({ui->btnDisplay, ui->btnKeyControl, ui->btnMotorMode, ui->btnMotorExit,
                   ui->btnZeroPos, ui->btnSendOnce, ui->comboMotor, ui->editKd, ui->editkp,
                   ui->editPosition, ui->editVelocity, ui->editTorque, ui->ckbPosion,
                   ui->ckbVelocity, ui->ckbTorque, ui->HScroll},
                  true);
    reCalculateHScroll();
    flushActive = true;
    displayOn = true;
    {
        QMutexLocker lock(&stateMutex);
        m_feedbackWatch.start(motorState.sampleCount, m_clock.elapsed());
    }
    // The display button never contradicts what the plots do: they follow again.
    ui->btnDisplay->setChecked(true);
    ui->btnDisplay->setText(QStringLiteral("Display✔"));
    {
        QMutexLocker lock(&stateMutex);
        motorState.usePackedCommand = false;
        motorState.sendEnabled = false;
    }
    setLinkLoop(true);
    packUnit->setLoop(true);
    QTimer::singleShot(100, this, &MainWindow::uiFlush);
}

void MainWindow::toDisplayFailed()
{
    const ModeSwitch::Answer answer =
        modeSwitch.displayAnswered(false, ui->tabWidget->currentIndex());
    applyModeStep(answer, false);
    if (answer.step != ModeSwitch::Step::GiveUp)
        return;
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
