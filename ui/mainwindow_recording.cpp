// The file buttons: save the histories to a recording, read one back; and the question
// before a recording that is in no file yet is thrown away.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "motorstate.h"
#include "myserialport.h"
#include "saveunit.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

// Marks the histories as busy from the click on, not only once the worker starts, so a
// connection made while the request still waits in the worker's queue cannot reset
// them underneath it. The mark is lifted by a call queued right behind the request.
void MainWindow::requestRecording(void (MainWindow::*request)(QString), const QString &fileName)
{
    beginHistoryOperation();
    emit(this->*request)(fileName);
    QMetaObject::invokeMethod(
        saveUnit, [] { endHistoryOperation(); }, Qt::QueuedConnection);
}

QString MainWindow::askSaveFileName()
{
    QFileDialog dialog(this, QStringLiteral("Korvane - Save To Txt"), m_recordingFolder,
                       QStringLiteral("TXT files (*.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without a suffix gets ".txt", before the dialog asks about
    // replacing a file of that name.
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString name = dialog.selectedFiles().constFirst();
    rememberFolder(name);
    return name;
}

MainWindow::KeepChoice MainWindow::askToKeepRecording()
{
    qint64 samples = 0;
    {
        QMutexLocker lock(&stateMutex);
        samples = motorState.sampleCount;
    }
    if (!m_recordingUnsaved || samples <= 0)
        return KeepChoice::Proceed;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvane"),
                    QStringLiteral("The recording of %1 samples has not been saved.").arg(samples),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.button(QMessageBox::Save)->setText(QStringLiteral("Save…"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Discard:
        m_recordingUnsaved = false;
        return KeepChoice::Proceed;
    case QMessageBox::Save: {
        // The run ends before it is saved, so the file holds all of it.
        if (isConnected())
            serialPort->unConnect();
        const QString name = askSaveFileName();
        if (name.isEmpty())
            return KeepChoice::Cancel;
        requestRecording(&MainWindow::toTxt, name);
        return KeepChoice::Saving;
    }
    default:
        return KeepChoice::Cancel;
    }
}

void MainWindow::on_btnToTXT_clicked()
{
    const QString name = askSaveFileName();
    if (name.isEmpty())
        return;
    requestRecording(&MainWindow::toTxt, name);
}

void MainWindow::on_btnFromTXT_clicked()
{
    // Reading replaces the histories just as a connection does.
    switch (askToKeepRecording()) {
    case KeepChoice::Cancel:
        return;
    case KeepChoice::Saving:
        runWhenIdle([this] { on_btnFromTXT_clicked(); });
        return;
    case KeepChoice::Proceed:
        break;
    }
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Korvane - Read from Txt"),
                                     m_recordingFolder, QStringLiteral("TXT files (*.txt)"));
    if (name.isEmpty())
        return;
    rememberFolder(name);
    requestRecording(&MainWindow::fromTxt, name);
}

void MainWindow::on_btnToPNG_clicked()
{
    msgBox(QStringLiteral("Function not finished."));
}
