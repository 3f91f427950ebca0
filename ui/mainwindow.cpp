#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "backdrop.h"
#include "canvas.h"
#include "changeboundryvalue.h"
#include "datapaths.h"
#include "datatool.h"
#include "doublecanvas.h"
#include "korvane_version.h"
#include "motorstate.h"
#include "myserialport.h"
#include "packunit.h"
#include "runjournal.h"
#include "saveunit.h"
#include "widgetstate.h"
#include "windowfit.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QThread>
#include <QTimer>

namespace {
constexpr int threadStopTimeoutMs = 3000;
// The window's size where the screen has room for it.
constexpr QSize designSize(1374, 843);
constexpr int keyNudgeIntervalMs = 100;
// How often a close that waits for the recording worker looks again.
constexpr int closePollMs = 50;

// Replaces a placeholder in whatever layout holds it, then deletes the placeholder.
void replacePlaceholder(QWidget *container, QWidget *placeholder, QWidget *replacement)
{
    QLayout *layout = placeholder->parentWidget() ? placeholder->parentWidget()->layout() : nullptr;
    if (container && container->layout())
        layout = container->layout();
    if (layout) {
        QLayoutItem *old =
            layout->replaceWidget(placeholder, replacement, Qt::FindChildrenRecursively);
        delete old;
    }
    delete placeholder;
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), m_statusLine(PackUnit::errorRatePrefix())
{
    ui->setupUi(this);
    m_clock.start();

    dataTool = new DataTool(this);
    limitsDialog = new ChangeBoundryValue(this);
    connect(limitsDialog, &ChangeBoundryValue::MaxMinDataNeedReload, limitsDialog,
            [this] { reloadLimits(); });

    setWindowTitle(QStringLiteral("Korvane MainWindow"));

    labMainStatus = new QLabel(QStringLiteral("Program run"), this);
    labMainStatus->setObjectName(QStringLiteral("labMainStatus"));
    QPalette statusPalette = labMainStatus->palette();
    statusPalette.setColor(QPalette::WindowText, Qt::red);
    labMainStatus->setPalette(statusPalette);
    ui->statusBar->addWidget(labMainStatus, 0);

    btnConfig = new QPushButton(QStringLiteral("Motor Config Complete"), this);
    btnConfig->setObjectName(QStringLiteral("btnConfig"));
    btnConfig->setAttribute(Qt::WA_StyledBackground, true);
    btnConfig->setAutoFillBackground(true);
    QPalette configPalette = btnConfig->palette();
    configPalette.setColor(QPalette::Window, Qt::darkGreen);
    configPalette.setColor(QPalette::Button, Qt::darkGreen);
    configPalette.setColor(QPalette::ButtonText, Qt::white);
    btnConfig->setPalette(configPalette);
    ui->statusBar->addPermanentWidget(btnConfig, 0);

    m_nudgeTimer = new QTimer(this);
    m_nudgeTimer->setSingleShot(true);
    m_nudgeTimer->setInterval(keyNudgeIntervalMs);
    connect(m_nudgeTimer, &QTimer::timeout, this, &MainWindow::keyPressing);
    m_rateTimer = new QTimer(this);
    m_rateTimer->setSingleShot(true);
    connect(m_rateTimer, &QTimer::timeout, this, &MainWindow::showDueRate);

    startWorkers();

    // Initial enabled states: nothing that needs a connection responds yet.
    setEnabledAll({ui->btnRun, ui->btnStop, ui->btnDisplay, ui->btnKeyControl, ui->btnToTXT,
                   ui->btnToPNG, ui->btnMotorMode, ui->btnMotorExit, ui->btnZeroPos,
                   ui->btnSendOnce, ui->comboMotor, ui->editKd, ui->editkp, ui->editPosition,
                   ui->editTorque, ui->editVelocity, ui->ckbPosion, ui->ckbVelocity, ui->ckbTorque},
                  false);
    ui->editConfig->setReadOnly(true);
    ui->tabWidget->setCurrentIndex(0);
    ui->tab_con->setEnabled(false);

    const QList<QPair<QString, int>> baudRates = {{QStringLiteral("921600"), 921600},
                                                  {QStringLiteral("115200"), 115200},
                                                  {QStringLiteral("57600"), 57600},
                                                  {QStringLiteral("9600"), 9600},
                                                  {QStringLiteral("Custom"), 0}};
    for (const auto &rate : baudRates)
        ui->comboBaudRate->addItem(rate.first, rate.second);
    // Adding the first item selects it, which sets the motor ID label and motorId.
    for (int id = 0; id < 256; ++id)
        ui->comboMotor->addItem(QString::number(id), id);

    createPlots();
    createBars();

    loadLogo();
    ui->label_LOGO->setToolTip(QStringLiteral("About Korvane"));
    ui->label_LOGO->installEventFilter(this);
    ui->HScroll->installEventFilter(this);
    m_recordingFolder = defaultRecordingFolder();
    QTimer::singleShot(100, this, &MainWindow::getUsbInfo);
}

MainWindow::~MainWindow()
{
    shutDownWorkers();
    delete ui;
    ui = nullptr;
    delete dataTool;
    dataTool = nullptr;
    delete limitsDialog;
    limitsDialog = nullptr;
}

void MainWindow::startWorkers()
{
    serialPort = new MySerialPort();
    packUnit = new PackUnit();
    saveUnit = new SaveUnit();
    serialThread = new QThread();
    packThread = new QThread();
    saveThread = new QThread();
    // Named, so that top, perf and the benchmarks tell the workers apart.
    serialThread->setObjectName(QStringLiteral("link"));
    packThread->setObjectName(QStringLiteral("decoder"));
    saveThread->setObjectName(QStringLiteral("saving"));
    saveUnit->moveToThread(saveThread);
    serialPort->moveToThread(serialThread);
    packUnit->moveToThread(packThread);
    serialThread->start(QThread::InheritPriority);
    packThread->start(QThread::InheritPriority);
    saveThread->start(QThread::InheritPriority);

    connect(saveUnit, &SaveUnit::configText, this, &MainWindow::setBtnConfigText);
    connect(saveUnit, &SaveUnit::uiRepaint, this, &MainWindow::uiRepaint);
    connect(saveUnit, &SaveUnit::uiFlush, this, &MainWindow::uiFlush);
    connect(saveUnit, &SaveUnit::statusMsg, this, &MainWindow::setMainStatusBar);
    connect(saveUnit, &SaveUnit::msgBox, this, &MainWindow::msgBox);
    connect(saveUnit, &SaveUnit::recordingKept, this, [this] {
        m_unsavedRun.kept();
        discardJournal();
    });
    connect(packUnit, &PackUnit::statusMsg, this, &MainWindow::setMainStatusBar);
    connect(packUnit, &PackUnit::msgBox, this, &MainWindow::msgBox);
    connect(serialPort, &MySerialPort::connectFailed, this, &MainWindow::connectFailed);
    connect(serialPort, &MySerialPort::connectSucceed, this, &MainWindow::connectSucceed);
    connect(serialPort, &MySerialPort::unConnectFailed, this, &MainWindow::unConnectFailed);
    connect(serialPort, &MySerialPort::unConnectSucceed, this, &MainWindow::unConnectSucceed);
    connect(serialPort, &MySerialPort::toDisplaySecceed, this, &MainWindow::toDisplaySucceed);
    connect(serialPort, &MySerialPort::toDisplayFailed, this, &MainWindow::toDisplayFailed);
    connect(serialPort, &MySerialPort::toConfigSecceed, this, &MainWindow::toConfigSucceed);
    connect(serialPort, &MySerialPort::toConfigFailed, this, &MainWindow::toConfigFailed);
    connect(serialPort, &MySerialPort::statusMsg, this, &MainWindow::setMainStatusBar);
    connect(serialPort, &MySerialPort::msgBox, this, &MainWindow::msgBox);
    connect(serialPort, &MySerialPort::appendConfigText, this, &MainWindow::appendConfigText);
    connect(this, &MainWindow::needRepack, packUnit, &PackUnit::rePack);
    connect(this, &MainWindow::sendConfigText, serialPort, &MySerialPort::sendConfigText);
    connect(this, &MainWindow::changeToConfig, serialPort, &MySerialPort::changeToConfig);
    connect(this, &MainWindow::changeToDisplay, serialPort, &MySerialPort::changeToDisplay);
    connect(this, &MainWindow::portConnect, serialPort, &MySerialPort::connect);
    connect(this, &MainWindow::portUnConnect, serialPort, &MySerialPort::unConnect);
    connect(this, &MainWindow::toTxt, saveUnit, &SaveUnit::saveToTxt);
    connect(this, &MainWindow::toCsv, saveUnit, &SaveUnit::saveToCsv);
    connect(this, &MainWindow::toPng, saveUnit, &SaveUnit::saveToPng);
    connect(this, &MainWindow::fromTxt, saveUnit, &SaveUnit::readFromTxt);
    connect(this, &MainWindow::sendOnce, serialPort, &MySerialPort::sendOnce);
    startCanLink();
}

void MainWindow::createPlots()
{
    struct PlotPlace
    {
        Canvas **plot;
        QWidget *page;
        QWidget *placeholder;
        int channel;
        double min;
        double max;
        const char *name;
    };
    const Limits now = currentLimits();
    const PlotPlace places[] = {
        {&plotPosition, ui->tab_pos, ui->widget, PositionChannel, now.positionMin, now.positionMax,
         "plotPosition"},
        {&plotVelocity, ui->tab_vel, ui->widget_2, VelocityChannel, now.velocityMin,
         now.velocityMax, "plotVelocity"},
        {&plotCurrent, ui->tab_cur, ui->widget_3, CurrentChannel, now.currentMin, now.currentMax,
         "plotCurrent"},
    };
    for (const PlotPlace &p : places) {
        Canvas *plot = new Canvas(p.page);
        plot->setObjectName(QLatin1String(p.name));
        plot->setChannel(p.channel);
        plot->setLimits(static_cast<float>(p.min), static_cast<float>(p.max));
        plot->setView(static_cast<float>(p.min), static_cast<float>(p.max));
        plot->setXLimit(2000);
        plot->setXRange(0, 2000);
        replacePlaceholder(p.page, p.placeholder, plot);
        connect(plot, &Canvas::reCalculateHScroll, this, &MainWindow::reCalculateHScroll);
        connect(plot, &Canvas::hintDismissed, this, [this] { saveSettings(); });
        connect(plot, &Canvas::secondsAxisChanged, this, [this] {
            for (Canvas *each : {plotPosition, plotVelocity, plotCurrent})
                each->update();
            saveSettings();
        });
        *p.plot = plot;
    }
    ui->widget = ui->widget_2 = ui->widget_3 = nullptr;
}

void MainWindow::createBars()
{
    struct BarPlace
    {
        DoubleCanvas **bar;
        QLabel *placeholder;
        double min;
        double max;
        const char *name;
    };
    const Limits now = currentLimits();
    const BarPlace places[] = {
        {&barPosition, ui->labCustomBarPos, now.positionMin, now.positionMax, "barPosition"},
        {&barVelocity, ui->labCustomBarVel, now.velocityMin, now.velocityMax, "barVelocity"},
        {&barCurrent, ui->labCustomBarCur, now.currentMin, now.currentMax, "barCurrent"},
    };
    for (const BarPlace &b : places) {
        DoubleCanvas *bar = new DoubleCanvas(ui->groupBoxInfo);
        bar->setObjectName(QLatin1String(b.name));
        bar->setFixedSize(252, 20);
        bar->setAll(static_cast<float>(b.max), static_cast<float>(b.min), 0, 0);
        QLayoutItem *old =
            ui->verticalLayout_7->replaceWidget(b.placeholder, bar, Qt::FindChildrenRecursively);
        delete old;
        delete b.placeholder;
        *b.bar = bar;
    }
    ui->labCustomBarPos = ui->labCustomBarVel = ui->labCustomBarCur = nullptr;

    // The run's time and the rate of its feedback, in the readout's font.
    for (QLabel **label : {&labElapsed, &labFeedbackRate}) {
        *label = new QLabel(ui->groupBoxInfo);
        (*label)->setFont(ui->labPosition->font());
        ui->verticalLayout_7->addWidget(*label);
    }
    labElapsed->setObjectName(QStringLiteral("labElapsed"));
    labElapsed->setText(elapsedText(0));
    labFeedbackRate->setObjectName(QStringLiteral("labFeedbackRate"));
    labFeedbackRate->setText(FeedbackRate::text(0));

    // The readout changes ten times a second: each of its labels paints over an image of
    // the group box beneath it rather than having the group box repainted under it.
    auto *backdrops = new Backdrops(this);
    for (QLabel *label :
         {ui->labPosition, ui->labVelocity, ui->labCurrent, labElapsed, labFeedbackRate})
        backdrops->add(label);
}

void MainWindow::loadLogo()
{
    QString appDir;
    {
        QMutexLocker lock(&stateMutex);
        appDir = motorState.appDir;
    }
    // Beside the executable first, then where an installation keeps it.
    const QString found = findLogo(appDir);
    if (!found.isEmpty()) {
        QPixmap logo(found);
        if (!logo.isNull()) {
            ui->label_LOGO->setPixmap(logo);
            return;
        }
    }
    const QString path = found.isEmpty() ? logoCandidates(appDir).constFirst() : found;
    msgBox(QStringLiteral("Can not find Logo file\n") + path);
}

void MainWindow::reloadLimits()
{
    const Limits now = currentLimits();
    barCurrent->setRange(static_cast<float>(now.currentMin), static_cast<float>(now.currentMax));
    barPosition->setRange(static_cast<float>(now.positionMin), static_cast<float>(now.positionMax));
    barVelocity->setRange(static_cast<float>(now.velocityMin), static_cast<float>(now.velocityMax));
    plotVelocity->setLimits(static_cast<float>(now.velocityMin),
                            static_cast<float>(now.velocityMax));
    plotPosition->setLimits(static_cast<float>(now.positionMin),
                            static_cast<float>(now.positionMax));
    plotCurrent->setLimits(static_cast<float>(now.currentMin), static_cast<float>(now.currentMax));
    // The conversion tool's ranges follow the Limits too.
    dataTool->reloadLimits();
}

void MainWindow::setMainStatusBar(QString text)
{
    const qint64 now = m_clock.elapsed();
    if (m_statusLine.post(text, now))
        labMainStatus->setText(text);
    const qint64 due = m_statusLine.rateDueAt();
    if (due >= 0)
        m_rateTimer->start(int(qMax<qint64>(0, due - now)));
}

void MainWindow::showDueRate()
{
    const QString rate = m_statusLine.takeDueRate(m_clock.elapsed());
    if (!rate.isEmpty())
        labMainStatus->setText(rate);
    else if (m_statusLine.rateDueAt() >= 0) // woken early: wait for the rest of the hold
        m_rateTimer->start(int(qMax<qint64>(1, m_statusLine.rateDueAt() - m_clock.elapsed())));
}

void MainWindow::setBtnConfigText(QString text)
{
    btnConfig->setText(text);
}

void MainWindow::msgBox(QString text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Korvane"), text, QMessageBox::Ok,
                    this);
    ++m_openMessageBoxes;
    box.exec();
    --m_openMessageBoxes;
}

