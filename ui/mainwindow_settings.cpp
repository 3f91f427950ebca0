// What the window remembers between runs, and the choices of the command line.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "canvas.h"
#include "motorstate.h"
#include "rememberedchoices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

QString defaultRecordingFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(documents).exists())
        return documents;
    return QDir::homePath();
}

void MainWindow::useSettings(QSettings *store)
{
    m_settings = nullptr;
    if (!store || RememberedChoices::writtenByLaterBuild(*store))
        return;
    m_settings = store;
    if (store->status() == QSettings::NoError)
        restoreSettings();
    watchSettings();
}

// A crash or a kill keeps every choice made more than a second before it.
void MainWindow::watchSettings()
{
    if (m_settingsTimer)
        return;
    m_settingsTimer = new QTimer(this);
    m_settingsTimer->setSingleShot(true);
    m_settingsTimer->setInterval(1000);
    connect(m_settingsTimer, &QTimer::timeout, this, &MainWindow::saveSettings);
    const auto changed = [this] { scheduleSettingsSave(); };
    for (QComboBox *box : {ui->comboPort, ui->comboBaudRate, ui->comboMotor}) {
        connect(box, &QComboBox::currentTextChanged, this, changed);
        connect(box, &QComboBox::editTextChanged, this, changed);
    }
    for (const ParameterField &field : parameterFields())
        connect(field.edit, &QLineEdit::textChanged, this, changed);
    for (QCheckBox *box : {ui->ckbPosion, ui->ckbVelocity, ui->ckbTorque})
        connect(box, &QCheckBox::toggled, this, changed);
}

void MainWindow::scheduleSettingsSave()
{
    // Not restarted by later changes: a steady stream of them is still written every second.
    if (m_settings && m_settingsTimer && !m_settingsTimer->isActive())
        m_settingsTimer->start();
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    scheduleSettingsSave();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    scheduleSettingsSave();
}

void MainWindow::restoreSettings()
{
    const RememberedChoices choices = RememberedChoices::read(*m_settings, currentLimits());
    m_startPort = choices.port;
    if (choices.baudRate > 0) {
        const int item = ui->comboBaudRate->findData(choices.baudRate);
        if (item >= 0) {
            ui->comboBaudRate->setCurrentIndex(item);
        } else { // the Custom entry, as if typed
            ui->comboBaudRate->setCurrentIndex(ui->comboBaudRate->findData(0));
            on_comboBaudRate_activated(ui->comboBaudRate->currentIndex());
            ui->comboBaudRate->setEditText(QString::number(choices.baudRate));
        }
    }
    ui->comboMotor->setCurrentIndex(choices.motorId);
    const auto fields = parameterFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const QString text = choices.fields.value(int(i));
        if (text.isEmpty())
            continue;
        fields[i].edit->setText(text);
        editParameter(fields[i], text);
    }
    if (choices.referenceLines.size() == 3) {
        ui->ckbPosion->setChecked(choices.referenceLines.at(0));
        ui->ckbVelocity->setChecked(choices.referenceLines.at(1));
        ui->ckbTorque->setChecked(choices.referenceLines.at(2));
    }
    restoreGeometry(choices.geometry);
    Canvas::setHintVisible(choices.hintVisible);
    Canvas::setSecondsAxis(choices.secondsAxis);
    if (!choices.recordingFolder.isEmpty())
        m_recordingFolder = choices.recordingFolder;
}

void MainWindow::saveSettings()
{
    if (!m_settings)
        return;
    RememberedChoices choices;
    const int port = ui->comboPort->currentIndex();
    if (port >= 0 && port < portList.size())
        choices.port = portList.at(port).location;
    choices.baudRate = baudRateFromText(ui->comboBaudRate->currentText());
    choices.motorId = ui->comboMotor->currentIndex();
    choices.fields = parameterTexts();
    choices.referenceLines = {ui->ckbPosion->isChecked(), ui->ckbVelocity->isChecked(),
                              ui->ckbTorque->isChecked()};
    choices.geometry = saveGeometry();
    choices.recordingFolder = m_recordingFolder;
    choices.hintVisible = Canvas::hintVisible();
    choices.secondsAxis = Canvas::secondsAxis();
    choices.write(*m_settings);
    m_settings->sync();
}

void MainWindow::rememberFolder(const QString &fileName)
{
    m_recordingFolder = QFileInfo(fileName).absolutePath();
    if (m_settings)
        RememberedChoices::writeRecordingFolder(*m_settings, m_recordingFolder);
}

void MainWindow::applyStartOptions(const StartOptions &options)
{
    if (!options.port.isEmpty()) {
        m_startPort = options.port;
        m_namedPort = options.port;
    }
    if (options.baud > 0) {
        const int item = ui->comboBaudRate->findData(options.baud);
        ui->comboBaudRate->setCurrentIndex(item >= 0 ? item : ui->comboBaudRate->findData(0));
        on_comboBaudRate_activated(ui->comboBaudRate->currentIndex());
        if (item < 0)
            ui->comboBaudRate->setEditText(QString::number(options.baud));
    }
    if (options.motorId >= 0)
        ui->comboMotor->setCurrentIndex(options.motorId);
    m_connectAtStart = options.connect;
}

void MainWindow::selectStartPort()
{
    const QString wanted = std::exchange(m_startPort, QString());
    const StartPortChoice choice = chooseStartPort(portList, wanted, wanted == m_namedPort,
                                                   std::exchange(m_connectAtStart, false));
    if (choice.index >= 0)
        ui->comboPort->setCurrentIndex(choice.index);
    if (!choice.message.isEmpty())
        setMainStatusBar(choice.message);
    if (choice.connect)
        on_btnConnect_clicked();
}
