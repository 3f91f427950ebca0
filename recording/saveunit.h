#pragma once

#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>

// Holds off the connect reset while a recording is saved or read, so that the
// histories it works on are not replaced underneath it.
class RecordingGuard
{
public:
    RecordingGuard();
    ~RecordingGuard();
    RecordingGuard(const RecordingGuard &) = delete;
    RecordingGuard &operator=(const RecordingGuard &) = delete;
};

// The recording worker: writes the three histories to a text file (or exports them
// as CSV) and reads them back, in its own thread, reporting progress on the
// configuration button.
class SaveUnit : public QObject
{
    Q_OBJECT
public:
    explicit SaveUnit(QObject *parent = nullptr);

    // Remembers the file used by a request that names none. Safe from any thread.
    void setFile(const QString &name);
    // Makes the read under way stop at its next block, and every later read return at
    // once; the window calls it when it closes. Safe from any thread.
    void stopReading();
    // Lets later reads run again, for a window that stays open after all.
    void resumeReading();
    bool readsStopped() const;

signals:
    void statusMsg(QString text);
    void msgBox(QString text);
    void configText(QString text);
    void uiRepaint();
    void uiFlush();
    // The histories are now kept in a file: saved to it, or read from it.
    void recordingKept();
    // The histories hold a run recovered from a journal, with its Limits; it is unsaved.
    void journalRecovered();

public slots:
    void saveToTxt(QString requestedName = QString());
    // The same as saveToTxt, but the file is CSV and the progress reads "SaveToCsv".
    void saveToCsv(QString requestedName = QString());
    void saveToPng();
    void readFromTxt(QString requestedName = QString());
    // Loads a run journal into the histories as readFromTxt loads a recording, and puts
    // back the Limits the run ended with.
    void recoverJournal(QString path);

private:
    QString chooseFile(const QString &requestedName);
    void save(const QString &requestedName, bool csv);

    std::atomic<bool> m_readsStopped{false};
    QMutex m_fileNameMutex;
    QString fileName; // guarded by m_fileNameMutex
};
