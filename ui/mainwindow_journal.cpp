// The run journal: started with each connection, let go with the run, and the offer at
// start-up to recover the runs of instances that closed without saving them.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "changeboundryvalue.h"
#include "motorstate.h"
#include "runjournal.h"
#include "saveunit.h"

#include <QDateTime>
#include <QDir>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

void MainWindow::useJournal(const QString &folder)
{
    if (folder.isEmpty() || runJournal)
        return;
    m_journalFolder = folder;
    runJournal = new RunJournal();
    journalThread = new QThread();
    journalThread->setObjectName(QStringLiteral("journal"));
    runJournal->moveToThread(journalThread);
    journalThread->start(QThread::InheritPriority);
    connect(runJournal, &RunJournal::stopped, this, [this](const QString &reason) {
        setMainStatusBar(
            QStringLiteral("Run journal stopped: %1. The run continues in memory only.")
                .arg(reason));
    });
    connect(this, &MainWindow::recoverRun, saveUnit, &SaveUnit::recoverJournal);
    connect(saveUnit, &SaveUnit::journalRecovered, this, [this] {
        reloadLimits();
        limitsDialog->showLimits();
        // The recovered run can be saved at once, as after a disconnection.
        if (!isConnected()) {
            ui->btnToTXT->setEnabled(true);
            ui->btnToPNG->setEnabled(true);
        }
        if (!m_recoveringLock)
            return; // let go already, by a Discard answered before this arrived
        QMetaObject::invokeMethod(
            runJournal,
            [j = runJournal, path = m_recoveringPath, lock = std::move(m_recoveringLock)] {
                j->adopt(path, lock);
            },
            Qt::QueuedConnection);
    });
    offerJournals();
}

void MainWindow::offerJournals()
{
    m_offeringJournal = true;
    for (journal::Offer &offer : journal::unheldJournals(m_journalFolder)) {
        const journal::Info &info = offer.info;
        // A run that ended before its first sample leaves nothing to recover.
        if (info.readable && info.samples == 0 && info.droppedBytes == 0) {
            journal::remove(offer.path, offer.lock);
            continue;
        }
        const QString text =
            info.readable
                ? QStringLiteral("Korvane closed while a run of %1 samples from %2 had not been "
                                 "saved.")
                      .arg(info.samples)
                      .arg(QDateTime::fromMSecsSinceEpoch(info.header.startMs)
                               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                : QStringLiteral("The run journal %1 cannot be recovered: %2.")
                      .arg(QDir::toNativeSeparators(offer.path), info.error);
        QMessageBox box(QMessageBox::Question, QStringLiteral("Korvane"), text,
                        QMessageBox::Discard | QMessageBox::No, this);
        if (info.readable)
            box.addButton(QMessageBox::Yes)->setText(QStringLiteral("Recover"));
        box.button(QMessageBox::No)->setText(QStringLiteral("Later"));
        box.setDefaultButton(info.readable ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        const int button = box.exec();
        if (button == QMessageBox::Discard) {
            journal::remove(offer.path, offer.lock);
        } else if (button == QMessageBox::Yes) {
            // Unsaved from now on: the samples may be in the histories before the window
            // hears that the recovery has ended, and a close meanwhile must still ask.
            m_unsavedRun.started();
            m_recoveringPath = offer.path;
            m_recoveringLock = offer.lock;
            requestRecording(&MainWindow::recoverRun, offer.path);
            break; // the others wait for a later start
        }
    }
    m_offeringJournal = false;
}

void MainWindow::journalRunStarted()
{
    if (!runJournal)
        return;
    const qint32 baud = baudRateFromText(ui->comboBaudRate->currentText());
    qint32 motor = 0;
    {
        QMutexLocker lock(&stateMutex);
        motor = motorState.motorId;
    }
    QMetaObject::invokeMethod(
        runJournal,
        [j = runJournal, folder = m_journalFolder, baud, motor] { j->begin(folder, baud, motor); },
        Qt::QueuedConnection);
}

void MainWindow::journalRunEnded()
{
    if (runJournal)
        QMetaObject::invokeMethod(runJournal, &RunJournal::finish, Qt::QueuedConnection);
}

void MainWindow::discardJournal()
{
    if (m_recoveringLock)
        journal::remove(m_recoveringPath, m_recoveringLock);
    if (runJournal)
        QMetaObject::invokeMethod(runJournal, &RunJournal::discard, Qt::QueuedConnection);
}
