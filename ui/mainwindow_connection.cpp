// The port bar: the port list, the baud rate, and the window's side of opening and
// closing the serial link.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "motorstate.h"
#include "myserialport.h"
#include "packunit.h"
#include "widgetstate.h"

#include <QTimer>

bool MainWindow::isConnected() const
{
    return ui->btnConnect->text() == QLatin1String("Disconnect");
}

void MainWindow::getUsbInfo()
{
    const QList<PortEntry> ports = listedPorts(false);
    ui->btnConnect->setEnabled(!ports.isEmpty());
    if (ports.size() != portList.size()) {
        ui->comboPort->clear();
        for (const PortEntry &p : ports)
            ui->comboPort->addItem(p.itemText());
        portList = ports;
        showBaudApplies();
    }
    if ((!m_startPort.isEmpty() || m_connectAtStart) && !m_offeringJournal)
        selectStartPort();
    QTimer::singleShot(1000, this, &MainWindow::getUsbInfo);
}

void MainWindow::on_comboBaudRate_activated(int index)
{
    if (index == 4) {
        ui->comboBaudRate->setEditable(true);
        ui->comboBaudRate->setEditText(QString());
    } else {
        ui->comboBaudRate->setEditable(false);
    }
}

void MainWindow::on_btnConnect_clicked()
{
    const QString text = ui->btnConnect->text();
    if (text == QLatin1String("Connect")) {
        const QList<PortEntry> ports = listedPorts(true);
        const int index = ui->comboPort->currentIndex();
        if (index < 0 || index >= ports.size()) {
            setMainStatusBar(QStringLiteral("No port to connect to: the selected port is no longer "
                                            "available."));
            return;
        }
        // A connection resets the histories; a recording being saved or read finishes first.
        if (historyOperationRunning()) {
            setMainStatusBar(QStringLiteral(
                "A recording is being saved or read; connect when it has finished."));
            return;
        }
        // A connection starts a new recording: the last one is kept or let go first.
        if (!recordingMayBeReplaced([this] { on_btnConnect_clicked(); }))
            return;
        const PortEntry &port = ports.at(index);
        if (!port.canPlugin.isEmpty()) {
            connectCan(port);
            return;
        }
        if (port.isExtra)
            serialPort->setPortLocation(port.location);
        else
            serialPort->setInfo(port.info);
        serialPort->setBaud(baudRateFromText(ui->comboBaudRate->currentText()));
        {
            QMutexLocker lock(&stateMutex);
            motorState.connectPending = true;
        }
        emit portConnect();
    } else if (text == QLatin1String("Disconnect")) {
        disconnectLink();
    }
}

void MainWindow::connectSucceed()
{
    connectReset();
    m_unsavedRun.started();
    journalRunStarted();
    uiRepaint();
    ui->btnConnect->setText(QStringLiteral("Disconnect"));
    ui->btnToPNG->setEnabled(false);
    ui->btnToTXT->setEnabled(false);
    ui->btnFromTXT->setEnabled(false);
    ui->btnRun->setEnabled(true);
    ui->btnStop->setEnabled(true);
    ui->btnDisplay->setEnabled(true);
    ui->btnDisplay->setChecked(true);
    ui->btnDisplay->setText(QStringLiteral("Display✔"));
    ui->btnKeyControl->setChecked(false);
    ui->btnKeyControl->setEnabled(true);
    ui->btnKeyControl->setText(QStringLiteral("KeyControl✖"));
    ui->comboPort->setEnabled(false);
    ui->comboBaudRate->setEnabled(false);
    ui->tabWidget->setCurrentIndex(0);
    displayOn = true;
    keyNudge.releaseAll();
    if (m_onCan)
        enterCanDisplay();
    else
        applyModeStep(modeSwitch.connected(), false);
}

void MainWindow::connectFailed()
{
    ui->btnConnect->setText(QStringLiteral("Connect"));
    ui->btnToPNG->setEnabled(false);
    ui->btnToTXT->setEnabled(false);
    ui->btnFromTXT->setEnabled(true);
    ui->btnRun->setEnabled(false);
    ui->btnStop->setEnabled(false);
    ui->btnDisplay->setEnabled(false);
    ui->btnKeyControl->setEnabled(false);
    leaveCanLink();
}

void MainWindow::unConnectFailed()
{
}

void MainWindow::unConnectSucceed()
{
    ui->btnConnect->setText(QStringLiteral("Connect"));
    flushActive = false;
    modeSwitch.disconnected();
    m_statusLine.setRatesLive(false);
    m_feedbackWatch.stop();
    greyReadout(false);
    packUnit->setLoop(false);
    setLinkLoop(false);
    journalRunEnded();
    ui->tab_con->setEnabled(false);
    ui->btnToPNG->setEnabled(true);
    ui->btnToTXT->setEnabled(true);
    ui->btnFromTXT->setEnabled(true);
    setEnabledAll({ui->btnRun, ui->btnStop, ui->btnDisplay, ui->btnKeyControl, ui->btnMotorMode,
                   ui->btnMotorExit, ui->btnZeroPos, ui->btnSendOnce},
                  false);
    ui->comboPort->setEnabled(true);
    ui->comboBaudRate->setEnabled(true);
    leaveCanLink();
    // Key control cannot be switched off while its button is disabled, so a grab left
    // in place would keep the keyboard from every other window.
    releaseKeyboard();
    setMainStatusBar(QStringLiteral("Disconnected successfully"));
}