void MainWindow::on_btnDataTool_clicked()
{
    dataTool->show();
}

void MainWindow::on_btnChangeMaxMinValue_clicked()
{
    limitsDialog->show();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A run that is in no file yet is not thrown away without asking. While a save
    // runs the question waits: the save may still fail.
    const bool busy = historyOperationRunning();
    if (!busy) {
        const bool wasWaiting = std::exchange(m_closeWhenIdle, false);
        const KeepChoice choice = askToKeepRecording();
        if (choice == KeepChoice::Cancel) {
            // The window stays after all: the text that said it would close goes, and
            // recordings can be read again.
            if (wasWaiting)
                labMainStatus->setText(m_statusLine.release());
            saveUnit->resumeReading();
            event->ignore();
            return;
        }
        // However quickly the save ends, the window closes only once it is known to have
        // succeeded: the next close finds the run kept, or asks again.
        if (choice == KeepChoice::Saving) {
            event->ignore();
            closeWhenIdle();
            return;
        }
    }
    // A recording being saved is finished first, so that closing never leaves a cut
    // file behind; a read is simply abandoned. The window closes once neither runs.
    saveUnit->stopReading();
    // An operation that ended since the first look may have left a run to ask about.
    if (busy || historyOperationRunning()) {
        event->ignore();
        closeWhenIdle();
        return;
    }
    saveSettings();
    dataTool->close();
    // The run has been saved or let go: its journal goes before the window does.
    if (runJournal)
        QMetaObject::invokeMethod(runJournal, &RunJournal::discard, Qt::BlockingQueuedConnection);
    shutDownWorkers();
    event->accept();
}

