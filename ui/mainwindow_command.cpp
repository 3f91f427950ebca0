// The command panel: motor selection, the five checked parameter fields, the
// reference lines, Run, Stop, Send Once and the three special frames.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "canvas.h"
#include "frames.h"
#include "motorstate.h"
#include "packunit.h"
#include "parametercheck.h"

#include <QCoreApplication>
#include <QLineEdit>

void MainWindow::editParameter(const ParameterField &field, const QString &text)
{
    const Limits now = currentLimits();
    const ParameterCheck check =
        checkParameter(text, now.*field.min, now.*field.max, QLatin1String(field.name));
    if (!check.accepted) {
        setMainStatusBar(check.message);
        field.edit->setText(QStringLiteral("0"));
    }
    QPalette palette = field.edit->palette();
    palette.setColor(QPalette::Text, check.accepted ? Qt::black : Qt::red);
    field.edit->setPalette(palette);
    {
        QMutexLocker lock(&stateMutex);
        motorState.*field.command = check.value;
    }
    if (field.plot) {
        field.plot->setRefValue(check.value);
        field.plot->repaint();
    }
}

void MainWindow::on_comboMotor_currentTextChanged(const QString &arg1)
{
    ui->labMotorID->setText(QStringLiteral("MotorID:") + arg1);
    QMutexLocker lock(&stateMutex);
    motorState.motorId = arg1.toInt(nullptr, 10);
}

// Position, velocity, torque, Kp, Kd: the order of the fields everywhere.
std::array<MainWindow::ParameterField, 5> MainWindow::parameterFields() const
{
    // The torque command is drawn on the current plot.
    return {{{ui->editPosition, &Limits::positionMin, &Limits::positionMax,
              &MotorState::cmdPosition, plotPosition, "Position"},
             {ui->editVelocity, &Limits::velocityMin, &Limits::velocityMax,
              &MotorState::cmdVelocity, plotVelocity, "Velocity"},
             {ui->editTorque, &Limits::torqueMin, &Limits::torqueMax, &MotorState::cmdTorque,
              plotCurrent, "Torque"},
             {ui->editkp, &Limits::kpMin, &Limits::kpMax, &MotorState::cmdKp, nullptr, "Kp"},
             {ui->editKd, &Limits::kdMin, &Limits::kdMax, &MotorState::cmdKd, nullptr, "Kd"}}};
}

void MainWindow::on_editPosition_textEdited(const QString &arg1)
{
    editParameter(parameterFields()[0], arg1);
}

void MainWindow::on_editVelocity_textEdited(const QString &arg1)
{
    editParameter(parameterFields()[1], arg1);
}

void MainWindow::on_editTorque_textEdited(const QString &arg1)
{
    editParameter(parameterFields()[2], arg1);
}

void MainWindow::on_editkp_textEdited(const QString &arg1)
{
    editParameter(parameterFields()[3], arg1);
}

void MainWindow::on_editKd_textEdited(const QString &arg1)
{
    editParameter(parameterFields()[4], arg1);
}

QStringList MainWindow::parameterTexts() const
{
    QStringList texts;
    for (const ParameterField &field : parameterFields())
        texts << field.edit->text();
    return texts;
}

void MainWindow::on_ckbPosion_toggled(bool checked)
{
    plotPosition->setShowRef(checked);
    plotPosition->repaint();
}

void MainWindow::on_ckbVelocity_toggled(bool checked)
{
    plotVelocity->setShowRef(checked);
    plotVelocity->repaint();
}

void MainWindow::on_ckbTorque_toggled(bool checked)
{
    plotCurrent->setShowRef(checked);
    plotCurrent->repaint();
}

void MainWindow::on_btnRun_clicked()
{
    ui->btnRun->setEnabled(false);
    ui->btnStop->setEnabled(true);
    {
        QMutexLocker lock(&stateMutex);
        motorState.sendEnabled = true;
        motorState.usePackedCommand = true;
    }
    emit needRepack();
}

void MainWindow::on_btnStop_clicked()
{
    ui->btnRun->setEnabled(true);
    ui->btnStop->setEnabled(false);
    QMutexLocker lock(&stateMutex);
    motorState.sendEnabled = false;
    motorState.usePackedCommand = false;
}

void MainWindow::on_btnSendOnce_clicked()
{
    if (!ui->btnRun->isEnabled())
        return;
    packUnit->rePack();
    sendOnceOnLink(QString());
}

void MainWindow::sendSpecialFrame(const QString &word)
{
    on_btnStop_clicked();
    QCoreApplication::processEvents();
    const quint32 id = ui->comboMotor->currentText().toUInt(nullptr, 10);
    {
        QMutexLocker lock(&stateMutex);
        prepareSpecialFrame(word, id);
    }
    sendOnceOnLink(word);
}

void MainWindow::on_btnMotorMode_clicked()
{
    sendSpecialFrame(QStringLiteral("enter"));
}

void MainWindow::on_btnMotorExit_clicked()
{
    sendSpecialFrame(QStringLiteral("exit"));
}

void MainWindow::on_btnZeroPos_clicked()
{
    sendSpecialFrame(QStringLiteral("zero"));
}
