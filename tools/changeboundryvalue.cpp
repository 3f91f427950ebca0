#include "changeboundryvalue.h"
#include "ui_changeboundryvalue.h"

#include "motorstate.h"

#include <QMessageBox>
#include <QMutexLocker>
#include <QStringList>

ChangeBoundryValue::ChangeBoundryValue(QWidget *parent)
    : QDialog(parent), ui(new Ui::ChangeBoundryValue)
{
    ui->setupUi(this);
    setFixedSize(size());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("Korvane ChangeMaxMinWindow"));

    const auto spins = findChildren<QDoubleSpinBox *>(QString(), Qt::FindDirectChildrenOnly);
    for (QDoubleSpinBox *spin : spins)
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                &ChangeBoundryValue::uiBtnEnabled);
    showLimits();
}

void ChangeBoundryValue::showLimits()
{
    const Limits now = currentLimits();
    ui->spinPosMin->setValue(now.positionMin);
    ui->spinPosMax->setValue(now.positionMax);
    ui->spinVelMin->setValue(now.velocityMin);
    ui->spinVelMax->setValue(now.velocityMax);
    ui->spinTorMin->setValue(now.torqueMin);
    ui->spinTorMax->setValue(now.torqueMax);
    ui->spinCurMin->setValue(now.currentMin);
    ui->spinCurMax->setValue(now.currentMax);
    ui->spinKdMin->setValue(now.kdMin);
    ui->spinKdMax->setValue(now.kdMax);
    ui->spinKpMin->setValue(now.kpMin);
    ui->spinKpMax->setValue(now.kpMax);
    // Showing the Limits leaves nothing to apply.
    ui->btnApply->setEnabled(false);
    ui->btnApply->setText(QStringLiteral("No changed to apply"));
}

ChangeBoundryValue::~ChangeBoundryValue()
{
    delete ui;
}

void ChangeBoundryValue::uiBtnEnabled()
{
    ui->btnApply->setText(QStringLiteral("Apply"));
    ui->btnApply->setEnabled(true);
}

void ChangeBoundryValue::on_btnApply_clicked()
{
    // A pair with no span would make the fixed-point conversions divide by zero, and
    // a reversed one would push codes outside their fields.
    struct Pair
    {
        const char *name;
        const QDoubleSpinBox *min;
        const QDoubleSpinBox *max;
    };
    const Pair pairs[] = {
        {"Position", ui->spinPosMin, ui->spinPosMax}, {"Velocity", ui->spinVelMin, ui->spinVelMax},
        {"Torque", ui->spinTorMin, ui->spinTorMax},   {"Current", ui->spinCurMin, ui->spinCurMax},
        {"Kd", ui->spinKdMin, ui->spinKdMax},         {"Kp", ui->spinKpMin, ui->spinKpMax}};
    QStringList problems;
    for (const Pair &pair : pairs) {
        if (!(pair.min->value() < pair.max->value()))
            problems << QStringLiteral("%1 Minimum Value must be below %1 Maximum Value.")
                            .arg(QLatin1String(pair.name));
    }
    if (!problems.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Korvane"), problems.join(QLatin1Char('\n')));
        return;
    }

    {
        QMutexLocker lock(&stateMutex);
        limits.kdMax = ui->spinKdMax->value();
        limits.kdMin = ui->spinKdMin->value();
        limits.kpMax = ui->spinKpMax->value();
        limits.kpMin = ui->spinKpMin->value();
        limits.positionMax = ui->spinPosMax->value();
        limits.positionMin = ui->spinPosMin->value();
        limits.velocityMax = ui->spinVelMax->value();
        limits.velocityMin = ui->spinVelMin->value();
        limits.currentMax = ui->spinCurMax->value();
        limits.currentMin = ui->spinCurMin->value();
        limits.torqueMax = ui->spinTorMax->value();
        limits.torqueMin = ui->spinTorMin->value();
    }

    ui->btnApply->setEnabled(false);
    ui->btnApply->setText(QStringLiteral("No change to apply"));
    emit MaxMinDataNeedReload();
}