void MainWindow::closeWhenIdle()
{
    if (std::exchange(m_closeWhenIdle, true))
        return;
    setMainStatusBar(
        QStringLiteral("Finishing the recording file; the window closes when it is done."));
    runWhenIdle([this] { close(); });
}

void MainWindow::runWhenIdle(std::function<void()> then)
{
    if (historyOperationRunning()) {
        QTimer::singleShot(closePollMs, this, [this, then] { runWhenIdle(then); });
        return;
    }
    // Queued behind whatever the worker posted before it finished (its result, and
    // whether the recording is now kept), so `then` sees all of it. A message box that
    // result opened is answered first: what `then` asks must not hide the reason.
    QMetaObject::invokeMethod(
        this,
        [this, then] {
            if (m_openMessageBoxes > 0)
                QTimer::singleShot(closePollMs, this, [this, then] { runWhenIdle(then); });
            else
                then();
        },
        Qt::QueuedConnection);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!std::exchange(m_fitted, true))
        fitToScreen();
}

void MainWindow::fitToScreen()
{
    const QScreen *where = screen();
    if (!where)
        return;
    const QRect available = where->availableGeometry();
    // Before the window manager has framed the window its frame is not known yet: allow
    // for a title bar of the style's height.
    QMargins frame(geometry().left() - frameGeometry().left(),
                   geometry().top() - frameGeometry().top(),
                   frameGeometry().right() - geometry().right(),
                   frameGeometry().bottom() - geometry().bottom());
    if (frame.isNull() && !QGuiApplication::platformName().contains(QLatin1String("offscreen")))
        frame.setTop(style()->pixelMetric(QStyle::PM_TitleBarHeight));
    WindowFit fit = fitWindow(designSize, minimumSizeHint(), geometry(), available, frame);
    if (fit.relax) {
        relaxLayout();
        fit = fitWindow(designSize, minimumSizeHint(), geometry(), available, frame);
    }
    if (fit.geometry != geometry())
        setGeometry(fit.geometry);
}

