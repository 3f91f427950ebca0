#pragma once

#include <QWidget>
#include <initializer_list>

// Sets the enabled state of a group of controls in one call.
inline void setEnabledAll(std::initializer_list<QWidget *> widgets, bool enabled)
{
    for (QWidget *w : widgets)
        w->setEnabled(enabled);
}
