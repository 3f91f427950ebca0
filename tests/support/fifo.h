#pragma once

#include <QByteArray>
#include <QString>

// Makes a named pipe at `path` and opens it for reading without blocking; -1 on failure.
int openFifo(const QString &path);
// Reads `fd` until its writer has closed it, keeping the caller's event loop running
// while nothing is there; closes `fd` and returns everything read.
QByteArray drainFifo(int fd);
