#include "backdrop.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace {

bool opaque(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return false;
    }
    return true;
}

// Keeps one widget from painting while the window is rendered around it.
class PaintBlocker : public QObject
{
public:
    explicit PaintBlocker(QWidget *widget) : m_widget(widget) { widget->installEventFilter(this); }
    ~PaintBlocker() override { m_widget->removeEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        return watched == m_widget && event->type() == QEvent::Paint;
    }

private:
    QWidget *m_widget;
};

} // namespace

QImage imageBeneath(QWidget *widget)
{
    QWidget *top = widget->window();
    const qreal ratio = top->devicePixelRatioF();
    QImage image(widget->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    // An opaque widget has nothing painted beneath it, even when rendering.
    const bool wasOpaque = widget->testAttribute(Qt::WA_OpaquePaintEvent);
    widget->setAttribute(Qt::WA_OpaquePaintEvent, false);
    {
        PaintBlocker blocker(widget);
        top->render(&image, QPoint(),
                    QRegion(QRect(widget->mapTo(top, QPoint(0, 0)), widget->size())),
                    QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    widget->setAttribute(Qt::WA_OpaquePaintEvent, wasOpaque);
    if (opaque(image))
        image = image.convertToFormat(QImage::Format_RGB32);
    return image;
}

Backdrops::Backdrops(QObject *parent) : QObject(parent)
{
}

void Backdrops::add(QWidget *widget)
{
    if (m_images.contains(widget))
        return;
    m_images.insert(widget, QImage());
    widget->installEventFilter(this);
    if (QWidget *parent = widget->parentWidget())
        parent->installEventFilter(this);
    connect(widget, &QObject::destroyed, this, [this, widget] { m_images.remove(widget); });
    schedule();
}

bool Backdrops::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool look = type == QEvent::PaletteChange || type == QEvent::StyleChange ||
                      type == QEvent::EnabledChange || type == QEvent::ActivationChange ||
                      type == QEvent::FontChange;
    auto found = m_images.find(static_cast<QWidget *>(watched));
    if (found != m_images.end()) {
        QWidget *widget = found.key();
        if (type == QEvent::Paint && !found.value().isNull()) {
            QPainter(widget).drawImage(widget->rect(), found.value());
            // On a screen of another pixel ratio the image is made again.
            if (found.value().size() != widget->size() * widget->devicePixelRatioF())
                drop(widget);
        } else if (look || type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show) {
            drop(widget);
        }
        return false;
    }
    // What lies beneath the widgets of a parent may have changed with the parent.
    if (look || type == QEvent::Resize) {
        for (auto it = m_images.begin(); it != m_images.end(); ++it)
            if (it.key()->parent() == watched)
                drop(it.key());
    }
    return false;
}

void Backdrops::drop(QWidget *widget)
{
    m_images[widget] = QImage();
    // Until a new image is made, what lies beneath is painted again.
    widget->setAttribute(Qt::WA_OpaquePaintEvent, false);
    schedule();
}

void Backdrops::schedule()
{
    if (std::exchange(m_due, true))
        return;
    // Not from within a paint or a layout: the window is rendered for it.
    QTimer::singleShot(0, this, &Backdrops::makeImages);
}

void Backdrops::makeImages()
{
    m_due = false;
    const QList<QWidget *> widgets = m_images.keys();
    for (QWidget *widget : widgets) {
        if (!m_images.value(widget).isNull() || !widget->isVisible())
            continue;
        const QImage image = imageBeneath(widget);
        // Over something translucent the widget keeps painting as it did.
        if (image.format() != QImage::Format_RGB32 || !m_images.contains(widget))
            continue;
        m_images[widget] = image;
        widget->setAttribute(Qt::WA_OpaquePaintEvent, true);
        widget->update();
    }
}
