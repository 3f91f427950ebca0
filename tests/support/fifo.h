#pragma once

#include <QByteArray>
#include <QString>

// A named pipe a test reads while the code under test writes a file into it, so that the
// write is certainly still under way while the test looks.

// Makes a FIFO at `path` (mode 0600) and opens it for reading without blocking, so that a
// writer can open it later. Returns the file descriptor, or -1 if either step failed.
int openFifo(const QString &path);

// Reads `fd` until the writer has closed it (read() returns 0), running the caller's event
// loop while no data is there, then closes `fd`. Returns everything read. Call it once the
// writer has opened the FIFO: before that, read() finds no writer and returns 0 at once.
QByteArray drainFifo(int fd);