void MainWindow::relaxLayout()
{
    // The plots take what is left; their design minimum is for screens that have room.
    ui->tabWidget->setMinimumSize(360, 240);
    // The left column holds every command: it keeps its controls and fonts and gives up
    // spacing instead.
    const QList<QLayout *> tight = {ui->horizontalLayout_14, ui->verticalLayout_8,
                                    ui->verticalLayout_9,    ui->verticalLayout_7,
                                    ui->verticalLayout_2,    ui->verticalLayout};
    for (QLayout *layout : tight) {
        layout->setSpacing(2);
        layout->setContentsMargins(2, 2, 2, 2);
    }
    centralWidget()->layout()->activate();
    layout()->activate();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->label_LOGO && event->type() == QEvent::MouseButtonRelease) {
        showAbout();
        return true;
    }
    // The scroll bar's range is made current before the bar handles a touch.
    if (watched == ui->HScroll && m_hScrollBehind &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel ||
         event->type() == QEvent::KeyPress))
        reCalculateHScroll();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showAbout()
{
    QMessageBox::about(
        this, QStringLiteral("About Korvane"),
        QStringLiteral("<p><b>Korvane %1</b></p>"
                       "<p>A bench tool for driving and watching one brushless motor through a "
                       "USB-serial-to-CAN adapter.</p>"
                       "<p>Licence: MIT. This is free software: you may use, copy, change and "
                       "share it.</p>")
            .arg(QStringLiteral(KORVANE_VERSION)));
}

