// What the window remembers between runs, and the choices of the command line.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "canvas.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace {
// The layout of the settings this build writes; a store written by a later build is
// left alone rather than half understood.
constexpr int settingsVersion = 1;

const QString versionKey = QStringLiteral("settingsVersion");
const QString portKey = QStringLiteral("port/location");
const QString baudKey = QStringLiteral("port/baudRate");
const QString motorKey = QStringLiteral("motor/id");
const QString fieldsKey = QStringLiteral("command/fields");
const QString referencesKey = QStringLiteral("command/referenceLines");
const QString geometryKey = QStringLiteral("window/geometry");
const QString folderKey = QStringLiteral("recording/folder");
const QString hintKey = QStringLiteral("plot/hintVisible");

// A whole number stored under `key` within [min, max], or `fallback`.
int storedWhole(const QSettings &store, const QString &key, int min, int max, int fallback)
{
    bool ok = false;
    const int v = store.value(key).toInt(&ok);
    return ok && v >= min && v <= max ? v : fallback;
}

} // namespace

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
    if (!store)
        return;
    if (store->status() == QSettings::NoError &&
        store->value(versionKey, settingsVersion).toInt() > settingsVersion)
        return; // a later build's: neither read nor overwritten
    m_settings = store;
    if (store->status() == QSettings::NoError)
        restoreSettings();
}

void MainWindow::restoreSettings()
{
    const QSettings &store = *m_settings;
    m_startPort = store.value(portKey).toString();

    const int baud = storedWhole(store, baudKey, minBaudRate, maxBaudRate, 0);
    if (baud > 0) {
        const int item = ui->comboBaudRate->findData(baud);
        if (item >= 0) {
            ui->comboBaudRate->setCurrentIndex(item);
        } else { // the Custom entry, as if typed
            ui->comboBaudRate->setCurrentIndex(ui->comboBaudRate->findData(0));
            on_comboBaudRate_activated(ui->comboBaudRate->currentIndex());
            ui->comboBaudRate->setEditText(QString::number(baud));
        }
    }
    ui->comboMotor->setCurrentIndex(storedWhole(store, motorKey, 0, 255, 0));
    restoreParameters(store.value(fieldsKey).toStringList());

    const QStringList references = store.value(referencesKey).toStringList();
    if (references.size() == 3) {
        ui->ckbPosion->setChecked(references.at(0) == QLatin1String("1"));
        ui->ckbVelocity->setChecked(references.at(1) == QLatin1String("1"));
        ui->ckbTorque->setChecked(references.at(2) == QLatin1String("1"));
    }

    // Qt puts a window saved on a screen that is gone back onto one that is there, and
    // ignores bytes that are no geometry.
    restoreGeometry(store.value(geometryKey).toByteArray());

    // Only a plain "false" hides the hint: it is closed once and for all.
    Canvas::setHintVisible(store.value(hintKey).toString() != QLatin1String("false"));

    const QString folder = store.value(folderKey).toString();
    if (!folder.isEmpty() && QDir(folder).exists())
        m_recordingFolder = folder;
}

void MainWindow::saveSettings()
{
    if (!m_settings)
        return;
    QSettings &store = *m_settings;
    store.setValue(versionKey, settingsVersion);
    const int port = ui->comboPort->currentIndex();
    if (port >= 0 && port < portList.size())
        store.setValue(portKey, portList.at(port).location);
    bool ok = false;
    const int baud = ui->comboBaudRate->currentText().toInt(&ok, 10);
    if (ok && baud >= minBaudRate && baud <= maxBaudRate)
        store.setValue(baudKey, baud);
    store.setValue(motorKey, ui->comboMotor->currentIndex());
    store.setValue(fieldsKey, parameterTexts());
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    store.setValue(referencesKey,
                   QStringList{flag(ui->ckbPosion->isChecked()), flag(ui->ckbVelocity->isChecked()),
                               flag(ui->ckbTorque->isChecked())});
    store.setValue(geometryKey, saveGeometry());
    store.setValue(folderKey, m_recordingFolder);
    store.setValue(hintKey, Canvas::hintVisible());
    store.sync();
}

void MainWindow::rememberFolder(const QString &fileName)
{
    m_recordingFolder = QFileInfo(fileName).absolutePath();
    if (m_settings)
        m_settings->setValue(folderKey, m_recordingFolder);
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

QList<PortEntry> MainWindow::portEntries(const QList<QSerialPortInfo> &systemPorts) const
{
    QStringList more;
    if (!m_namedPort.isEmpty()) {
        bool listed = false;
        for (const QSerialPortInfo &info : systemPorts)
            listed =
                listed || info.systemLocation() == m_namedPort || info.portName() == m_namedPort;
        if (!listed)
            more << m_namedPort;
    }
    return availablePortEntries(systemPorts, more);
}

void MainWindow::selectStartPort()
{
    const QString wanted = std::exchange(m_startPort, QString());
    const bool named = !wanted.isEmpty() && wanted == m_namedPort;
    bool found = false;
    for (int i = 0; i < portList.size() && !found && !wanted.isEmpty(); ++i) {
        if (portList.at(i).location == wanted || portList.at(i).name == wanted) {
            ui->comboPort->setCurrentIndex(i);
            found = true;
        }
    }
    if (named && !found)
        setMainStatusBar(QStringLiteral("Port %1 was not found.").arg(wanted));
    if (std::exchange(m_connectAtStart, false)) {
        if (named && !found)
            return; // never a port other than the one asked for
        if (portList.isEmpty())
            setMainStatusBar(QStringLiteral("No port to connect to."));
        else
            on_btnConnect_clicked();
    }
}
