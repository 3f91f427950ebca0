// Draws the Korvane logo: a motor cross-section (stator ring, alternating rotor magnets, shaft)
// beside the wordmark. The window shows it stretched into a 278 x 61 label, so it is drawn in
// those logical units and rendered at twice the resolution.
// With --icon SIZE it draws the application icon instead: the cross-section alone on a white
// disc, which keeps the navy stator visible on dark panels, SIZE pixels square.
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cmath>

namespace {

const QSize logicalSize(278, 61);
const int renderScale = 2;

const QColor navy(0x1b, 0x2a, 0x41);
const QColor amber(0xe0, 0xa0, 0x00);
const QColor steel(0x3a, 0x6e, 0x9a);
const QColor slate(0x5d, 0x6d, 0x7e);

// The first installed family of a preference list, so the result does not depend on which
// sans-serif the build machine happens to default to.
QString pickFamily(const QStringList &preferred)
{
    const QStringList installed = QFontDatabase().families();
    for (const QString &family : preferred) {
        // fontconfig may list a family with its foundry, as in "URW Gothic [urw]"
        for (const QString &entry : installed) {
            if (entry == family || entry.startsWith(family + QStringLiteral(" [")))
                return family;
        }
    }
    return QStringLiteral("Sans Serif");
}

// An annular sector centred on angle `mid` (degrees, counter-clockwise from 3 o'clock).
QPainterPath sector(QPointF centre, qreal inner, qreal outer, qreal mid, qreal span)
{
    QPainterPath path;
    const QRectF outerRect(centre.x() - outer, centre.y() - outer, 2 * outer, 2 * outer);
    const QRectF innerRect(centre.x() - inner, centre.y() - inner, 2 * inner, 2 * inner);
    path.arcMoveTo(outerRect, mid - span / 2);
    path.arcTo(outerRect, mid - span / 2, span);
    path.arcTo(innerRect, mid + span / 2, -span);
    path.closeSubpath();
    return path;
}

void drawMark(QPainter &painter, QPointF centre)
{
    painter.save();
    // stator: a ring with short teeth pointing at the rotor
    painter.setPen(Qt::NoPen);
    painter.setBrush(navy);
    QPainterPath stator;
    stator.addEllipse(centre, 27.5, 27.5);
    QPainterPath bore;
    bore.addEllipse(centre, 23.5, 23.5);
    stator = stator.subtracted(bore);
    for (int tooth = 0; tooth < 12; ++tooth)
        stator = stator.united(sector(centre, 21.2, 24.0, tooth * 30.0 + 15.0, 11.0));
    painter.drawPath(stator);

    // rotor: eight magnets of alternating polarity, tilted a little to suggest rotation
    for (int pole = 0; pole < 8; ++pole) {
        painter.setBrush(pole % 2 ? steel : amber);
        painter.drawPath(sector(centre, 10.5, 18.5, pole * 45.0 + 10.0, 37.0));
    }

    // shaft
    painter.setBrush(navy);
    painter.drawEllipse(centre, 7.0, 7.0);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, 2.6, 2.6);
    painter.restore();
}

// Adds `text` to a path with its left end of the baseline at `origin`, stretched to fit `width`
// if it would be wider.
QPainterPath textPath(const QString &text, const QFont &font, QPointF origin, qreal width)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    const qreal natural = path.boundingRect().right();
    QTransform place;
    place.translate(origin.x(), origin.y());
    if (natural > width)
        place.scale(width / natural, width / natural);
    return place.map(path);
}

bool save(const QImage &image, const QString &output)
{
    if (!image.save(output, "PNG")) {
        QTextStream(stderr) << "cannot write " << output << '\n';
        return false;
    }
    return true;
}

int drawIcon(int size, const QString &output)
{
    // The mark is drawn around (30.5, 30.5) in the logo's units; the disc adds a 2-unit rim.
    const qreal radius = 29.5;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(size / 2.0, size / 2.0);
    painter.scale(size / (2 * radius), size / (2 * radius));
    painter.translate(-30.5, -30.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(30.5, 30.5), radius, radius);
    drawMark(painter, QPointF(30.5, 30.5));
    painter.end();
    return save(image, output) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QStringLiteral("--icon")) {
        bool ok = false;
        const int size = args.value(1).toInt(&ok);
        if (!ok || size < 16 || size > 1024 || args.size() != 3) {
            QTextStream(stderr) << "usage: make_logo --icon SIZE OUTPUT.png\n";
            return 2;
        }
        return drawIcon(size, args[2]);
    }
    const QString output = args.value(0, QStringLiteral("logo.png"));

    QImage image(logicalSize * renderScale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(renderScale, renderScale);

    drawMark(painter, QPointF(30.5, 30.5));

    const qreal textLeft = 68.0;
    const qreal textWidth = logicalSize.width() - textLeft - 4.0;
    QFont word(pickFamily({"URW Gothic", "Nimbus Sans", "DejaVu Sans"}));
    word.setPixelSize(41);
    word.setWeight(QFont::DemiBold);
    word.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(navy);
    painter.drawPath(textPath(QStringLiteral("Korvane"), word, {textLeft, 37.0}, textWidth));

    QFont tagline(pickFamily({"Nimbus Sans", "DejaVu Sans"}));
    tagline.setPixelSize(10);
    tagline.setWeight(QFont::Bold);
    tagline.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    painter.setBrush(slate);
    painter.drawPath(
        textPath(QStringLiteral("BLDC MOTOR BENCH"), tagline, {textLeft + 1.5, 51.5}, textWidth));

    // an amber underline ties the wordmark to the rotor colours
    painter.setBrush(amber);
    painter.drawRoundedRect(QRectF(textLeft + 1.5, 55.0, 28.0, 2.2), 1.1, 1.1);
    painter.end();
    return save(image, output) ? 0 : 1;
}