// Closes the port on the thread that owns it (the direct call waits for that), which
// also shows "Disconnected successfully" at once since the signal is emitted here; then
// stops the three threads and waits for them, so that no worker runs after the shared
// state is gone.
void MainWindow::shutDownWorkers()
{
    if (workersStopped)
        return;
    workersStopped = true;
    serialPort->unConnect();
    closeCanLinkNow();
    saveUnit->stopReading();
    serialThread->quit();
    packThread->quit();
    saveThread->quit();
    serialThread->wait(threadStopTimeoutMs);
    packThread->wait(threadStopTimeoutMs);
    // Not bounded: a save still running (the window was destroyed without being closed)
    // must not outlive the shared state it reads, and a read stops at its next block.
    saveThread->wait();
    // A journal left now is one of a run that was not saved: it stays to be offered.
    if (journalThread) {
        journalThread->quit();
        if (journalThread->wait(threadStopTimeoutMs))
            runJournal->release();
    }
    // Taking the lock once orders whatever the workers last did under it before the
    // shared state is torn down (and lets the thread sanitizer see that order, since
    // it cannot see inside QThread::wait).
    QMutexLocker lock(&stateMutex);
    // The workers and their threads are left to the end of the process: queued calls to
    // them may still be waiting in the window's event queue.
}
