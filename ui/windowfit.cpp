#include "windowfit.h"

#include <algorithm>

WindowFit fitWindow(QSize design, QSize minimum, const QRect &current, const QRect &available,
                    const QMargins &frame)
{
    WindowFit fit;
    const QSize room = available.marginsRemoved(frame).size();
    fit.relax = minimum.width() > room.width() || minimum.height() > room.height();
    if (available.contains(current.marginsAdded(frame))) {
        fit.geometry = current;
        return fit;
    }
    const QSize size = design.boundedTo(room).expandedTo(QSize(1, 1));
    // Keep the window's place where it can stay, else move it just inside the free area.
    const QRect inner = available.marginsRemoved(frame);
    const auto place = [](int at, int low, int high) { return std::max(low, std::min(at, high)); };
    const int x = place(current.x(), inner.left(), inner.right() + 1 - size.width());
    const int y = place(current.y(), inner.top(), inner.bottom() + 1 - size.height());
    fit.geometry = QRect(QPoint(x, y), size);
    return fit;
}
