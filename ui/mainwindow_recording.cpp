// The file buttons: save the histories to a recording, read one back.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "motorstate.h"
#include "saveunit.h"

#include <QFileDialog>

namespace {
QString recordingDirectory()
{
    QMutexLocker lock(&stateMutex);
    return motorState.appDir;
}
} // namespace

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

void MainWindow::on_btnToTXT_clicked()
{
    const QString name =
        QFileDialog::getSaveFileName(this, QStringLiteral("Korvane - Save To Txt"),
                                     recordingDirectory(), QStringLiteral("TXT files (*.txt)"));
    if (name.isEmpty())
        return;
    requestRecording(&MainWindow::toTxt, name);
}

void MainWindow::on_btnFromTXT_clicked()
{
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Korvane - Read from Txt"),
                                     recordingDirectory(), QStringLiteral("TXT files (*.txt)"));
    if (name.isEmpty())
        return;
    requestRecording(&MainWindow::fromTxt, name);
}

void MainWindow::on_btnToPNG_clicked()
{
    msgBox(QStringLiteral("Function not finished."));
}
