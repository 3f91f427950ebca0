#pragma once

#include <QObject>
#include <QtGlobal>

// The child of `parent` with this object name; a test without it cannot go on.
template <typename T> T *child(const QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no child named %s", name);
    return found;
}
