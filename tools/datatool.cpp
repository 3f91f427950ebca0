#include "datatool.h"
#include "ui_datatool.h"

#include "framemath.h"
#include "frames.h"
#include "motorstate.h"

#include <QLineEdit>
#include <QMutexLocker>
#include <QPalette>

namespace {

// Clamped first: a value the spin box still allows may lie outside Limits changed
// since, and its code would then overflow the field and wrap into a wrong one.
qint32 boundedCode(double value, double min, double max, qint32 bits)
{
    const float lo = float(min);
    const float hi = float(max);
    return floatToFixed(qBound(lo, float(value), hi), lo, hi, bits);
}

float valueOf(qint32 code, double min, double max, qint32 bits)
{
    return fixedToFloat(code, float(min), float(max), bits);
}

// Hex, any case; empty or unreadable text counts as 0 and only the low 8 bits count.
quint8 byteFromText(const QString &text)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 16);
    return ok ? quint8(value & 0xFF) : 0;
}

} // namespace

DataTool::DataTool(QWidget *parent) : QDialog(parent), ui(new Ui::DataTool)
{
    ui->setupUi(this);
    setFixedSize(400, 300);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("Korvane DataToolWindow"));

    reloadLimits();
    for (QDoubleSpinBox *spin : {ui->ParaPos, ui->ParaVel, ui->ParaTor, ui->ParaKp, ui->ParaKd})
        spin->setValue(0);

    QPalette blueText;
    blueText.setColor(QPalette::Text, Qt::blue);
    for (QLineEdit *edit :
         {ui->Can1, ui->Can2, ui->Can3, ui->Can4, ui->Can5, ui->Can6, ui->Can7, ui->Can8})
        edit->setPalette(blueText);
    for (QDoubleSpinBox *spin : {ui->ParaPos, ui->ParaVel, ui->ParaTor, ui->ParaKp, ui->ParaKd})
        spin->setPalette(blueText);

    on_btnToCan_clicked();
}

DataTool::~DataTool()
{
    delete ui;
}

void DataTool::reloadLimits()
{
    const Limits l = currentLimits();
    ui->ParaPos->setRange(l.positionMin, l.positionMax);
    ui->ParaVel->setRange(l.velocityMin, l.velocityMax);
    ui->ParaTor->setRange(l.torqueMin, l.torqueMax);
    ui->ParaKp->setRange(l.kpMin, l.kpMax);
    ui->ParaKd->setRange(l.kdMin, l.kdMax);
}

void DataTool::on_btnToCan_clicked()
{
    const Limits l = currentLimits();
    PayloadCodes codes;
    codes.position = boundedCode(ui->ParaPos->value(), l.positionMin, l.positionMax, 16);
    codes.velocity = boundedCode(ui->ParaVel->value(), l.velocityMin, l.velocityMax, 12);
    codes.kp = boundedCode(ui->ParaKp->value(), l.kpMin, l.kpMax, 12);
    codes.kd = boundedCode(ui->ParaKd->value(), l.kdMin, l.kdMax, 12);
    codes.torque = boundedCode(ui->ParaTor->value(), l.torqueMin, l.torqueMax, 12);

    quint8 payload[payloadLength];
    packPayload(codes, payload);
    QLineEdit *const fields[payloadLength] = {ui->Can1, ui->Can2, ui->Can3, ui->Can4,
                                              ui->Can5, ui->Can6, ui->Can7, ui->Can8};
    for (int i = 0; i < payloadLength; ++i)
        fields[i]->setText(QStringLiteral("%1").arg(payload[i], 2, 16, QLatin1Char('0')));
}

void DataTool::on_btnToPara_clicked()
{
    const QLineEdit *const fields[payloadLength] = {ui->Can1, ui->Can2, ui->Can3, ui->Can4,
                                                    ui->Can5, ui->Can6, ui->Can7, ui->Can8};
    quint8 payload[payloadLength];
    for (int i = 0; i < payloadLength; ++i)
        payload[i] = byteFromText(fields[i]->text());
    const PayloadCodes codes = unpackPayload(payload);

    const Limits l = currentLimits();
    ui->ParaPos->setValue(valueOf(codes.position, l.positionMin, l.positionMax, 16));
    ui->ParaVel->setValue(valueOf(codes.velocity, l.velocityMin, l.velocityMax, 12));
    ui->ParaTor->setValue(valueOf(codes.torque, l.torqueMin, l.torqueMax, 12));
    ui->ParaKd->setValue(valueOf(codes.kd, l.kdMin, l.kdMax, 12));
    ui->ParaKp->setValue(valueOf(codes.kp, l.kpMin, l.kpMax, 12));
}
