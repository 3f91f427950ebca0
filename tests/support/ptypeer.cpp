#include "ptypeer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    for (int fd : {master, slave}) {
        termios raw{};
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    // Holding the slave open keeps the master readable between the tool's open and close.
    m_slaveKeepAlive = slave;
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPeer::~PtyPeer()
{
    hangUp();
}

void PtyPeer::write(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0 && m_master >= 0) {
        const ssize_t n = ::write(m_master, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                QTest::qWait(1);
                continue;
            }
            return;
        }
        p += n;
        left -= n;
    }
}

QByteArray PtyPeer::readAvailable()
{
    QByteArray out;
    char buf[4096];
    while (m_master >= 0) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, static_cast<int>(n));
    }
    return out;
}

QByteArray PtyPeer::readAtLeast(int count, int timeoutMs)
{
    QByteArray out = readAvailable();
    QElapsedTimer clock;
    clock.start();
    while (out.size() < count && clock.elapsed() < timeoutMs) {
        QTest::qWait(5);
        out.append(readAvailable());
    }
    return out;
}

speed_t PtyPeer::lineSpeed() const
{
    termios settings{};
    return tcgetattr(m_slaveKeepAlive, &settings) == 0 ? cfgetospeed(&settings) : B0;
}

void PtyPeer::hangUp()
{
    if (m_slaveKeepAlive >= 0)
        ::close(m_slaveKeepAlive);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveKeepAlive = -1;
    m_master = -1;
}

MessageBoxCloser::MessageBoxCloser()
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            m_texts.append(box->text());
            box->accept();
        }
    });
    m_timer.start(20);
}
