#pragma once

#include <QImage>
#include <QString>
#include <QVector>

class Canvas;

// The plots one above the other in list order, each as it is shown at its present size
// (grid, labels, reference line and curve; not the hint or the cursor readout), on white,
// in an image of the widest plot's width by the summed heights, times `devicePixelRatio`
// (1 if it is not a positive number), which the image carries. Null entries are skipped.
QImage plotsImage(const QVector<Canvas *> &plots, qreal devicePixelRatio);

// Writes `image` to `path` as a PNG. Returns an empty text on success, else
// "Could not save to <path>: <reason>".
QString savePng(const QImage &image, const QString &path);
