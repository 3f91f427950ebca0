// The file buttons: save the histories to a recording, read one back.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "motorstate.h"

#include <QFileDialog>

namespace {
QString recordingDirectory()
{
    QMutexLocker lock(&stateMutex);
    return motorState.appDir;
}
} // namespace

void MainWindow::on_btnToTXT_clicked()
{
    const QString name =
        QFileDialog::getSaveFileName(this, QStringLiteral("Korvane - Save To Txt"),
                                     recordingDirectory(), QStringLiteral("TXT files (*.txt)"));
    if (name.isEmpty())
        return;
    emit toTxt(name);
}

void MainWindow::on_btnFromTXT_clicked()
{
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Korvane - Read from Txt"),
                                     recordingDirectory(), QStringLiteral("TXT files (*.txt)"));
    if (name.isEmpty())
        return;
    emit fromTxt(name);
}

void MainWindow::on_btnToPNG_clicked()
{
    msgBox(QStringLiteral("Function not finished."));
}
