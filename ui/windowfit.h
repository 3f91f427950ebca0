#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

// Where the window goes on a screen whose free area (without panels and docks) is
// `available`, its frame adding `frame` around it.
struct WindowFit
{
    // The design's minimum does not fit: the layout must give up some room (smaller plots,
    // tighter spacing) before the window can fit.
    bool relax = false;
    // The window's geometry, frame not included.
    QRect geometry;
};

// `current` is the geometry the window has now (perhaps restored from the last run): it
// is kept while the whole frame lies inside the free area. Otherwise the window gets the
// design size where there is room for it, else all the room there is, and is placed
// inside the free area. `minimum` is the smallest size the layout allows.
WindowFit fitWindow(QSize design, QSize minimum, const QRect &current, const QRect &available,
                    const QMargins &frame);
