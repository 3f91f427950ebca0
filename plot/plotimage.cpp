#include "plotimage.h"

#include "canvas.h"

#include <QImageWriter>
#include <QPainter>
#include <QtMath>

#include <cmath>

QImage plotsImage(const QVector<Canvas *> &plots, qreal devicePixelRatio)
{
    const qreal ratio =
        devicePixelRatio > 0 && std::isfinite(devicePixelRatio) ? devicePixelRatio : 1;
    int width = 0;
    int height = 0;
    for (const Canvas *plot : plots) {
        if (!plot)
            continue;
        width = std::max(width, plot->width());
        height += plot->height();
    }
    QImage image(qCeil(width * ratio), qCeil(height * ratio), QImage::Format_ARGB32_Premultiplied);
    // Too large to allocate: the null image tells the caller, and saving it fails with a reason.
    if (image.isNull())
        return image;
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    int top = 0;
    for (Canvas *plot : plots) {
        if (!plot)
            continue;
        plot->renderPlot(&painter, QPoint(0, top));
        top += plot->height();
    }
    return image;
}

QString savePng(const QImage &image, const QString &path)
{
    QImageWriter writer(path, "png");
    if (writer.write(image))
        return QString();
    return QStringLiteral("Could not save to %1: %2").arg(path, writer.errorString());
}
