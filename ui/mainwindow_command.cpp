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

// The text as a float in the C locale; not a number gives 0, and a number too large
// for a float gives an infinity (and so lies out of range). The locale reads "nan" as
// a number, but a NaN command would pack as a limit: it is not a number either.
float parseParameter(const QString &text)
{
    bool ok = false;
    const double parsed = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || std::isnan(parsed))
        return 0;
    if (std::fabs(parsed) > std::numeric_limits<float>::max())
        return parsed > 0 ? std::numeric_limits<float>::infinity()
                          : -std::numeric_limits<float>::infinity();
    return static_cast<float>(parsed);
}
} // namespace

void MainWindow::editParameter(const ParameterField &field, const QString &text)
{
    double min = 0, max = 0;
    {
        QMutexLocker lock(&stateMutex);
        min = limits.*field.min;
        max = limits.*field.max;
    }
    QPalette palette = field.edit->palette();
    float value = parseParameter(text);
    QColor colour = Qt::black;
    if (static_cast<double>(value) < min || static_cast<double>(value) > max) {
        setMainStatusBar(QStringLiteral("Invalid data : %1 should be within [%2,%3]")
                             .arg(QLatin1String(field.name), limitText(min), limitText(max)));
        field.edit->setText(QStringLiteral("0"));
        value = 0;
        colour = Qt::red;
    }
    palette.setColor(QPalette::Text, colour);
    field.edit->setPalette(palette);
    {
        QMutexLocker lock(&stateMutex);
        motorState.*field.command = value;
    }
    if (field.plot) {
        field.plot->setRefValue(value);
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

void MainWindow::restoreParameters(const QStringList &texts)
{
    // A field's text is short; anything longer is not one of ours.
    constexpr int longestText = 32;
    const Limits now = currentLimits();
    const auto fields = parameterFields();
    for (int i = 0; i < int(fields.size()) && i < texts.size(); ++i) {
        const ParameterField &field = fields[size_t(i)];
        const QString &text = texts.at(i);
        bool ok = false;
        const double value = QLocale::c().toDouble(text.trimmed(), &ok);
        // NaN fails both comparisons; anything out of the Limits keeps the default.
        if (!ok || text.size() > longestText || !(value >= now.*field.min) ||
            !(value <= now.*field.max))
            continue;
        field.edit->setText(text);
        editParameter(field, text);
    }
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
