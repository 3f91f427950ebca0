#pragma once

#include "feedbackwatch.h"
#include "keynudge.h"
#include "modeswitch.h"
#include "portentries.h"
#include "portscan.h"
#include "startoptions.h"
#include "statusline.h"
#include "unsavedrun.h"

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QCloseEvent;
class QShowEvent;
class QKeyEvent;
class QMoveEvent;
class QResizeEvent;
class QLabel;
class QLineEdit;
class QLockFile;
class QPushButton;
class QSettings;
class QThread;
class QTimer;
class Canvas;
class CanLink;
class ChangeBoundryValue;
class DataTool;
class DoubleCanvas;
struct Limits;
struct MotorState;
class MySerialPort;
class PackUnit;
class RunJournal;
class SaveUnit;

namespace Ui {
class MainWindow;
}

// The user's documents folder, or the home folder when there is none.
QString defaultRecordingFolder();

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Keeps the user's choices in `store` between runs (null: nothing is kept) and
    // restores them at once. Call before the window is shown; nothing is sent to a
    // motor because of a remembered value.
    void useSettings(QSettings *store);
    // Choices from the command line; they take precedence over remembered ones.
    void applyStartOptions(const StartOptions &options);
    // Journals each run in `folder` (empty: no journal), and first offers to recover the
    // runs of earlier instances that closed without saving them.
    void useJournal(const QString &folder);

signals:
    void needRepack();
    void sendOnce(QString word);
    void sendConfigText(QString text);
    void changeToConfig();
    void changeToDisplay();
    void portConnect();
    void portUnConnect();
    // The file name travels with the request, so the worker never reads it from
    // the window thread.
    void toTxt(QString fileName);
    void toCsv(QString fileName);
    void toPng();
    void fromTxt(QString fileName);
    void recoverRun(QString journalPath);

public slots:
    void getUsbInfo();
    void connectFailed();
    void connectSucceed();
    void unConnectFailed();
    void unConnectSucceed();
    void reCalculateHScroll();
    void uiFlush();
    void uiRepaint();
    void setMainStatusBar(QString text);
    void setBtnConfigText(QString text);
    void toConfigSucceed();
    void toConfigFailed();
    void toDisplaySucceed();
    void toDisplayFailed();
    void appendConfigText(QString text);
    void msgBox(QString text);
    void keyPressing();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_btnConnect_clicked();
    void on_comboPort_currentIndexChanged(int index);
    void on_comboBaudRate_activated(int index);
    void on_comboMotor_currentTextChanged(const QString &arg1);
    void on_editPosition_textEdited(const QString &arg1);
    void on_editVelocity_textEdited(const QString &arg1);
    void on_editTorque_textEdited(const QString &arg1);
    void on_editkp_textEdited(const QString &arg1);
    void on_editKd_textEdited(const QString &arg1);
    void on_ckbPosion_toggled(bool checked);
    void on_ckbVelocity_toggled(bool checked);
    void on_ckbTorque_toggled(bool checked);
    void on_btnRun_clicked();
    void on_btnStop_clicked();
    void on_btnSendOnce_clicked();
    void on_btnMotorMode_clicked();
    void on_btnMotorExit_clicked();
    void on_btnZeroPos_clicked();
    void on_btnDisplay_toggled(bool checked);
    void on_btnKeyControl_toggled(bool checked);
    void on_tabWidget_tabBarClicked(int index);
    void on_editCommand_returnPressed();
    void on_HScroll_valueChanged(int value);
    void on_btnToTXT_clicked();
    void on_btnToPNG_clicked();
    void on_btnFromTXT_clicked();
    void on_btnDataTool_clicked();
    void on_btnChangeMaxMinValue_clicked();

