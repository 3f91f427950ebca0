// The file buttons: save the histories to a recording, read one back; and the question
// before a recording that is in no file yet is thrown away.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "canvas.h"
#include "motorstate.h"
#include "myserialport.h"
#include "plotimage.h"
#include "saveunit.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
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

namespace {
const QStringList recordingTypes = {QStringLiteral("TXT files (*.txt)"),
                                    QStringLiteral("CSV (*.csv)")};

// "txt" of "TXT files (*.txt)".
QString suffixOf(const QString &type)
{
    const int star = type.lastIndexOf(QLatin1String("*."));
    return type.mid(star + 2).chopped(1);
}
} // namespace

QString MainWindow::askSaveFileName(const QString &title, const QStringList &types)
{
    QFileDialog dialog(this, title, m_recordingFolder);
    dialog.setNameFilters(types);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without a suffix gets the chosen type's, before the dialog asks
    // about replacing a file of that name.
    dialog.setDefaultSuffix(suffixOf(types.constFirst()));
    connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog](const QString &type) { dialog.setDefaultSuffix(suffixOf(type)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString name = dialog.selectedFiles().constFirst();
    rememberFolder(name);
    return name;
}

void MainWindow::saveRecordingAs(const QString &fileName)
{
    const bool csv = fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    requestRecording(csv ? &MainWindow::toCsv : &MainWindow::toTxt, fileName);
}

MainWindow::KeepChoice MainWindow::askToKeepRecording()
{
    qint64 samples = 0;
    {
        QMutexLocker lock(&stateMutex);
        samples = motorState.sampleCount;
    }
    if (!m_unsavedRun.needsQuestion(samples))
        return KeepChoice::Proceed;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvane"), UnsavedRun::question(samples),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.button(QMessageBox::Save)->setText(QStringLiteral("Save…"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    const int button = box.exec();
    const UnsavedRun::Answer answer = button == QMessageBox::Save      ? UnsavedRun::Answer::Save
                                      : button == QMessageBox::Discard ? UnsavedRun::Answer::Discard
                                                                       : UnsavedRun::Answer::Cancel;
    if (answer == UnsavedRun::Answer::Discard)
        discardJournal();
    switch (m_unsavedRun.answered(answer)) {
    case UnsavedRun::Outcome::Proceed:
        return KeepChoice::Proceed;
    case UnsavedRun::Outcome::SaveFirst: {
        // The run ends before it is saved, so the file holds all of it.
        if (isConnected() && m_onCan)
            closeCanLinkNow();
        else if (isConnected())
            serialPort->unConnect();
        const QString name =
            askSaveFileName(QStringLiteral("Korvane - Save To Txt"), recordingTypes);
        if (name.isEmpty())
            return KeepChoice::Cancel;
        saveRecordingAs(name);
        return KeepChoice::Saving;
    }
    case UnsavedRun::Outcome::Cancel:
        break;
    }
    return KeepChoice::Cancel;
}

bool MainWindow::recordingMayBeReplaced(std::function<void()> retry)
{
    switch (askToKeepRecording()) {
    case KeepChoice::Proceed:
        return true;
    case KeepChoice::Saving:
        runWhenIdle(std::move(retry));
        return false;
    case KeepChoice::Cancel:
        break;
    }
    return false;
}

void MainWindow::on_btnToTXT_clicked()
{
    const QString name = askSaveFileName(QStringLiteral("Korvane - Save To Txt"), recordingTypes);
    if (!name.isEmpty())
        saveRecordingAs(name);
}

void MainWindow::on_btnFromTXT_clicked()
{
    // Reading replaces the histories just as a connection does.
    if (!recordingMayBeReplaced([this] { on_btnFromTXT_clicked(); }))
        return;
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Korvane - Read from Txt"),
                                     m_recordingFolder, QStringLiteral("TXT files (*.txt)"));
    if (name.isEmpty())
        return;
    rememberFolder(name);
    requestRecording(&MainWindow::fromTxt, name);
}

// The three plots as they are shown, stacked in one image at the screen's pixel ratio.
// Painting widgets belongs to this thread, and one image is quick: no worker.
void MainWindow::on_btnToPNG_clicked()
{
    const QString name = askSaveFileName(QStringLiteral("Korvane - Save To Png"),
                                         {QStringLiteral("PNG images (*.png)")});
    if (name.isEmpty())
        return;
    // Plots on tabs never shown have not been laid out yet: give them the shown page's size.
    const QSize pageSize = ui->tabWidget->currentWidget()->size();
    const QVector<Canvas *> plots = {plotPosition, plotVelocity, plotCurrent};
    for (Canvas *plot : plots) {
        QWidget *page = plot->parentWidget();
        if (plot->isVisible() || !page)
            continue;
        page->resize(pageSize);
        if (page->layout())
            page->layout()->setGeometry(QRect(QPoint(0, 0), pageSize));
    }
    const QString error = savePng(plotsImage(plots, devicePixelRatioF()), name);
    if (!error.isEmpty()) {
        setBtnConfigText(QStringLiteral("SaveToPng failed"));
        msgBox(error);
        return;
    }
    setBtnConfigText(QStringLiteral("SaveToPng 100 %"));
}
