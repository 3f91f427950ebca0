#pragma once

#include <QByteArray>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <termios.h>

// The far end of a real pseudo-terminal pair, played by a test as the adapter.
// The code under test opens slavePath() like any serial device.
class PtyPeer
{
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    void write(const QByteArray &bytes);
    // Everything that has arrived so far, without waiting.
    QByteArray readAvailable();
    // Reads until at least `count` bytes have arrived or `timeoutMs` passed, while the
    // caller's event loop keeps running.
    QByteArray readAtLeast(int count, int timeoutMs);
    // The line speed (a termios B... constant) that whoever opened the device has set.
    speed_t lineSpeed() const;
    // Closes the master side: the device reports a hang-up to whoever holds the slave.
    void hangUp();

private:
    int m_master = -1;
    int m_slaveKeepAlive = -1;
    QString m_slavePath;
};

// Accepts every modal message box that opens while it lives, remembering the texts.
class MessageBoxCloser
{
public:
    MessageBoxCloser();
    QStringList texts() const { return m_texts; }

private:
    QTimer m_timer;
    QStringList m_texts;
};
