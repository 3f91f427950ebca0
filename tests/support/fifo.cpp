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
    return ::mkfifo(name.constData(), 0600) == 0 ? ::open(name.constData(), O_RDONLY | O_NONBLOCK)
                                                 : -1;
}

QByteArray drainFifo(int fd)
{
    QByteArray all;
    char chunk[65536];
    for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) != 0;) {
        if (got > 0)
            all.append(chunk, int(got));
        else if (errno != EAGAIN && errno != EINTR)
            break;
        else
            QTest::qWait(1); // nothing there yet: the writer may need this thread's events
    }
    ::close(fd);
    return all;
}
