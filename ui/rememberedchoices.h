#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class QSettings;
struct Limits;

// The user's choices the window keeps between runs. Read from a settings store, every
// value is one the window can use, or the default: a store may hold anything.
struct RememberedChoices
{
    QString port;                 // the port's location or name; empty for none
    int baudRate = 0;             // 0 for none
    int motorId = 0;              // 0 to 255
    QStringList fields;           // position, velocity, torque, Kp, Kd; empty: keep the default
    QVector<bool> referenceLines; // position, velocity, torque; empty: keep the default
    QByteArray geometry;          // the window's, as Qt saves it
    QString recordingFolder;      // an existing folder; empty for none
    bool hintVisible = true;
    bool secondsAxis = false; // the plots' x axis in seconds rather than samples

    // True for a store that a later build wrote: it is neither read nor overwritten,
    // rather than half understood.
    static bool writtenByLaterBuild(const QSettings &store);
    // The choices in `store`; the field texts are checked against `bounds`.
    static RememberedChoices read(const QSettings &store, const Limits &bounds);
    // Writes every choice; an empty port and a baud rate of 0 leave what is stored.
    void write(QSettings &store) const;
    // Writes only the folder of the last recording, as soon as it changes.
    static void writeRecordingFolder(QSettings &store, const QString &folder);
};
