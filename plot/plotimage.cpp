#include "plotimage.h"

#include "canvas.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
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
    const auto failed = [&path](const QString &reason) {
        return QStringLiteral("Could not save to %1: %2").arg(path, reason);
    };
    // Encoded in memory first: the image library then never meets a failing disk (it
    // would only say "Unknown error"), and the file's own errors carry the system's reason.
    if (image.isNull())
        return failed(QStringLiteral("the image is too large to make"));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return failed(writer.errorString());
    // Written beside the target and moved into place only when complete: a failure
    // leaves no partial file, and an existing file of that name as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit())
        return failed(file.errorString());
    return QString();
}
