// The command panel: motor selection, the five checked parameter fields, the
// reference lines, Run, Stop, Send Once and the three special frames.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "canvas.h"
#include "frames.h"
#include "motorstate.h"
#include "packunit.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QLocale>
#include <cmath>
#include <limits>

namespace {
// Limits in messages read like printf's "%g": six significant digits, no trailing zeros.
QString limitText(double v)
{
    return QString::asprintf("%g", v);
}

struct FieldLimits
{
    double min;
    double max;
};
} // namespace

float MainWindow::checkParameter(QWidget *field, const QString &text, double min, double max,
                                 const QString &message)
{
    auto *edit = static_cast<QLineEdit *>(field);
    QPalette palette = edit->palette();
    bool ok = false;
    const double parsed = QLocale::c().toDouble(text.trimmed(), &ok);
    float value = 0;
    if (ok) {
        // A number too large for a float becomes infinite, and so out of range.
        value = std::fabs(parsed) > std::numeric_limits<float>::max()
                    ? std::copysign(std::numeric_limits<float>::infinity(),
                                    static_cast<float>(parsed > 0 ? 1 : -1))
                    : static_cast<float>(parsed);
    }
    const double wide = static_cast<double>(value);
    QColor colour = Qt::black;
    if (wide < min || wide > max) {
        setMainStatusBar(message.arg(limitText(min), limitText(max)));
        edit->setText(QStringLiteral("0"));
        value = 0;
        colour = Qt::red;
    }
    palette.setColor(QPalette::Text, colour);
    edit->setPalette(palette);
    return value;
}

void MainWindow::on_comboMotor_currentIndexChanged(const QString &arg1)
{
    ui->labMotorID->setText(QStringLiteral("MotorID:") + arg1);
    QMutexLocker lock(&stateMutex);
    motorState.motorId = arg1.toInt(nullptr, 10);
}

void MainWindow::on_editPosition_textEdited(const QString &arg1)
{
    FieldLimits l;
    {
        QMutexLocker lock(&stateMutex);
        l = {limits.positionMin, limits.positionMax};
    }
    const float v =
        checkParameter(ui->editPosition, arg1, l.min, l.max,
                       QStringLiteral("Invalid data : Position should be within [%1,%2]"));
    {
        QMutexLocker lock(&stateMutex);
        motorState.cmdPosition = v;
    }
    plotPosition->setRefValue(v);
    plotPosition->repaint();
}

void MainWindow::on_editVelocity_textEdited(const QString &arg1)
{
    FieldLimits l;
    {
        QMutexLocker lock(&stateMutex);
        l = {limits.velocityMin, limits.velocityMax};
    }
    const float v =
        checkParameter(ui->editVelocity, arg1, l.min, l.max,
                       QStringLiteral("Invalid data : Velocity should be within [%1,%2]"));
    {
        QMutexLocker lock(&stateMutex);
        motorState.cmdVelocity = v;
    }
    plotVelocity->setRefValue(v);
    plotVelocity->repaint();
}

void MainWindow::on_editTorque_textEdited(const QString &arg1)
{
    FieldLimits l;
    {
        QMutexLocker lock(&stateMutex);
        l = {limits.torqueMin, limits.torqueMax};
    }
    const float v =
        checkParameter(ui->editTorque, arg1, l.min, l.max,
                       QStringLiteral("Invalid data : Torque should be within [%1,%2]"));
    {
        QMutexLocker lock(&stateMutex);
        motorState.cmdTorque = v;
    }
    // The torque command is drawn on the current plot.
    plotCurrent->setRefValue(v);
    plotCurrent->repaint();
}

void MainWindow::on_editkp_textEdited(const QString &arg1)
{
    FieldLimits l;
    {
        QMutexLocker lock(&stateMutex);
        l = {limits.kpMin, limits.kpMax};
    }
    const float v = checkParameter(ui->editkp, arg1, l.min, l.max,
                                   QStringLiteral("Invalid data : Kp should be within [%1,%2]"));
    QMutexLocker lock(&stateMutex);
    motorState.cmdKp = v;
}

void MainWindow::on_editKd_textEdited(const QString &arg1)
{
    FieldLimits l;
    {
        QMutexLocker lock(&stateMutex);
        l = {limits.kdMin, limits.kdMax};
    }
    const float v = checkParameter(ui->editKd, arg1, l.min, l.max,
                                   QStringLiteral("Invalid data : Kd should be within [%1,%2]"));
    QMutexLocker lock(&stateMutex);
    motorState.cmdKd = v;
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
    emit sendOnce(QString());
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
    emit sendOnce(word);
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