private:
    void startWorkers();
    // The CAN link: its worker, the ports with the CAN interfaces after the serial ones,
    // and what the window does differently on it (mainwindow_canlink.cpp).
    void startCanLink();
    QList<PortEntry> listedPorts(bool fresh);
    void connectCan(const PortEntry &port);
    void enterCanDisplay();
    void leaveCanLink();
    void showBaudApplies();
    void setLinkLoop(bool on);
    void sendOnceOnLink(const QString &word);
    void disconnectLink();
    // Closes the CAN link before the caller goes on (a save of the run, the shutdown).
    void closeCanLinkNow();
    void createPlots();
    void createBars();
    void loadLogo();
    void reloadLimits();
    void shutDownWorkers();
    // Runs `then` once no recording is being saved or read, after the worker's last
    // signals have been handled.
    void runWhenIdle(std::function<void()> then);
    // Closes the window once the recording worker is idle, saying so meanwhile.
    void closeWhenIdle();
    void restoreSettings();
    void saveSettings();
    // Writes the settings within a second of a change, once for all changes meanwhile.
    void watchSettings();
    void scheduleSettingsSave();
    void offerJournals();
    // The journal's side of a connection's start and end, and of a run let go.
    void journalRunStarted();
    void journalRunEnded();
    void discardJournal();
    QStringList parameterTexts() const;
    // Selects the port asked for at start-up once the list holds it.
    void selectStartPort();
    void showAbout();
    // What the user wants done with a recording that is in no file yet, before it
    // is thrown away: go on, wait for its save, or leave everything as it is.
    enum class KeepChoice
    {
        Proceed,
        Saving,
        Cancel
    };
    KeepChoice askToKeepRecording();
    // True when the histories may be replaced now. Otherwise the user cancelled, or a
    // save was started and `retry` runs once it has finished.
    bool recordingMayBeReplaced(std::function<void()> retry);
    // A save dialog in the folder of the last recording; a bare name gets the suffix of
    // the chosen type. An empty name when cancelled.
    QString askSaveFileName(const QString &title, const QStringList &types);
    // Saves the histories as a recording, or as CSV when the name ends in ".csv".
    void saveRecordingAs(const QString &fileName);
    void rememberFolder(const QString &fileName);
    void sendSpecialFrame(const QString &word);
    // Does what the mode switch answered.
    void applyModeStep(ModeSwitch::Answer answer, bool configMode);
    // Puts the tab bar back on `tab` once the click under way has changed the page.
    void keepTab(int tab);
    void showDueRate();
    // The refresh's update of the scroll bar, skipped while it would look the same.
    void followHScroll();
    // Fits the window into its screen's free area, giving up the plots' design minimum
    // and some spacing where the screen is too small for the design.
    void fitToScreen();
    void relaxLayout();
    // Greys the readout and says so while no feedback arrives (`silentMs` >= 0), and
    // puts both back when it does again.
    void showFeedbackSilence(qint64 silentMs);
    void greyReadout(bool grey);
    void requestRecording(void (MainWindow::*request)(QString), const QString &fileName);
    Canvas *plotForTab(int index) const;
    bool isConnected() const;
    // The shared body of the five parameter fields' checks.
    struct ParameterField
    {
        QLineEdit *edit;
        double Limits::*min;
        double Limits::*max;
        float MotorState::*command;
        Canvas *plot; // whose reference line follows the value, or none
        const char *name;
    };
    std::array<ParameterField, 5> parameterFields() const;
    void editParameter(const ParameterField &field, const QString &text);

    Ui::MainWindow *ui = nullptr;
    QList<PortEntry> portList;
    SystemPortScan portScan;
    MySerialPort *serialPort = nullptr;
    CanLink *canLink = nullptr;
    CanPortScan m_canScan;
    // The open (or opening) link is the CAN link, not the serial port.
    bool m_onCan = false;
    PackUnit *packUnit = nullptr;
    SaveUnit *saveUnit = nullptr;
    QThread *serialThread = nullptr;
    QThread *packThread = nullptr;
    QThread *saveThread = nullptr;
    DoubleCanvas *barPosition = nullptr;
    DoubleCanvas *barVelocity = nullptr;
    DoubleCanvas *barCurrent = nullptr;
    Canvas *plotPosition = nullptr;
    Canvas *plotVelocity = nullptr;
    Canvas *plotCurrent = nullptr;
    QLabel *labMainStatus = nullptr;
    QPushButton *btnConfig = nullptr;
    DataTool *dataTool = nullptr;
    ChangeBoundryValue *limitsDialog = nullptr;
    // The mode the adapter is in or is being switched to, with the retries.
    ModeSwitch modeSwitch;
    // The arrow keys held for key control.
    KeyNudge keyNudge;
    bool displayOn = false;
    bool flushActive = false;
    bool workersStopped = false;
    bool m_fitted = false;
    // A close waits for the recording worker to finish.
    bool m_closeWhenIdle = false;
    // Information boxes open now (each runs its own event loop).
    int m_openMessageBoxes = 0;
    StatusLine m_statusLine;
    FeedbackWatch m_feedbackWatch;
    FeedbackRate m_feedbackRate;
    // The readout's elapsed time and feedback rate, below the value bars.
    QLabel *labElapsed = nullptr;
    QLabel *labFeedbackRate = nullptr;
    bool m_silenceShown = false;
    // The scroll bar's range lags the plot's (see followHScroll).
    bool m_hScrollBehind = false;
    QElapsedTimer m_clock;
    // Shows the error rate again when a message's hold ends.
    QTimer *m_rateTimer = nullptr;
    // The one nudge chain of key control; see keyPressing.
    QTimer *m_nudgeTimer = nullptr;
    QSettings *m_settings = nullptr;
    QTimer *m_settingsTimer = nullptr;
    // The journal writer and its thread, made by useJournal.
    RunJournal *runJournal = nullptr;
    QThread *journalThread = nullptr;
    QString m_journalFolder;
    // Runs are being offered for recovery: a connection asked for at start-up waits.
    bool m_offeringJournal = false;
    // The journal being recovered, held here until its run is in the histories: one whose
    // recovery never ran stays on disk to be offered again.
    QString m_recoveringPath;
    std::shared_ptr<QLockFile> m_recoveringLock;
    // The port to select when the list first holds it, and the port named on the
    // command line (listed even if the system does not list it).
    QString m_startPort;
    QString m_namedPort;
    bool m_connectAtStart = false;
    // Where the file dialogs open: the folder of the last recording saved or read.
    QString m_recordingFolder;
    // Whether the histories hold a run that has been neither saved nor read from a file.
    UnsavedRun m_unsavedRun;
};
