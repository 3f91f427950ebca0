// The CAN link: the window's side of driving the motor through a CAN interface rather
// than the serial adapter. There is no adapter to switch, so display mode holds as soon
// as the interface is open and the console has nothing to talk to.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "canlink.h"
#include "motorstate.h"
#include "myserialport.h"

#include <QThread>

namespace {
QString noConsoleReason()
{
    return QStringLiteral("The configuration console talks to the USB adapter's text mode, "
                          "which a CAN interface does not have.");
}
} // namespace

void MainWindow::startCanLink()
{
    // Idle while the serial link is in use, and the other way round: one thread serves both.
    canLink = new CanLink();
    canLink->moveToThread(serialThread);
    connect(canLink, &CanLink::connectFailed, this, &MainWindow::connectFailed);
    connect(canLink, &CanLink::connectSucceed, this, &MainWindow::connectSucceed);
    connect(canLink, &CanLink::unConnectSucceed, this, &MainWindow::unConnectSucceed);
    connect(canLink, &CanLink::statusMsg, this, &MainWindow::setMainStatusBar);
    connect(canLink, &CanLink::msgBox, this, &MainWindow::msgBox);
}

QList<PortEntry> MainWindow::listedPorts(bool fresh)
{
    QList<PortEntry> ports =
        portEntriesWith(fresh ? portScan.refresh() : portScan.ports(), m_namedPort);
    return ports + m_canScan.entries(m_namedPort);
}

void MainWindow::connectCan(const PortEntry &port)
{
    m_onCan = true;
    canLink->setInterface(port.canPlugin, port.name);
    {
        QMutexLocker lock(&stateMutex);
        motorState.connectPending = true;
    }
    QMetaObject::invokeMethod(canLink, &CanLink::connectLink, Qt::QueuedConnection);
}

void MainWindow::enterCanDisplay()
{
    modeSwitch.connected();
    toDisplaySucceed();
    ui->tabWidget->setTabEnabled(ModeSwitch::configTab, false);
    ui->tabWidget->setTabToolTip(ModeSwitch::configTab, noConsoleReason());
    ui->tab_con->setToolTip(noConsoleReason());
}

void MainWindow::leaveCanLink()
{
    if (!std::exchange(m_onCan, false))
        return;
    ui->tabWidget->setTabEnabled(ModeSwitch::configTab, true);
    ui->tabWidget->setTabToolTip(ModeSwitch::configTab, QString());
    ui->tab_con->setToolTip(QString());
    showBaudApplies();
}

void MainWindow::on_comboPort_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    showBaudApplies();
}

void MainWindow::showBaudApplies()
{
    const int index = ui->comboPort->currentIndex();
    const bool can =
        index >= 0 && index < portList.size() && !portList.at(index).canPlugin.isEmpty();
    ui->comboBaudRate->setEnabled(!can && !isConnected());
    ui->comboBaudRate->setToolTip(can ? QStringLiteral("A CAN interface keeps its own bitrate.")
                                      : QString());
}

void MainWindow::setLinkLoop(bool on)
{
    if (m_onCan)
        canLink->setLoop(on);
    else
        serialPort->setLoop(on);
}

void MainWindow::sendOnceOnLink(const QString &word)
{
    if (!m_onCan) {
        emit sendOnce(word);
        return;
    }
    CanLink *link = canLink;
    QMetaObject::invokeMethod(
        link, [link, word] { link->sendOnce(word); }, Qt::QueuedConnection);
}

void MainWindow::disconnectLink()
{
    if (m_onCan)
        QMetaObject::invokeMethod(canLink, &CanLink::unConnect, Qt::QueuedConnection);
    else
        emit portUnConnect();
}

void MainWindow::closeCanLinkNow()
{
    if (!m_onCan)
        return;
    // The device belongs to the worker's thread; once that has stopped nothing else uses it.
    if (serialThread->isRunning())
        QMetaObject::invokeMethod(canLink, &CanLink::unConnect, Qt::BlockingQueuedConnection);
    else
        canLink->unConnect();
}
