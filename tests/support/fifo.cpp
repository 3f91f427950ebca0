#include "fifo.h"

#include <QFile>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int openFifo(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkfifo(name.constData(), 0600) != 0)
        return -1;
    return ::open(name.constData(), O_RDONLY | O_NONBLOCK);
}

QByteArray drainFifo(int fd)
{
    QByteArray all;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0)
            all.append(chunk, int(got));
        else if (got == 0)
            break;
        else if (errno == EAGAIN || errno == EINTR)
            QTest::qWait(1); // nothing there yet: the writer may need this thread's events
        else
            break;
    }
    ::close(fd);
    return all;
}
